# Helpers of the scripts beside the case folders (outputs.sh), for what a
# folder cannot hold: links, FIFOs, signals. Run by CTest as
#   bash script.sh <path of varnex binary> <source root>
# Cases run in fresh scratch directories; the binary is called as plain
# `varnex` (through PATH), so the command echo reads "varnex ...". The script
# ends with `finish`, which prints "N passed, N failed" and sets the status.

set -u
# `printf ... | expect_stdout` must fail the case: run the last command of a
# pipeline in this shell, not in a subshell that forgets the failure.
shopt -s lastpipe
VARNEX_BIN=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SOURCE_ROOT=$(cd "$2" && pwd)
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/varnex-e2e.XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT
mkdir -p "$SCRATCH/bin"
ln -s "$VARNEX_BIN" "$SCRATCH/bin/varnex"
export PATH="$SCRATCH/bin:$PATH"

passed=0
failed=0
case_name=""
case_failed=0
case_count=0
STATUS=0

case_start() {
  case_name=$1
  case_failed=0
  case_count=$((case_count + 1))
  CASE_DIR="$SCRATCH/case$case_count"
  mkdir -p "$CASE_DIR"
  cd "$CASE_DIR" || exit 2
}

fail() {
  echo "FAIL [$case_name]: $*"
  case_failed=1
}

case_end() {
  if [ "$case_failed" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
}


# run ARGS...: runs varnex; keeps standard output in stdout.txt, standard
# error in stderr.txt and the exit status in STATUS.
run() {
  varnex "$@" > stdout.txt 2> stderr.txt
  STATUS=$?
  if [ -s stderr.txt ]; then fail "wrote to standard error: $(head -c 200 stderr.txt)"; fi
}

expect_status() {
  [ "$STATUS" -eq "$1" ] || fail "exit status $STATUS, expected $1"
}

# Compares file $1 with the here-document (decompressing gzip data).
compare_with_stdin() {
  local actual=$1 label=$2
  cat > "$CASE_DIR/.expected"
  if [ ! -e "$actual" ]; then
    fail "$label: missing"
    return
  fi
  if gzip -t "$actual" 2>/dev/null; then
    gzip -dc "$actual" > "$CASE_DIR/.actual"
  else
    cp "$actual" "$CASE_DIR/.actual"
  fi
  if ! cmp -s "$CASE_DIR/.expected" "$CASE_DIR/.actual"; then
    fail "$label differs:"
    diff "$CASE_DIR/.expected" "$CASE_DIR/.actual" | head -20
  fi
}

expect_stdout() { compare_with_stdin stdout.txt "standard output"; }

expect_absent() { [ ! -e "$1" ] || fail "$1 exists"; }


finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}
