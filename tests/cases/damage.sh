#!/usr/bin/env bash
# The damage matrix: every mode against an input it cannot read and an output
# it cannot write. bash damage.sh VARNEX_BINARY
# Each row runs one mode once, with IN standing for the damaged input and OUT
# for the output, and checks: the exit status (1; a signal's own status),
# nothing on standard error, the expected last line of standard output and of
# the log, every input unchanged, no file left but the log, TMPDIR empty.
#
# Damages: dir (the input is a folder, which no one can read: the suite also
# runs as root, where modes do not stop reads), crc (gzip data with a wrong
# CRC), cut (gzip data cut short), text (plain text under a gz name), full
# (the output is /dev/full), nodir (the output's folder does not exist),
# signal (SIGTERM while an input read once, a FIFO, is still open). Merge reads plain
# text under a gz name as text (its own cases); -U on a full standard output
# has only the echo in its log.
set -u
export LC_ALL=C
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
root=$(mktemp -d "${TMPDIR:-/tmp}/varnex-damage.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir "$root/bin"
ln -s "$binary" "$root/bin/varnex"
export PATH="$root/bin:$PATH"

# mode | damage | arguments | expected last line
TABLE="
S|dir|-S --g IN --start 1|Can't open in.gen
S|crc|-S --g IN --start 1|Can't read in.gen.gz
S|cut|-S --g IN --start 1|Can't read in.gen.gz
S|text|-S --g IN --start 1|Can't read in.gen.gz
S|full|-S --g x.gen --start 1 --og OUT|Can't write /dev/full
S|nodir|-S --g x.gen --start 1 --og OUT|Can't open nodir/out
S|signal|-S --g IN --start 1 --og out|
G|dir|-G --g IN --s x.sample|Can't open in.gen
G|crc|-G --g IN --s x.sample|Can't read in.gen.gz
G|cut|-G --g IN --s x.sample|Can't read in.gen.gz
G|text|-G --g IN --s x.sample|Can't read in.gen.gz
G|full|-G --g x.gen --s x.sample --ped OUT|Can't write /dev/full
G|nodir|-G --g x.gen --s x.sample --ped OUT|Can't open nodir/out
P|dir|-P --ped IN --map x.map|Can't open in.ped
P|crc|-P --ped IN --map x.map|Can't read in.ped.gz
P|cut|-P --ped IN --map x.map|Can't read in.ped.gz
P|text|-P --ped IN --map x.map|Can't read in.ped.gz
P|full|-P --ped x.ped --map x.map --og OUT|Can't write /dev/full
P|nodir|-P --ped x.ped --map x.map --og OUT|Can't open nodir/out
P|signal|-P --ped x.ped --map IN --og out --os out.sample|
M|dir|-M --g x.gen IN --s x.sample x.sample --og m.gen --os m.sample|Can't open in.gen
M|crc|-M --g x.gen IN --s x.sample x.sample --og m.gen --os m.sample|Can't read in.gen.gz
M|cut|-M --g x.gen IN --s x.sample x.sample --og m.gen --os m.sample|Can't read in.gen.gz
M|full|-M --g x.gen x.gen --s x.sample x.sample --og m.gen --os OUT|Can't write /dev/full
M|nodir|-M --g x.gen x.gen --s x.sample x.sample --og OUT --os m.sample|Can't open nodir/out
O|dir|-O --g IN --strand x.strand|Can't open in.gen
O|crc|-O --g IN --strand x.strand|Can't read in.gen.gz
O|cut|-O --g IN --strand x.strand|Can't read in.gen.gz
O|text|-O --g IN --strand x.strand|Can't read in.gen.gz
O|full|-O --g x.gen --strand x.strand --og OUT|Can't write /dev/full
O|nodir|-O --g x.gen --strand x.strand --og OUT|Can't open nodir/out
O|signal|-O --g IN --strand x.strand --og out|
U|crc|-U --s IN|Can't read in.sample.gz
U|cut|-U --s IN|Can't read in.sample.gz
U|full|-U --s x.sample|varnex -U --s x.sample
U|nodir|-U --s x.sample --log OUT|Can't open log file: nodir/out
U|signal|-U --s IN|
"

inputs() {
  printf '1 rs1 1000 A G 0.1 0.2 0.7 1 0 0\n2 rs2 2000 C T 0 0 1 0.5 0.5 0\n' > x.gen
  printf 'ID_1 ID_2 missing\n0 0 0\nf1 i1 0\nf2 i2 0\n' > x.sample
  printf 'f1 i1 0 0 1 1 A G C C\nf2 i2 0 0 2 2 G G C T\n' > x.ped
  printf '1 rs1 0 1000\n1 rs2 0 2000\n' > x.map
  printf '1000 -\n2000 +\n' > x.strand
}

# damaged KIND FILE: writes the damaged copy of FILE, prints its name.
damaged() {
  local kind=$1 base=$2 ext=${2#x.} size
  case $kind in
    dir) mkdir "in.$ext"; echo "in.$ext" ;;
    signal) mkfifo "in.$ext"; echo "in.$ext" ;;
    crc)
      gzip -nc "$base" > "in.$ext.gz"
      size=$(stat -c %s "in.$ext.gz")
      printf '\377' | dd of="in.$ext.gz" bs=1 seek=$((size - 8)) conv=notrunc 2>/dev/null
      echo "in.$ext.gz" ;;
    cut)
      gzip -nc "$base" > full.gz
      head -c $(($(stat -c %s full.gz) / 2)) full.gz > "in.$ext.gz"
      rm full.gz
      echo "in.$ext.gz" ;;
    text) cp "$base" "in.$ext.gz"; echo "in.$ext.gz" ;;
  esac
}

