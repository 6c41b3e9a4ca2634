# Orient to strand (-O): expected files written by hand from the strand rules.
. "$(dirname "$0")/lib.sh"

# Seven SNPs: two at position 100, a strand entry replaced (500), equal
# alleles (300), a non-ACGT allele (600), 3N+2 tokens (500), no entry (700),
# tokens such as 1.0, 0.000 and 1e-4, tabs and double spaces.
write_case_inputs() {
  local gen=$1 strand=$2 writer=$3 strand_writer=$4
  $writer "$gen" <<'EOF'
S1 rs1 100 A G 0.1 0.2 0.7 1.0 0 0
S2	rs2  200 G A 0.1 0.2 0.7  0.000	1e-4 1
S3 rs3 300 C C 1 0 0 0 1 0
S4 rs4 100 T C 0 0 1 0.5 0.5 0
S5 rs5 500 A T 0.2 0.3 0.5 1 0
S6 rs6 600 N A 1 0 0
S7 rs7 700 A C 0.25 0.5 0.25
EOF
  printf '100 -\n200 +\n300 -\n500 +\nx +\n500 -\n600\t-\textra\n650 ?\n' | $strand_writer "$strand"
}

# One SNP at 100 and a strand file turning 100 to the - strand.
tiny_inputs() {
  echo "S1 rs1 100 A G 1 0 0" > a.gen
  echo "100 -" > a.strand
}

# expect_both: the here-document is standard output; the log holds the same
# lines without the counter (lines of digits) and the final SNP counts.
expect_both() {
  cat > "$CASE_DIR/.out"
  expect_stdout < "$CASE_DIR/.out"
  grep -v -e '^[0-9]*$' -e '^Input SNPs: ' "$CASE_DIR/.out" | expect_log
}

# The report on the seven SNPs, from "Processing strand file..." on; $1 is
# the number of SNPs written.
case_report() {
  printf '%s\n' 'Processing strand file...' 'Unknown orientation: + x' 'Unknown orientation: ? 650' \
    'Processing GEN file...' 0 'No orientation for SNP: 700 S7 rs7' "Input SNPs: 7 Output SNPs: $1"
}

expected_plain_order() {
  cat <<'EOF'
S1 rs1 100 T C 0.1 0.2 0.7 1.0 0 0
S2 rs2 200 G A 0.1 0.2 0.7 0.000 1e-4 1
S3 rs3 300 G G 1 0 0 0 1 0
S4 rs4 100 A G 0 0 1 0.5 0.5 0
S5 rs5 500 T A 0.2 0.3 0.5
S6 rs6 600 N T 1 0 0
S7 rs7 700 A C 0.25 0.5 0.25
EOF
}

expected_alphabetical() {
  cat <<'EOF'
S1 rs1 100 C T 0.7 0.2 0.1 0 0 1.0
S2 rs2 200 A G 0.7 0.2 0.1 1 1e-4 0.000
S3 rs3 300 G G 1 0 0 0 1 0
S4 rs4 100 A G 0 0 1 0.5 0.5 0
S5 rs5 500 A T 0.5 0.3 0.2
S6 rs6 600 N T 1 0 0
S7 rs7 700 A C 0.25 0.5 0.25
EOF
}

# stopped MESSAGE ARGS...: exit 1 after both phase markers and MESSAGE.
stopped() {
  local message=$1
  shift
  printf 'Processing strand file...\nProcessing GEN file...\n%s\n' "$message" | expect_refused "$@"
}

for kind in plain gzip; do
  if [ $kind = plain ]; then gen=a.gen; strand=a.strand; w=write; out=a.gen.orient
  else gen=a.gen.gz; strand=a.strand.gz; w=write_gz; out=a.gen.orient.gz; fi

  case_start "$kind: complement, replaced entry, dropped tokens, SNP without entry"
  write_case_inputs $gen $strand $w $w
  run -O --g $gen --strand $strand
  expect_status 0
  { echo "varnex -O --g $gen --strand $strand"; case_report 7; } | expect_both
  expected_plain_order | expect_file $out
  if [ $kind = gzip ]; then expect_gzip $out; else expect_plain $out; fi
  case_end

  case_start "$kind: --order after the complement, equal alleles kept"
  write_case_inputs $gen $strand $w $w
  run -O --g $gen --strand $strand --order --og o.txt
  expect_status 0
  # The gz input makes the output gzip, with ".gz" appended to its name.
  o=o.txt
  if [ $kind = gzip ]; then expect_absent o.txt; o=o.txt.gz; expect_gzip $o; else expect_plain $o; fi
  expected_alphabetical | expect_file $o
  case_end

  case_start "$kind: --excl leaves out SNPs without entry, counts both"
  write_case_inputs $gen $strand $w $w
  case_report 6 | expect_run 0 -O --g $gen --strand $strand --excl --order
  expected_alphabetical | grep -v '^S7' | expect_file $out
  case_end
