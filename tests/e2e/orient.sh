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
  $strand_writer "$strand" <<'EOF'
100 -
200 +
300 -
500 +
x +
500 -
600	-	extra
650 ?
EOF
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

for kind in plain gzip; do
  if [ $kind = plain ]; then gen=a.gen; strand=a.strand; w=write; out=a.gen.orient
  else gen=a.gen.gz; strand=a.strand.gz; w=write_gz; out=a.gen.orient.gz; fi

  case_start "$kind: complement, replaced entry, dropped tokens, SNP without entry"
  write_case_inputs $gen $strand $w $w
  run -O --g $gen --strand $strand
  expect_status 0
  expect_both <<EOF
varnex -O --g $gen --strand $strand
Processing strand file...
Unknown orientation: + x
Unknown orientation: ? 650
Processing GEN file...
0
No orientation for SNP: 700 S7 rs7
Input SNPs: 7 Output SNPs: 7
EOF
  expect_file $out < <(expected_plain_order)
  if [ $kind = gzip ]; then expect_gzip $out; else expect_plain $out; fi
  case_end

  case_start "$kind: --order after the complement, equal alleles kept"
  write_case_inputs $gen $strand $w $w
  run -O --g $gen --strand $strand --order --og o.txt
  expect_status 0
  if [ $kind = gzip ]; then
    # The gz input makes the output gzip, with ".gz" appended to its name.
    expect_absent o.txt
    expect_gzip o.txt.gz
    expect_file o.txt.gz < <(expected_alphabetical)
  else
    expect_plain o.txt
    expect_file o.txt < <(expected_alphabetical)
  fi
  case_end

  case_start "$kind: --excl leaves out SNPs without entry, counts both"
  write_case_inputs $gen $strand $w $w
  expect_run 0 -O --g $gen --strand $strand --excl --order <<EOF
Processing strand file...
Unknown orientation: + x
Unknown orientation: ? 650
Processing GEN file...
0
No orientation for SNP: 700 S7 rs7
Input SNPs: 7 Output SNPs: 6
EOF
  expect_file $out < <(expected_alphabetical | grep -v '^S7')
  case_end
done

case_start "plain input written gzip under a gz output name; gz strand file with plain GEN"
write_case_inputs a.gen a.strand.gz write write_gz
run -O --g a.gen --strand a.strand.gz --og out.gz.tmp
expect_status 0
expect_gzip out.gz.tmp
expect_file out.gz.tmp < <(expected_plain_order)
case_end

case_start "plain text under a gz name is not read as a strand file"
write a.gen <<'EOF'
S1 rs1 100 A G 1 0 0
EOF
write a.strand.gz <<'EOF'
100 -
EOF
expect_refused -O --g a.gen --strand a.strand.gz <<'EOF'
Processing strand file...
Can't read a.strand.gz
EOF
expect_absent a.gen.orient
case_end

case_start "counter every 1000 lines, on standard output only"
: > s.strand
: > big.gen
for i in $(seq 1 2001); do
  echo "$i +" >> s.strand
  echo "S$i rs$i $i A C 1 0 0" >> big.gen
done
run -O --g big.gen --strand s.strand
expect_status 0
expect_both <<'EOF'
varnex -O --g big.gen --strand s.strand
Processing strand file...
Processing GEN file...
0
1000
2000
Input SNPs: 2001 Output SNPs: 2001
EOF
expect_file big.gen.orient < big.gen
case_end

case_start "unreadable strand positions never become position 0"
write a.gen <<'EOF'
S0 rs0 0 A G 1 0 0
S1 rs1 -5 A G 1 0 0
EOF
write a.strand <<'EOF'
rs12 -
12x -

  
-5 -
+7 q
99999999999 +
EOF
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
expect_file a.gen.orient <<'EOF'
S1 rs1 -5 T C 1 0 0
EOF
case_end

case_start "GEN lines that are not SNPs are reported and left out"
write a.gen <<'EOF'
S1 rs1 100 A G 1 0 0

