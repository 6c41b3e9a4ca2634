# Helpers for the damaged-input scripts tests/e2e/damaged_<mode>.sh, sourced
# after tests/e2e/lib.sh:
#
#   . "$(dirname "$0")/lib.sh" "$@"
#   . "$(dirname "$0")/../hardening/damaged_lib.sh"
#
#   case_start "truncated gzip PED"
#   ... write the inputs ...
#   run_checked -P --ped x.ped.gz --map x.map
#   expect_status 1
#   expect_last_line "Can't read x.ped.gz"
#   case_end
#
# run_checked wraps lib.sh's `run` (which already fails a case that writes to
# standard error) and checks, whatever the outcome, that every file present
# before the run is still there byte for byte (inputs are never changed), that
# a failed run left no new file but the log, and that nothing was left in the
# run's private TMPDIR.

export TMPDIR="$SCRATCH/tmp"
mkdir -p "$TMPDIR"

# Files the harness itself keeps in a case directory are left out.
_find() {
  find . -mindepth 1 ! -path ./stdout.txt ! -path ./stderr.txt ! -path ./status.txt \
    ! -path ./.expected ! -path ./.actual ! -path ./varnex.log "$@"
}

# Every path below the case directory (files, directories, links), sorted.
_listing() { _find | LC_ALL=C sort; }

# "checksum size path" of every regular file (one cksum for all of them).
_sums() { _find -type f -print0 | xargs -0 -r cksum | LC_ALL=C sort; }

BEFORE_LIST=""
AFTER_LIST=""

run_checked() {
  local before_sums after_sums lost new
  BEFORE_LIST=$(_listing)
  before_sums=$(_sums)
  run "$@"
  AFTER_LIST=$(_listing)
  after_sums=$(_sums)
  lost=$(LC_ALL=C comm -23 <(printf '%s\n' "$before_sums") <(printf '%s\n' "$after_sums"))
  [ -z "$lost" ] || fail "a file present before the run changed or vanished: $lost"
  if [ "$STATUS" -ne 0 ]; then
    new=$(LC_ALL=C comm -13 <(printf '%s\n' "$BEFORE_LIST") <(printf '%s\n' "$AFTER_LIST"))
    [ -z "$new" ] || fail "the failed run left $(echo $new)"
  fi
  if [ -n "$(ls -A "$TMPDIR")" ]; then
    fail "temporary files left in TMPDIR: $(ls -A "$TMPDIR" | head -5 | tr '\n' ' ')"
    rm -rf "${TMPDIR:?}"/* "$TMPDIR"/.[!.]* 2>/dev/null
  fi
}

# expect_new_files NAME...: exactly these files are new after the last
# run_checked (outputs, and no temporary file beside them).
expect_new_files() {
  local want got
  want=$(for n in "$@"; do printf './%s\n' "$n"; done | LC_ALL=C sort)
  got=$(LC_ALL=C comm -13 <(printf '%s\n' "$BEFORE_LIST") <(printf '%s\n' "$AFTER_LIST"))
  [ "$want" = "$got" ] || fail "new files: $(echo $got), expected: $(echo $want)"
}

# expect_last_line TEXT: the last line of standard output and of the log.
expect_last_line() {
  local out log
  out=$(tail -n 1 stdout.txt)
  [ "$out" = "$1" ] || fail "last line of standard output: '$out', expected '$1'"
  if [ -e varnex.log ]; then
    log=$(tail -n 1 varnex.log)
    [ "$log" = "$1" ] || fail "last line of the log: '$log', expected '$1'"
  fi
}

# expect_last_stdout_line TEXT: for messages that go to standard output only.
expect_last_stdout_line() {
  local out
  out=$(tail -n 1 stdout.txt)
  [ "$out" = "$1" ] || fail "last line of standard output: '$out', expected '$1'"
}

# expect_last_line_like GLOB: the same, for messages that carry a line number
# or a count that depends on arbitrary bytes.
expect_last_line_like() {
  local out
  out=$(tail -n 1 stdout.txt)
  # shellcheck disable=SC2053
  [[ "$out" == $1 ]] || fail "last line of standard output: '$out', expected like '$1'"
}

# Damaged variants of a text, for any input slot.
# garbage: 4 KB of fixed pseudo-random bytes, NUL and 0x1f 0x8b included.
garbage() {
  local i x=7 s=""
  for ((i = 0; i < 256; i++)); do
    x=$(((x * 1103515245 + 12345) % 2147483648))
    s+="\\$(printf %03o $(((x >> 16) & 255)))"
  done
  for ((i = 0; i < 16; i++)); do printf "$s"; done
}
# truncated_gz < text: gzip data cut in the middle of the deflate stream.
truncated_gz() {
  local t
  t=$(mktemp "$SCRATCH/gz.XXXXXX")
  gzip -nc > "$t"
  head -c $(($(stat -c %s "$t") / 2)) "$t"
  rm -f "$t"
}
# bad_crc_gz < text: complete gzip data whose CRC-32 does not match.
bad_crc_gz() {
  local t size b
  t=$(mktemp "$SCRATCH/gz.XXXXXX")
  gzip -nc > "$t"
  size=$(stat -c %s "$t")
  b=$(od -An -tu1 -j $((size - 8)) -N1 "$t" | tr -d ' ')
  printf "\\$(printf %03o $(((b + 1) % 256)))" |
    dd of="$t" bs=1 seek=$((size - 8)) conv=notrunc 2>/dev/null
  cat "$t"
  rm -f "$t"
}
# crlf < text: every line feed preceded by a carriage return.
crlf() { sed 's/$/\r/'; }
# no_final_newline < text
no_final_newline() { head -c -1; }
# long_word N: N bytes of "x" without a line feed (10 MB takes ~20 ms).
long_word() { head -c "$1" /dev/zero | tr '\0' x; }

# refused TEXT ARGS...: run_checked ARGS must exit 1 with TEXT as the last line
# of standard output and of the log; refused_like GLOB ARGS... the same, like GLOB.
refused() {
  local text=$1
  shift
  run_checked "$@"
  expect_status 1
  expect_last_line "$text"
}
refused_like() {
  local glob=$1
  shift
  run_checked "$@"
  expect_status 1
  expect_last_line_like "$glob"
}