done

case_start "plain input written gzip under a gz output name; gz strand file with plain GEN"
write_case_inputs a.gen a.strand.gz write write_gz
run -O --g a.gen --strand a.strand.gz --og out.gz.tmp
expect_status 0
expect_gzip out.gz.tmp
expected_plain_order | expect_file out.gz.tmp
case_end

case_start "plain text under a gz name is not read as a strand file"
echo "S1 rs1 100 A G 1 0 0" > a.gen
echo "100 -" > a.strand.gz
printf "Processing strand file...\nCan't read a.strand.gz\n" | expect_refused -O --g a.gen --strand a.strand.gz
expect_absent a.gen.orient
case_end

case_start "counter every 1000 lines, on standard output only"
seq 1 2001 | awk '{ print $1, "+" }' > s.strand
seq 1 2001 | awk '{ print "S" $1, "rs" $1, $1, "A C 1 0 0" }' > big.gen
run -O --g big.gen --strand s.strand
expect_status 0
printf '%s\n' 'varnex -O --g big.gen --strand s.strand' 'Processing strand file...' 'Processing GEN file...' \
  0 1000 2000 'Input SNPs: 2001 Output SNPs: 2001' | expect_both
expect_file big.gen.orient < big.gen
case_end

case_start "unreadable strand positions never become position 0"
printf 'S0 rs0 0 A G 1 0 0\nS1 rs1 -5 A G 1 0 0\n' > a.gen
printf 'rs12 -\n12x -\n\n  \n-5 -\n+7 q\n99999999999 +\n' > a.strand
expect_run 0 -O --g a.gen --strand a.strand --excl <<'EOF'
Processing strand file...
Unknown orientation: - rs12
Unknown orientation: - 12x
Unknown orientation:  
Unknown orientation:  
Unknown orientation: q 7
Unknown orientation: + 99999999999
Processing GEN file...
No orientation for SNP: 0 S0 rs0
0
Input SNPs: 2 Output SNPs: 1
EOF
echo 'S1 rs1 -5 T C 1 0 0' | expect_file a.gen.orient
case_end

case_start "GEN lines that are not SNPs are reported and left out"
printf 'S1 rs1 100 A G 1 0 0\n\nS2 rs2 abc A G 1 0 0\nS3 rs3 100 A\nS4 rs4 +0100 A G 1 0 0\t\nS5 rs5 100 C A 1 0.5 0.25\n' > a.gen
printf '100 +\r\n' > a.strand
expect_run 0 -O --g a.gen --strand a.strand --order <<'EOF'
Processing strand file...
Processing GEN file...
0
No orientation for SNP:   
No orientation for SNP: abc S2 rs2
No orientation for SNP: 100 S3 rs3
Input SNPs: 6 Output SNPs: 3
EOF
printf 'S1 rs1 100 A G 1 0 0\nS4 rs4 100 A G 1 0 0\nS5 rs5 100 A C 0.25 0.5 1\n' | expect_file a.gen.orient
case_end

case_start "empty gzip GEN gives an empty gzip output; CRLF lines lose the CR"
: | gzip -c > e.gen.gz
echo "100 -" > e.strand
printf 'Processing strand file...\nProcessing GEN file...\nInput SNPs: 0 Output SNPs: 0\n' |
  expect_run 0 -O --g e.gen.gz --strand e.strand
expect_gzip e.gen.orient.gz
expect_file e.gen.orient.gz < /dev/null
printf 'S1 rs1 100 A G 1 0 0 0 1 0\r\nS2 rs2 100 G A 0 0 1\r\n' > crlf.gen
run -O --g crlf.gen --strand e.strand --order
expect_status 0
printf 'S1 rs1 100 C T 0 0 1 0 1 0\nS2 rs2 100 C T 0 0 1\n' | expect_file crlf.gen.orient
case_end

