# Update (-U) on damaged input: the file is printed as it stands (gzip or
# not, whatever the name) or the run stops with "Can't read"; it never
# writes a file but the log, and never changes its input.
. "$(dirname "$0")/lib.sh" "$@"
. "$(dirname "$0")/../hardening/damaged_lib.sh"

sample_text() { printf 'ID_1 ID_2 missing\n0 0 0\nf1 i1 0\n'; }

case_start "binary garbage with NUL bytes is printed byte for byte"
garbage > x.sample
run_checked -U --s x.sample
expect_status 0
expect_new_files
lines=$(tr -cd '\n' < x.sample | wc -c)
extra=0
[ "$(tail -c 1 x.sample | od -An -c | tr -d ' ')" = '\n' ] || extra=2
want=$(($(printf 'varnex -U --s x.sample\n' | wc -c) + $(wc -c < x.sample) + lines + extra))
[ "$(wc -c < stdout.txt)" -eq "$want" ] || fail "printed $(wc -c < stdout.txt) bytes, expected $want"
case_end

case_start "only line feeds, plain and gzip: an empty line for each, twice"
printf '\n\n' > x.sample
printf '\n\n' | gzip -nc > y.sample
for name in x.sample y.sample; do
  run_checked -U --s $name
  expect_status 0
  printf 'varnex -U --s %s\n\n\n\n\n' $name | expect_stdout
done
case_end

case_start "gzip with a bad CRC, truncated gzip: a read error after what was printed"
sample_text | bad_crc_gz > x.sample.gz
refused "Can't read x.sample.gz" -U --s x.sample.gz
expect_log <<'EOF'
varnex -U --s x.sample.gz
Can't read x.sample.gz
EOF
sample_text | truncated_gz > y.sample
refused "Can't read y.sample" -U --s y.sample
case_end

case_start "a 10 MB line, CRLF line ends, no final line feed"
{ printf 'ID_1 '; long_word 10000000; printf '\r\n0 0 0'; } > x.sample
run_checked -U --s x.sample
expect_status 0
[ "$(wc -c < stdout.txt)" -eq $((23 + 5 + 10000000 + 3 + 5 + 2)) ] || fail "printed $(wc -c < stdout.txt) bytes"
cmp -s <(tail -c 11 stdout.txt) <(printf 'x\r\n\n0 0 0\n\n') || fail "line ends: $(tail -c 11 stdout.txt | od -An -c)"
case_end

case_start "the log as a directory, in a missing directory, on /dev/full"
sample_text | write x.sample
mkdir d
run_checked -U --s x.sample --log d
expect_status 1
expect_stdout <<'EOF'
Can't open log file: d
EOF
refused "Can't open log file: nodir/x.log" -U --s x.sample --log nodir/x.log
run_checked -U --s x.sample --log /dev/full
expect_status 0
printf 'varnex -U --s x.sample --log /dev/full\nID_1 ID_2 missing\n\n0 0 0\n\nf1 i1 0\n\n' | expect_stdout
case_end

finish
