#!/usr/bin/env bash
# What cannot be a case folder: --version (its library lines depend on the
# build), the progress line (needs a terminal: `script` gives one), the
# install into a prefix and gzip data on standard output (its bytes depend on
# zlib and the thread count).
#   bash conventions.sh <varnex binary> <build directory>
set -u
VARNEX=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
BUILD=$(cd "$2" && pwd)
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/varnex-conventions.XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT
cd "$SCRATCH" || exit 2
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# --- --version: the program and its libraries, status 0, nothing else touched.
"$VARNEX" -S --g none.gen --version > out.txt 2> err.txt
[ $? -eq 0 ] || fail "--version: exit status"
[ "$(head -n 1 out.txt)" = "varnex 0.6.6" ] || fail "--version: first line $(head -n 1 out.txt)"
grep -Eq '^zlib [0-9]+\.[0-9]+' out.txt || fail "--version: no zlib line"
grep -Eq '^libdeflate [0-9]+\.[0-9]+' out.txt || fail "--version: no libdeflate line"
grep -Eq '^Boost [0-9]+\.[0-9]+\.[0-9]+$' out.txt || fail "--version: no Boost line"
[ -s err.txt ] && fail "--version wrote to standard error"
[ -e varnex.log ] && fail "--version created the log"
# A standard output that cannot be written is a failure, for help as for a run.
if [ -w /dev/full ]; then
  "$VARNEX" --help > /dev/full 2> err.txt && fail "--help into a full disk: exit status 0"
  "$VARNEX" --version > /dev/full 2> err.txt && fail "--version into a full disk: exit status 0"