S2 rs2 abc A G 1 0 0
S3 rs3 100 A
S4 rs4 +0100 A G 1 0 0	
S5 rs5 100 C A 1 0.5 0.25
EOF
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
expect_file a.gen.orient <<'EOF'
S1 rs1 100 A G 1 0 0
S4 rs4 100 A G 1 0 0
S5 rs5 100 A C 0.25 0.5 1
EOF
case_end

case_start "empty gzip GEN gives an empty gzip output; CRLF lines lose the CR"
: | gzip -c > e.gen.gz
write e.strand <<'EOF'
100 -
EOF
expect_run 0 -O --g e.gen.gz --strand e.strand <<'EOF'
Processing strand file...
Processing GEN file...
Input SNPs: 0 Output SNPs: 0
EOF
expect_gzip e.gen.orient.gz
expect_file e.gen.orient.gz < /dev/null
printf 'S1 rs1 100 A G 1 0 0 0 1 0\r\nS2 rs2 100 G A 0 0 1\r\n' > crlf.gen
run -O --g crlf.gen --strand e.strand --order
expect_status 0
expect_file crlf.gen.orient <<'EOF'
S1 rs1 100 C T 0 0 1 0 1 0
S2 rs2 100 C T 0 0 1
EOF
case_end

case_start "missing strand file: nothing created"
tiny_inputs
run -O --g a.gen --strand nostrand
expect_status 1
expect_both <<'EOF'
varnex -O --g a.gen --strand nostrand
Processing strand file...
Can't open nostrand
EOF
expect_absent a.gen.orient
case_end

for gen in no.gen no.gen.gz; do
  case_start "missing GEN file $gen: no output left behind"
  tiny_inputs
  run -O --g $gen --strand a.strand
  expect_status 1
  expect_both <<EOF
varnex -O --g $gen --strand a.strand
Processing strand file...
Processing GEN file...
Can't open $gen
EOF
  expect_absent no.gen.orient
  expect_absent no.gen.orient.gz
  case_end
done

case_start "output in a missing directory"
tiny_inputs
expect_refused -O --g a.gen --strand a.strand --og nodir/out.gen <<'EOF'
Processing strand file...
Processing GEN file...
Can't open nodir/out.gen
EOF
case_end

case_start "output naming an input is refused before anything is written"
tiny_inputs
ln -s a.gen link.gen
run -O --g a.gen --strand a.strand --og ./link.gen
expect_status 1
expect_both <<'EOF'
varnex -O --g a.gen --strand a.strand --og ./link.gen
Output file ./link.gen is the same file as input a.gen
EOF
expect_file a.gen <<'EOF'
S1 rs1 100 A G 1 0 0
EOF
expect_refused -O --g a.gen --strand a.strand --og a.strand <<'EOF'
Output file a.strand is the same file as input a.strand
EOF
expect_file a.strand <<'EOF'
100 -
EOF
case_end

case_start "a failed write is reported and the partial output removed"
tiny_inputs
expect_refused -O --g a.gen --strand a.strand --og /dev/full <<'EOF'
Processing strand file...
Processing GEN file...
0
Can't write /dev/full
EOF
# A damaged gzip input stops the run; the unfinished output is removed.
head -c 40 "$REALDATA/gwasurvivr_impute2/impute_example.impute2.gz" > cut.gen.gz
write s.strand <<'EOF'
19459185 +
EOF
run -O --g cut.gen.gz --strand s.strand
expect_status 1
expect_absent cut.gen.orient.gz
case_end

case_start "real file: non-ACGT and multi-letter alleles, --order, --excl"
write t.strand <<'EOF'
1 -
14431347 -
14432618 -
14432918 +
14433624 -
14433659 -
14433758 -
EOF
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
write s.strand <<'EOF'
19459185 +
20095842 +
20097287 +
EOF
cp "$REALDATA/gwasurvivr_impute2/impute_example.impute2.gz" imp.gz
expect_run 0 -O --g imp.gz --strand s.strand --order <<'EOF'
Processing strand file...
Processing GEN file...
0
Input SNPs: 3 Output SNPs: 3
EOF
expect_gzip imp.orient.gz
expect_file imp.orient.gz < <(gzip -dc imp.gz)
case_end

finish
