#!/usr/bin/env bash
# Outputs of every mode, table-driven: names that reach the same file, the log
# against every kind of output, and what a failed or interrupted run leaves.
# Links, FIFOs and signals need a script; plain-data cases are case folders.
#
#   bash tests/cases/outputs.sh <varnex binary> <source root>
set -u
shopt -s lastpipe  # `... | expect_stdout` must fail the case in this shell
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/varnex-e2e.XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT
mkdir -p "$SCRATCH/bin"
ln -s "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")" "$SCRATCH/bin/varnex"
export PATH="$SCRATCH/bin:$PATH"
passed=0 failed=0 case_count=0 STATUS=0

case_start() {
  case_name=$1 case_failed=0 case_count=$((case_count + 1))
  mkdir -p "$SCRATCH/case$case_count" && cd "$SCRATCH/case$case_count" || exit 2
}
fail() { echo "FAIL [$case_name]: $*"; case_failed=1; }
case_end() { if [ "$case_failed" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi; }
# run ARGS...: varnex's output in stdout.txt, its status in STATUS; stderr must stay empty.
run() {
  timeout 60 varnex "$@" > stdout.txt 2> stderr.txt  # a refusal that waits on a pipe fails, not hangs
  STATUS=$?
  [ ! -s stderr.txt ] || fail "wrote to standard error: $(head -c 200 stderr.txt)"
}
expect_status() { [ "$STATUS" -eq "$1" ] || fail "exit status $STATUS, expected $1"; }
expect_stdout() {
  cat > .expected
  cmp -s .expected stdout.txt || { fail "standard output differs:"; diff .expected stdout.txt | head -20; }
}

# Mode table: name | successful run | failing run (fails once its outputs are
# open) | first input. O1 and O2 stand for the output names.
table=(
  "S|-S --g a.gen --s a.sample --sample_id ids.txt --og O1 --os O2|-S --g cut.gen.gz --s a.sample --sample_id ids.txt --og O1 --os O2|a.gen"
  "G|-G --g a.gen --s a.sample --ped O1 --map O2|-G --g bad.gen --s a.sample --ped O1 --map O2|a.gen"
  "P|-P --ped x.ped --map x.map --og O1 --os O2|-P --ped x.ped --map x.map --og nodir/g --os O2|x.ped"
  "M|-M --g a.gen b.gen --s a.sample b.sample --og O1 --os O2|-M --g a.gen b.gen --s a.sample b.sample --og O1 --os nodir/s|a.gen"
  "O|-O --g a.gen --strand a.strand --og O1|-O --g cut.gen.gz --strand a.strand --og O1|a.gen"
)

inputs() {
  printf '1 rs1 100 A G 1 0 0 0 1 0\n1 rs2 200 A G 0 0 1 1 0 0\n' > a.gen
  printf '1 rs3 300 C T 1 0 0 0 1 0\n' > b.gen
  printf 'ID_1 ID_2 missing\n0 0 0\ns1 s1 0\ns2 s2 0\n' | tee a.sample > b.sample
  printf 's1\n' > ids.txt
  printf 'F1 I1 0 0 1 2 A A G T\nF2 I2 0 0 2 1 A C 0 0\n' > x.ped
  printf '1 rs1 0 1000\n1 rs2 0 2000\n' > x.map
  printf '100 -\n200 +\n' > a.strand
  printf '1 rs1 100 A G 1 0 0 0 1 0\n1 rs2 200 A G 1 0 x 1 0 0\n' > bad.gen
  # Gzip data cut short: read well past the point where the outputs open.
  for i in $(seq 3000); do echo "1 rs$i $i A G 1 0 0 0 1 0"; done | gzip -c | head -c 4000 > cut.gen.gz
}

# args TEMPLATE O1 O2: the template's words with the output names put in.
args() {
  local t=${1//O1/$2}
  echo "${t//O2/$3}"
}

# Every file of the directory (links as links) with its content or target.
snapshot() {
  local f
  for f in $(ls -A | sort); do
    case $f in stdout.txt | stderr.txt | .expected | .actual | .echoed) continue ;; esac
    if [ -L "$f" ]; then echo "$f -> $(readlink "$f")"; elif [ -f "$f" ]; then echo "$f $(cksum < "$f")"; else echo "$f/"; fi
  done
}

# refused_alone MESSAGE ARGS...: refused with exactly MESSAGE, before the log
# or any output; the directory is as it was.
refused_alone() {
  local message=$1 before
  shift
  before=$(snapshot)
  run "$@" < /dev/null
  expect_status 1
  echo "$message" | expect_stdout
  [ "$(snapshot)" = "$before" ] || fail "$*: the directory changed"
}

for row in "${table[@]}"; do
  IFS='|' read -r mode good bad first <<< "$row"

  case_start "$mode: an output that is an input, through any name, is refused"
  inputs
  ln -s "$first" lnk
  for name in "$first" "./$first" "$PWD/$first" lnk; do
    refused_alone "Output file $name is the same file as input $first" $(args "$good" "$name" o2)
  done
  case_end

  case_start "$mode: two outputs that are one file, new or existing, are refused"
  inputs
  if [[ $good == *O2* ]]; then
    refused_alone "Output file ./o is the same file as o" $(args "$good" o ./o)
    mkdir d
    refused_alone "Output file d/../d/o is the same file as $PWD/d/o" $(args "$good" "$PWD/d/o" d/../d/o)
    refused_alone "Output file nd/./x/../o is the same file as nd/o" $(args "$good" nd/o nd/./x/../o)
    echo old > o
    ln -s o lo
    refused_alone "Output file lo is the same file as o" $(args "$good" o lo)
  fi
  case_end

  case_start "$mode: the log is none of the outputs"
  inputs
  refused_alone "Log file ./o1 is the same file as o1" $(args "$good" o1 o2) --log ./o1
  if [[ $good == *O2* ]]; then
    echo old > o2
    refused_alone "Log file o2 is the same file as o2" $(args "$good" o1 o2) --log o2
  fi
  case_end

  case_start "$mode: a failed run leaves existing outputs and links as they were"
  inputs
  # .gz names: a gzip input would add it to a plain name.
  echo old1 > o1.gz
  echo old2 > t2
  ln -s t2 o2.gz
  mkfifo keep.fifo
  before=$(snapshot)
  run $(args "$bad" o1.gz o2.gz) < /dev/null
  expect_status 1
  rm -f varnex.log  # the run's own log
  [ "$(snapshot)" = "$before" ] || fail "the directory changed: $(snapshot | diff <(echo "$before") - | head -5)"
  # Standard output as an output: never unlinked, renamed over or truncated.
  ln -s /dev/stdout so
  before=$(snapshot)
  run $(args "$bad" so o2.gz) < /dev/null
  expect_status 1
  rm -f varnex.log
  [ "$(snapshot)" = "$before" ] || fail "standard output as an output: the directory changed"
  case_end

  case_start "$mode: a link stays a link and its target gets the output"
  inputs
  run $(args "$good" r1 r2) < /dev/null
  expect_status 0
  mkdir t
  echo old > t/x1
  ln -s t/x1 l1
  ln -s ../t/x1 t/indirect  # a relative link, followed from its own folder
  run $(args "$good" l1 r2) < /dev/null
  expect_status 0
  [ -L l1 ] || fail "l1 is no longer a link"
  cmp -s t/x1 r1 || fail "the link's target does not hold the output"
  echo old > t/x1
  run $(args "$good" t/indirect r2) < /dev/null
  expect_status 0
  [ -L t/indirect ] || fail "t/indirect is no longer a link"
  cmp -s t/x1 r1 || fail "the relative link's target does not hold the output"
  [ "$(ls -A t | sort | tr '\n' ' ')" = "indirect x1 " ] || fail "left in t: $(ls -A t)"
  # Special files are written in place: /dev/null through a link.
  ln -s /dev/null nul
  run $(args "$good" nul r2) < /dev/null
  expect_status 0
  [ -L nul ] || fail "nul is no longer a link"
  compgen -G '.*varnex-*' > /dev/null && fail "a temporary file was left"
  case_end
  case_start "$mode: standard output whose reader went away: outputs complete, exit 1"
  inputs
  run $(args "$good" r1 r2) < /dev/null
  { sleep 0.3; varnex $(args "$good" w1 w2) 2> stderr.txt; echo $? > status.txt; } < /dev/null | true
  [ "$(cat status.txt)" -eq 1 ] || fail "exit status $(cat status.txt)"
  [ ! -s stderr.txt ] || fail "wrote to standard error"
  cmp -s r1 w1 || fail "the first output differs from a run with a reader"
  [ ! -e r2 ] || cmp -s r2 w2 || fail "the second output differs from a run with a reader"
  case_end
done


case_start "tags and .gz go into the file's own name; no .gz on a special file"
inputs
mkdir run.gz
gzip -c a.gen > run.gz/a.gen.gz
run -S --g run.gz/a.gen.gz --start 0
expect_status 0
[ -f run.gz/a.gen.subset.gz ] || fail "no run.gz/a.gen.subset.gz: $(ls run.gz)"
ln -s /dev/null nul
run -O --g run.gz/a.gen.gz --strand a.strand --og nul
expect_status 0
[ ! -e nul.gz ] || fail "nul.gz exists"
cp a.gen run.gz/a.gen
run -M --g run.gz/a.gen b.gen --s a.sample b.sample
expect_status 0
[ -f run.gz/a_b.gen ] && [ -f run.gz/a_b.sample ] || fail "merged names: $(ls run.gz)"
case_end

case_start "inputs read twice may not be pipes; nor may the log be one"
inputs
mkfifo p
for cmd in "-G --g p --s a.sample" "-P --ped p --map x.map" "-M --g a.gen p --s a.sample b.sample"; do
  run $cmd
  expect_status 1
  [ "$(tail -n 1 stdout.txt)" = "Can't read p twice: it is a pipe, not a file" ] || fail "$cmd: $(tail -n 1 stdout.txt)"
done
refused_alone "Log file p is a pipe, not a file" -S --g a.gen --start 0 --log p
case_end

# Interrupted while its outputs are open: only the temporary files go. The
# GEN input of -S and -O is a FIFO held open, so the run waits inside.
for mode in S O; do
  case_start "$mode: SIGINT mid-run leaves existing outputs and links as they were"
  inputs
  echo old1 > o1
  echo old2 > t2
  ln -s t2 o2
  mkfifo f.gen
  before=$(snapshot)
  { printf '1 rs1 100 A G 1 0 0 0 1 0\n'; sleep 3; } > f.gen &
  writer=$!
  if [ $mode = S ]; then
    cmd=(-S --g f.gen --s a.sample --sample_id ids.txt --og o1 --os o2)
  else
    cmd=(-O --g f.gen --strand a.strand --og o1)
  fi
  ( trap - INT; exec varnex "${cmd[@]}" > stdout.txt 2> stderr.txt ) &
  pid=$!
  for i in $(seq 100); do compgen -G '.o1.varnex-*' > /dev/null && break; sleep 0.03; done
  compgen -G '.o1.varnex-*' > /dev/null || fail "the run never opened its output"
  kill -INT $pid
  wait $pid
  STATUS=$?
  kill $writer 2>/dev/null
  wait $writer 2>/dev/null
  [ "$STATUS" -eq 130 ] || fail "exit status $STATUS"
  rm -f varnex.log  # the run's own log
  [ "$(snapshot)" = "$before" ] || fail "the directory changed: $(snapshot | diff <(echo "$before") - | head -5)"
  case_end
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