snapshot() {
  find . -mindepth 1 ! -name varnex.log -printf '%p %y %m %s\n' | sort
  find . -type f ! -name varnex.log -exec cksum {} + | sort
}

passed=0
failed=0
while IFS='|' read -r mode kind args want; do
  [ -n "$mode" ] || continue
  row="$mode $kind"
  problems=()
  case_dir="$root/$mode-$kind"
  tmp="$root/tmp-$mode-$kind"
  mkdir -p "$case_dir" "$tmp"
  cd "$case_dir" || exit 2
  inputs
  # Inputs read twice refuse a FIFO: signal rows wait on one read once (PED
  # to GEN's MAP; GEN to PED and merge have no signal rows).
  case $mode$kind in Psignal) slot=x.map ;; P*) slot=x.ped ;; U*) slot=x.sample ;; *) slot=x.gen ;; esac
  in=""
  [[ $args == *IN* ]] && in=$(damaged "$kind" "$slot")
  out=nodir/out
  [ "$kind" = full ] && out=/dev/full
  args=${args//IN/$in}
  args=${args//OUT/$out}
  before=$(snapshot)
  if [ "$kind" = signal ]; then
    # The input stays open and unfinished: the run waits inside its first read.
    { cat "$slot"; sleep 3; } > "$in" &
    writer=$!
    ( trap - INT; TMPDIR="$tmp" exec varnex $args > stdout.txt 2> stderr.txt ) &
    pid=$!
    sleep 0.5
    kill -TERM $pid
    wait $pid
    status=$?
    kill $writer 2>/dev/null
    wait $writer 2>/dev/null
    [ "$status" = 143 ] || problems+=("exit status $status, expected 143 (SIGTERM)")
  else
    if [ "$kind" = full ] && [ "$mode" = U ]; then
      TMPDIR="$tmp" varnex $args > /dev/full 2> stderr.txt
    else
      TMPDIR="$tmp" varnex $args > stdout.txt 2> stderr.txt
    fi
    status=$?
    [ "$status" = 1 ] || problems+=("exit status $status, expected 1")
    for f in stdout.txt varnex.log; do
      [ -f $f ] && [ "$(tail -n 1 $f)" != "$want" ] && problems+=("last line of $f: '$(tail -n 1 $f)', expected '$want'")
    done
  fi
  [ -s stderr.txt ] && problems+=("standard error: $(head -c 200 stderr.txt)")
  rm -f stdout.txt stderr.txt
  after=$(snapshot)
  [ "$before" = "$after" ] ||
    problems+=("inputs changed or files left: $(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | tr '\n' ' ')")
  [ -z "$(ls -A "$tmp")" ] || problems+=("files left in TMPDIR")
  if [ ${#problems[@]} -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $row: varnex $args"
    printf '  %s\n' "${problems[@]}"
  fi
done <<< "$TABLE"
# Lines of 10 MB (a SNP name and an ID of that size) are kept whole by every mode.
long=$(head -c 10000000 /dev/zero | tr '\0' x)
while IFS='|' read -r args output; do
  [ -n "$args" ] || continue
  mkdir "$root/long" && cd "$root/long" || exit 2
  inputs
  printf '1 %s 1000 A G 0.1 0.2 0.7 1 0 0\n2 rs2 2000 C T 0 0 1 0.5 0.5 0\n' "$long" > x.gen
  printf '1 %s 0 1000\n1 rs2 0 2000\n' "$long" > x.map
  printf 'ID_1 ID_2 missing\n0 0 0\n%s i1 0\nf2 i2 0\n' "$long" > x.sample
  varnex $args > stdout.txt 2> stderr.txt
  status=$?
  width=$(wc -L < "$output")
  if [ $status = 0 ] && [ ! -s stderr.txt ] && [ "$width" -ge 10000000 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL long line: varnex $args: status $status, longest line of $output $width"
  fi
  cd "$root" && rm -rf "$root/long"
done <<'EOF2'
-S --g x.gen --start 1|x.gen.subset
-G --g x.gen --s x.sample|x.gen.map
-P --ped x.ped --map x.map|x.ped.gen
-M --g x.gen x.gen --s x.sample x.sample --og m.gen --os m.sample|m.gen
-O --g x.gen --strand x.strand|x.gen.orient
-U --s x.sample|stdout.txt
EOF2
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
