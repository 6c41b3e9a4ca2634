# Orient (-O) on damaged input and hostile file-system conditions: exit 0
# with every readable SNP written (unreadable lines reported), or exit 1 with
# one message and no output left; inputs never change (run_checked).
. "$(dirname "$0")/lib.sh" "$@"
. "$(dirname "$0")/../hardening/damaged_lib.sh"

gen_text() { printf '1 rs1 1000 A G 0.1 0.2 0.7\n2 rs2 2000 C T 0 0 1\n'; }
strand_text() { printf '1000 -\n2000 +\n'; }

expect_oriented() {  # $1 output
  expect_status 0
  snps 2 2
  printf '1 rs1 1000 T C 0.1 0.2 0.7\n2 rs2 2000 C T 0 0 1\n' | expect_file "$1"
}
# succeeds ARGS...: the outputs of earlier runs removed, run_checked ARGS exits 0.
succeeds() { rm -f ./*.orient; run_checked "$@"; expect_status 0; }
# snps IN OUT: the last line of standard output gives these counts.
snps() { expect_last_stdout_line "Input SNPs: $1 Output SNPs: $2"; }
# stops_at_strand MESSAGE ARGS...: exit 1 with MESSAGE right after "Processing strand file...".
stops_at_strand() {
  local message=$1
  shift
  run_checked "$@"
  expect_status 1
  printf 'varnex %s\nProcessing strand file...\n%s\n' "$*" "$message" | expect_stdout
}

case_start "empty strand file, strand file of only line feeds: every SNP reported and kept"
gen_text > x.gen
: > x.strand
succeeds -O --g x.gen --strand x.strand
expect_new_files x.gen.orient
expect_stdout <<'EOF'
varnex -O --g x.gen --strand x.strand
Processing strand file...
Processing GEN file...
No orientation for SNP: 1000 1 rs1
0
No orientation for SNP: 2000 2 rs2
Input SNPs: 2 Output SNPs: 2
EOF
gen_text | expect_file x.gen.orient
printf '\n\n' > x.strand
succeeds -O --g x.gen --strand x.strand --excl
head -n 4 stdout.txt | tail -n 2 > unknown.txt
printf 'Unknown orientation:  \nUnknown orientation:  \n' | expect_file unknown.txt
snps 2 0
: | expect_file x.gen.orient
case_end

case_start "empty GEN, GEN of only line feeds, garbage GEN: nothing written, blank lines reported"
strand_text > x.strand
: > x.gen
succeeds -O --g x.gen --strand x.strand
snps 0 0
: | expect_file x.gen.orient
printf '\n\n' > x.gen
succeeds -O --g x.gen --strand x.strand
[ "$(grep -c '^No orientation for SNP:   $' stdout.txt)" -eq 2 ] || fail "blank lines not reported"
snps 2 0
garbage > x.gen
succeeds -O --g x.gen --strand x.strand
snps 1 0
: | expect_file x.gen.orient
case_end

case_start "binary garbage as strand file; gzip data under a plain name is read as bytes"
gen_text > x.gen
garbage > x.strand
succeeds -O --g x.gen --strand x.strand
snps 2 2
strand_text > x.strand
gen_text | gzip -nc > x.gen
succeeds -O --g x.gen --strand x.strand
grep -q '^Input SNPs: [0-9]* Output SNPs: 0$' stdout.txt || fail "gzip bytes gave SNPs"
case_end

case_start "truncated gzip, bad CRC, plain text under a gz name: read errors"
strand_text > x.strand
gen_text > x.gen
for damage in truncated_gz bad_crc_gz cat; do
  gen_text | $damage > x.gen.gz
  refused "Can't read x.gen.gz" -O --g x.gen.gz --strand x.strand
  strand_text | $damage > x.strand.gz
  stops_at_strand "Can't read x.strand.gz" -O --g x.gen --strand x.strand.gz
done
case_end

case_start "lines of 10 MB are copied whole"
strand_text > x.strand
{ printf '1 '; long_word 10000000; printf ' 1000 A G 0.1 0.2 0.7\n'; } > x.gen
succeeds -O --g x.gen --strand x.strand --order
[ "$(wc -c < x.gen.orient)" -eq $((2 + 10000000 + 22)) ] || fail "output is $(wc -c < x.gen.orient) bytes"
[ "$(tail -c 22 x.gen.orient)" = " 1000 C T 0.7 0.2 0.1" ] || fail "end: $(tail -c 22 x.gen.orient)"
case_end

case_start "no final line feed, CRLF line ends, gzip; the log on /dev/full: the same output"
gen_text | no_final_newline > x.gen
strand_text | no_final_newline > x.strand
run_checked -O --g x.gen --strand x.strand
expect_oriented x.gen.orient
gen_text | crlf > y.gen
strand_text | crlf > y.strand
run_checked -O --g y.gen --strand y.strand
expect_oriented y.gen.orient
gen_text | crlf | gzip -nc > z.gen.gz
strand_text | crlf | gzip -nc > z.strand.gz
run_checked -O --g z.gen.gz --strand z.strand.gz --og z.out
expect_oriented z.out.gz
expect_new_files z.out.gz
gen_text > w.gen
strand_text > w.strand
run_checked -O --g w.gen --strand w.strand --log /dev/full
expect_oriented w.gen.orient
case_end

case_start "NUL bytes are characters; probability texts are never numbers"
printf '1000 -\n' > x.strand
printf '1 rs\0001 1000 A G 0.1 0\0002 0.7\n' > x.gen
succeeds -O --g x.gen --strand x.strand
printf '1 rs\0001 1000 T C 0.1 0\0002 0.7\n' | expect_file x.gen.orient
# 1e999, nan, -0 are copied as they are.
printf '1000 +\n' > x.strand
printf '1 rs1 1000 G A 1e999 nan -0\n' > x.gen
succeeds -O --g x.gen --strand x.strand --order
printf '1 rs1 1000 A G -0 nan 1e999\n' | expect_file x.gen.orient
case_end

case_start "positions beyond 32 bits: GEN lines reported and left out, strand lines reported"
printf '1000 -\n99999999999 -\n2147483648 +\n' > x.strand
printf '1 rs1 99999999999 A G 1 0 0\n2 rs2 1000 A G 1 0 0\n3 rs3 -0 A G 1 0 0\n' > x.gen
succeeds -O --g x.gen --strand x.strand
expect_stdout <<'EOF'
varnex -O --g x.gen --strand x.strand
Processing strand file...
Unknown orientation: - 99999999999
Unknown orientation: + 2147483648
Processing GEN file...
No orientation for SNP: 99999999999 1 rs1
0
No orientation for SNP: 0 3 rs3
Input SNPs: 3 Output SNPs: 2
EOF
printf '2 rs2 1000 T C 1 0 0\n3 rs3 0 A G 1 0 0\n' | expect_file x.gen.orient
case_end

case_start "a directory as input or as output; an output in a missing directory or on /dev/full"
gen_text > x.gen
strand_text > x.strand
mkdir d
refused "Can't open d" -O --g d --strand x.strand
stops_at_strand "Can't open d" -O --g x.gen --strand d
refused "Can't open d" -O --g x.gen --strand x.strand --og d
refused "Can't open nodir/x.out" -O --g x.gen --strand x.strand --og nodir/x.out
refused "Can't write /dev/full" -O --g x.gen --strand x.strand --og /dev/full
case_end

case_start "a run stopped by a signal leaves no output behind"
printf '1000 -\n' > x.strand
for sig in TERM INT HUP; do
  rm -f x.gen
  mkfifo x.gen
  # The GEN input stays open and unfinished: the run waits inside the output.
  { printf '1 rs1 1000 A G 1 0 0\n'; sleep 2; } > x.gen &
  writer=$!
  # Started from a script, a background job has SIGINT ignored; undo that.
  ( trap - INT; exec varnex -O --g x.gen --strand x.strand --og out.gen > stdout.txt 2> stderr.txt ) &
  pid=$!
  for i in $(seq 100); do compgen -G '.out.gen.varnex-*' > /dev/null && break; sleep 0.05; done
  compgen -G '.out.gen.varnex-*' > /dev/null || fail "SIG$sig: the output was never created"
  kill -$sig $pid
  wait $pid 2>/dev/null
  STATUS=$?
  kill $writer 2>/dev/null
  wait $writer 2>/dev/null
  [ "$STATUS" -gt 128 ] || fail "SIG$sig: exit status $STATUS"
  [ -s stderr.txt ] && fail "SIG$sig: wrote to standard error"
  expect_absent out.gen
  compgen -G '.out.gen.varnex-*' > /dev/null && fail "SIG$sig: the temporary file was left"
done
case_end

finish