case_start "missing strand file: nothing created"
tiny_inputs
run -O --g a.gen --strand nostrand
expect_status 1
printf "varnex -O --g a.gen --strand nostrand\nProcessing strand file...\nCan't open nostrand\n" | expect_both
expect_absent a.gen.orient
case_end

for gen in no.gen no.gen.gz; do
  case_start "missing GEN file $gen: no output left behind"
  tiny_inputs
  stopped "Can't open $gen" -O --g $gen --strand a.strand
  expect_log < stdout.txt
  expect_absent no.gen.orient
  expect_absent no.gen.orient.gz
  case_end
done

case_start "output in a missing directory"
tiny_inputs
stopped "Can't open nodir/out.gen" -O --g a.gen --strand a.strand --og nodir/out.gen
case_end

case_start "output naming an input is refused before anything is written"
tiny_inputs
ln -s a.gen link.gen
echo 'Output file ./link.gen is the same file as input a.gen' | expect_refused_early -O --g a.gen --strand a.strand --og ./link.gen
expect_absent varnex.log
echo 'S1 rs1 100 A G 1 0 0' | expect_file a.gen
echo 'Output file a.strand is the same file as input a.strand' | expect_refused_early -O --g a.gen --strand a.strand --og a.strand
echo '100 -' | expect_file a.strand
case_end

case_start "a failed write is reported and the partial output removed"
tiny_inputs
stopped $'0\nCan\'t write /dev/full' -O --g a.gen --strand a.strand --og /dev/full
# A damaged gzip input stops the run; the unfinished output is removed.
head -c 40 "$REALDATA/gwasurvivr_impute2/impute_example.impute2.gz" > cut.gen.gz
echo '19459185 +' > s.strand
run -O --g cut.gen.gz --strand s.strand
expect_status 1
expect_absent cut.gen.orient.gz
case_end

case_start "real file: non-ACGT and multi-letter alleles, --order, --excl"
printf '%s\n' '1 -' '14431347 -' '14432618 -' '14432918 +' '14433624 -' '14433659 -' '14433758 -' > t.strand
run -O --g "$REALDATA/genotypeio_tests/test10.gen" --strand t.strand --order --excl --og t.out
expect_status 0
expect_stdout <<EOF
varnex -O --g $REALDATA/genotypeio_tests/test10.gen --strand t.strand --order --excl --og t.out
Processing strand file...
Processing GEN file...
0
No orientation for SNP: 14434713 22 rs9604721
Input SNPs: 8 Output SNPs: 7
EOF
expect_file t.out <<'EOF'
1 rs1 1 A T 0.25 0.25 0.5 0.25 0.5 0.25 0.5 0.25 0.25 0.1 0.1 0.1 0.3 0.3 0.3 0.3 0.3 0.4 0.5 0.3 0.2 1 0.1 0 0.989 0.001 0.01
22 rs11089130 14431347 D P 1 0 0 0 1 0 0 0 1 1 0 0 1 0 0 1 0 0 1 0 0 0 1 0 0 1 0
22 rs738829 14432618 A W 0 0 1 0 1 0 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1
22 rs7510853 14432918 C C 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 0 0 0
22 rs915674 14433624 H T 1 0 0 0 1 0 1 0 0 1 0 0 1 0 0 0 1 0 1 0 0 1 0 0 0 1 0
22 rs915675 14433659 AA T 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 1 0 0 0 1
22 rs915677 14433758 C T 1 0 0 0 1 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0
EOF
case_end

case_start "real gzip file on the + strand is copied unchanged, into a gzip output"
printf '19459185 +\n20095842 +\n20097287 +\n' > s.strand
cp "$REALDATA/gwasurvivr_impute2/impute_example.impute2.gz" imp.gz
printf 'Processing strand file...\nProcessing GEN file...\n0\nInput SNPs: 3 Output SNPs: 3\n' |
  expect_run 0 -O --g imp.gz --strand s.strand --order
expect_gzip imp.orient.gz
expect_file imp.orient.gz < <(gzip -dc imp.gz)
case_end

finish