fi
rm -f ./*

# --- progress. The run waits on a list read through a FIFO whose writer comes
# late, so the line has time to show whatever the machine's speed. `script`
# gives standard error a terminal; standard output goes to a file.
yes 'snp rs 5 A G 1 0 0 0 1 0' | head -n 2600000 > big.gen  # 65 MB
yes 'snp rs 5 A G 1 0 0 0 1 0' | head -n 1000 > small.gen
printf 'ID_1 ID_2 missing\n0 0 0\na a 0\nb b 0\n' > s.sample
# progress_run NAME GEN [OPTION]: runs a subset under a terminal into NAME.tty,
# its standard output into NAME.out.
progress_run() {
  local name=$1 gen=$2
  shift 2
  rm -f ids.fifo && mkfifo ids.fifo
  (sleep 1.5; echo a > ids.fifo) &
  script -qec "'$VARNEX' -S --g $gen --s s.sample --sample_id ids.fifo --start 10 $* > $name.out" \
    /dev/null > "$name.tty" < /dev/null
  local status=$?
  wait
  [ $status -eq 0 ] || fail "$name: exit status $status"
}
command -v script > /dev/null || { echo "script (util-linux) is missing"; exit 1; }
progress_run shown big.gen
grep -aq $'\rvarnex: 0.0 MB of 65.0 MB (0%), 0.0 MB/s, --:-- left\e\[K' shown.tty ||
  fail "progress: no line before the list arrived: $(cat -A shown.tty | head -c 300)"
[ "$(tail -c 4 shown.tty)" = $'\r\e[K' ] || fail "progress: line not erased at the end"
grep -aq 'varnex:' shown.out && fail "progress: the line reached standard output"
grep -aq 'varnex:' varnex.log && fail "progress: the line reached the log"
grep -q '^Number of output SNPs: 0$' shown.out || fail "progress: the run's own output changed"
progress_run quiet big.gen --quiet
[ -s quiet.tty ] && fail "progress: --quiet still shows it: $(cat -A quiet.tty | head -c 200)"
progress_run small small.gen
[ -s small.tty ] && fail "progress: shown for a small job: $(cat -A small.tty | head -c 200)"
# Not a terminal: nothing on standard error.
rm -f ids.fifo && mkfifo ids.fifo
(sleep 1.5; echo a > ids.fifo) &
"$VARNEX" -S --g big.gen --s s.sample --sample_id ids.fifo --start 10 > plain.out 2> plain.err
wait
[ -s plain.err ] && fail "progress: written to a standard error that is not a terminal"
rm -f ./*

# --- install into a prefix: the program, its man page and its bash completion.
cmake --install "$BUILD" --prefix "$SCRATCH/prefix" > install.txt 2>&1 || fail "install: $(cat install.txt)"
for f in bin/varnex share/man/man1/varnex.1 share/bash-completion/completions/varnex; do
  [ -f "prefix/$f" ] || fail "install: no $f"
done
[ "$(prefix/bin/varnex --version | head -n 1)" = "varnex 0.6.6" ] || fail "install: the program does not run"
if command -v groff > /dev/null; then
  warnings=$(groff -ww -z -man prefix/share/man/man1/varnex.1 2>&1)
  [ -z "$warnings" ] || fail "man page: groff warns: $warnings"
fi
grep -q '^\\fB\\-\\-strand\\fR \\fIFILE\\fR$' prefix/share/man/man1/varnex.1 || fail "man page: no --strand"
grep -q '^\\fB\\-\\-threads\\fR \\fIINTEGER\\fR$' prefix/share/man/man1/varnex.1 || fail "man page: no --threads"
completion=$(bash -c 'source prefix/share/bash-completion/completions/varnex
  c() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=(); _varnex; echo "${COMPREPLY[*]}"; }
  c varnex -P --o; c varnex --st; c varnex -M --g prefix/b; c varnex -S --start ""; c varnex -U --bg; c varnex -O --threads ""')
expected=$'--og --out_genotype --os --out_sample --ostrel1\n--start --strand\nprefix/bin\n\n--bgzf\n'
[ "$completion" = "${expected%$'\n'}" ] || fail "completion: got $completion"

rm -rf ./*

# --- "-": a gzip pipe through -S and -O gives the file run's data; a gzip
# input name makes "--og -" gzip data; a refusal before the log stays off a
# standard output that carries data.
printf 'snp%s rs%s %s A G 1 0 0 0.25 0.5 0.25\n' 1 1 100 2 2 150 3 3 300 | gzip -n > x.gen.gz
printf '100 -\n150 +\n' > x.strand
for mode in "-S --start 120" "-O --strand x.strand"; do
  "$VARNEX" $mode --g x.gen.gz > /dev/null || fail "$mode: file run failed"
  mv x.gen.*.gz file.gz
  zcat x.gen.gz | "$VARNEX" $mode --g - --og - 2> err.txt | gzip > pipe.gz
  cmp -s <(zcat file.gz) <(zcat pipe.gz) || fail "$mode: the pipe differs from the file run"
  "$VARNEX" $mode --g x.gen.gz --og - > direct.gz 2>> err.txt
  cmp -s <(zcat file.gz) <(gzip -dc < direct.gz) || fail "$mode: --og - of a gz input is not its gzip data"
  [ -s err.txt ] && fail "$mode: standard error: $(cat err.txt)"
  grep -q '^Gen\.\.\.$\|^Processing GEN file\.\.\.$' varnex.log || fail "$mode: the log lost its messages"
done
"$VARNEX" -S --g x.gen.gz --og - --os - --start 1 --s x.strand --sample_id x.strand > out.txt 2> err.txt
[ -s out.txt ] && fail "refusal with --og -: written to standard output"
[ "$(cat err.txt)" = "Output file - is the same file as -" ] || fail "refusal with --og -: $(cat err.txt)"
# Standard output is one stream even on a device, where names may repeat.
"$VARNEX" -S --g x.gen.gz --og - --os - --start 1 --s x.strand --sample_id x.strand > /dev/null 2> err.txt &&
  fail "--og - --os - into /dev/null: exit status 0"

[ $failed -eq 0 ] && echo "all passed"
exit $failed
