# Subset mode (-S): samples by identifier lists, SNPs by range, lists and
# missingness. Every expected text below is written out by hand.
source "$(dirname "$0")/lib.sh"

# Two samples; positions 99..201 and one negative.
write_a_gen() {
  cat > a.gen <<'EOF'
snp1 rs1 99 A G 1 0 0 0 1 0
snp2 rs2 100 A G 0.5 0.25 0.25 0.123456 0.876544 0
snp3 rs3 150 C T 0.00001 0.99996 0 1 0 0
snp4 rs4 200 A C 0 0 1 0.333333 0.333333 0.333334
snp5 rs5 201 G T 1 0 0 1 0 0
snp6 rs6 -5 A G 0 1 0 0 1 0
EOF
}

# Four GEN samples; the SAMPLE rows end at the blank line after the third.
write_b_pair() {
  cat > b.gen <<'EOF'
s1 r1 10 A G 1 0 0 0 1 0 0 0 1 0.2 0.3 0.5
s2 r2 20 A G 0 0 1 0.1 0.2 0.7 1 0 0 0 1 0
EOF
  printf 'ID_1 ID_2 missing sex\t\n0 0 0 D \nfam1 ind1 0 1  \nfam2 ind2 0.1\t2\nfam3 ind3 0 1\n\nfam4 ind4 0 1\n' > s.sample
}

# Samples 2 and 3 of the b pair: the GEN and SAMPLE subsets (names given).
expect_b_23() {
  expect_file "$1" <<'EOF'
s1 r1 10 A G 0 1 0 0 0 1 
s2 r2 20 A G 0.1000 0.2000 0.7000 1 0 0 
EOF
  printf 'ID_1 ID_2 missing sex\t\n0 0 0 D \nfam2 ind2 0.1\t2\nfam3 ind3 0 1\n' | expect_file "$2"
}

for kind in plain gzip; do
  case_start "range keeps both bounds, number style ($kind)"
  write_a_gen
  in=a.gen out=a.gen.subset
  if [ $kind = gzip ]; then gzip a.gen; in=a.gen.gz out=a.gen.subset.gz; fi
  expect_run 0 -S --g $in --start 100 --end 200 <<EOF
Output files: $out 
Number of input samples: 2
Number of output samples: 2
positions...
Gen...
Number of input SNPs: 6
Number of output SNPs: 3
EOF
  expect_log < stdout.txt
  expect_file $out <<'EOF'
snp2 rs2 100 A G 0.5000 0.2500 0.2500 0.1235 0.8765 0 
snp3 rs3 150 C T 0.0000 1.0000 0 1 0 0 
snp4 rs4 200 A C 0 0 1 0.3333 0.3333 0.3333 
EOF
  if [ $kind = gzip ]; then expect_gzip $out; else expect_plain $out; fi
  case_end
done

case_start "open range ends: --end alone starts at 0, --end 0 and --start alone have no upper bound"
write_a_gen
run -S --g a.gen --end 150
expect_status 0
expect_file a.gen.subset <<'EOF'
snp1 rs1 99 A G 1 0 0 0 1 0 
snp2 rs2 100 A G 0.5000 0.2500 0.2500 0.1235 0.8765 0 
snp3 rs3 150 C T 0.0000 1.0000 0 1 0 0 
EOF
run -S --g a.gen --end 0 --og zero.gen
expect_status 0
expect_file zero.gen <<'EOF'
snp1 rs1 99 A G 1 0 0 0 1 0 
snp2 rs2 100 A G 0.5000 0.2500 0.2500 0.1235 0.8765 0 
snp3 rs3 150 C T 0.0000 1.0000 0 1 0 0 
snp4 rs4 200 A C 0 0 1 0.3333 0.3333 0.3333 
snp5 rs5 201 G T 1 0 0 1 0 0 
EOF
run -S --g a.gen --start -10 --og neg.gen
expect_status 0
expect_file neg.gen <<'EOF'
snp1 rs1 99 A G 1 0 0 0 1 0 
snp2 rs2 100 A G 0.5000 0.2500 0.2500 0.1235 0.8765 0 
snp3 rs3 150 C T 0.0000 1.0000 0 1 0 0 
snp4 rs4 200 A C 0 0 1 0.3333 0.3333 0.3333 
snp5 rs5 201 G T 1 0 0 1 0 0 
snp6 rs6 -5 A G 0 1 0 0 1 0 
EOF
case_end

case_start "inclusion wins over range and exclusion; exclusion matches either identifier"
write_a_gen
printf 'rs1\nsnp4\n' > incl.txt
printf 'rs4 snp2\n' > excl.txt
expect_run 0 -S --g a.gen --start 100 --end 200 --inclusion incl.txt --exclusion excl.txt <<'EOF'
Output files: a.gen.subset 
Number of input samples: 2
Number of output samples: 2
positions...
Snp_id...
Exclusion...
Gen...
Number of input SNPs: 6
Number of output SNPs: 3
EOF
expect_file a.gen.subset <<'EOF'
snp1 rs1 99 A G 1 0 0 0 1 0 
snp3 rs3 150 C T 0.0000 1.0000 0 1 0 0 
snp4 rs4 200 A C 0 0 1 0.3333 0.3333 0.3333 
EOF
case_end

case_start "lists alone, read through gzip by their own names"
write_a_gen
printf 'rs1\nsnp4\n' | gzip > incl.gz
printf 'rs4 snp2\n' | gzip > excl.list.gz
run -S --g a.gen --inclusion incl.gz --og in.gen
expect_status 0
expect_file in.gen <<'EOF'
snp1 rs1 99 A G 1 0 0 0 1 0 
snp4 rs4 200 A C 0 0 1 0.3333 0.3333 0.3333 
EOF
expect_run 0 -S --g a.gen --exclusion excl.list.gz --og ex.gen <<'EOF'
Output files: ex.gen 
Number of input samples: 2
Number of output samples: 2
Exclusion...
Gen...
Number of input SNPs: 6
Number of output SNPs: 4
EOF
expect_file ex.gen <<'EOF'
snp1 rs1 99 A G 1 0 0 0 1 0 
snp3 rs3 150 C T 0.0000 1.0000 0 1 0 0 
snp5 rs5 201 G T 1 0 0 1 0 0 
snp6 rs6 -5 A G 0 1 0 0 1 0 
EOF
case_end

case_start "sample id list: either identifier, log-only lines, byte-exact SAMPLE copy, exclusion list ignored"
write_b_pair
printf 'ind2\nfam3 nobody\n' > ids.txt
printf 'ind2\n' > drop.txt
expect_run 0 -S --g b.gen --s s.sample --sample_id ids.txt --sample_excl drop.txt <<'EOF'
Output files: b.gen.subset s.sample.subset
Number of input samples: 4
Samples...
Number of output samples: 2
Gen...
Number of input SNPs: 2
Number of output SNPs: 2
EOF
printf '%s\n' \
  'varnex -S --g b.gen --s s.sample --sample_id ids.txt --sample_excl drop.txt' \
  'Output files: b.gen.subset s.sample.subset' \
  'Number of input samples: 4' \
  'Samples...' \
  'Number of samples in subset file: 3' \
  'sample_file: ind1' \
  'sample_file: ind2' \
  "ind2 1 fam2 ind2 0.1	2" \
  'sample_file: ind3' \
  'ind3 2 fam3 ind3 0 1' \
  'Number of output samples: 2' \
  'Gen...' \
  'Number of input SNPs: 2' \
  'Number of output SNPs: 2' > expected_log.txt
expect_log < expected_log.txt
expect_b_23 b.gen.subset s.sample.subset
case_end

case_start "empty id list: the exclusion list applies; both empty keep every row up to the blank line"
write_b_pair
: > empty.txt
printf 'fam1\n' > drop.txt
run -S --g b.gen --s s.sample --sample_id empty.txt --sample_excl drop.txt
expect_status 0
expect_log <<'EOF'
varnex -S --g b.gen --s s.sample --sample_id empty.txt --sample_excl drop.txt
Output files: b.gen.subset s.sample.subset
Number of input samples: 4
Samples...
Number of samples in subset file: 0
Number of output samples: 2
Gen...
Number of input SNPs: 2
Number of output SNPs: 2
EOF
expect_b_23 b.gen.subset s.sample.subset
expect_run 0 -S --g b.gen --s s.sample --sample_excl empty.txt --og all.gen --os all.sample <<'EOF'
Output files: all.gen all.sample
Number of input samples: 4
Samples...
Number of output samples: 3
Gen...
Number of input SNPs: 2
Number of output SNPs: 2
EOF
expect_file all.gen <<'EOF'
s1 r1 10 A G 1 0 0 0 1 0 0 0 1 
s2 r2 20 A G 0 0 1 0.1000 0.2000 0.7000 1 0 0 
EOF
expect_file all.sample < <(printf 'ID_1 ID_2 missing sex\t\n0 0 0 D \nfam1 ind1 0 1  \nfam2 ind2 0.1\t2\nfam3 ind3 0 1\n')
case_end

case_start "missingness: strict comparisons at the threshold and the limit, unselected samples count"
cat > c.gen <<'EOF'
m1 r1 1 A G 0.9 0.05 0.05 0.5 0.3 0.2 1 0 0 0 0 1
m2 r2 2 A G 0.5 0.3 0.2 0.5 0.3 0.2 1 0 0 0 0 1
EOF
expect_run 0 -S --g c.gen --missing 0.25 --threshold 0.9 <<'EOF'
Output files: c.gen.subset 
Number of input samples: 4
Number of output samples: 4
Gen...
Number of input SNPs: 2
Number of output SNPs: 1
EOF
expect_file c.gen.subset <<'EOF'
m1 r1 1 A G 0.9000 0.0500 0.0500 0.5000 0.3000 0.2000 1 0 0 0 0 1 
EOF
cat > c.sample <<'EOF'
ID_1 ID_2 missing
0 0 0
a1 a1 0
a2 a2 0
a3 a3 0
a4 a4 0
EOF
printf 'a1 a2\n' > first_two.txt
expect_run 0 -S --g c.gen --s c.sample --sample_excl first_two.txt --missing 0.2 --threshold 0.9 --og c.out <<'EOF'
Output files: c.out c.sample.subset
Number of input samples: 4
Samples...
Number of output samples: 2
Gen...
Number of input SNPs: 2
Number of output SNPs: 0
EOF
expect_file c.out < /dev/null
case_end

case_start "gz GEN name compresses both outputs, the driver adds .gz to their names"
write_b_pair
gzip -c b.gen > x.gz.gen
printf 'ind1\n' > drop.txt
expect_run 0 -S --g x.gz.gen --s s.sample --sample_excl drop.txt --og y.gen --os z.sample <<'EOF'
Output files: y.gen.gz z.sample.gz
Number of input samples: 4
Samples...
Number of output samples: 2
Gen...
Number of input SNPs: 2
Number of output SNPs: 2
EOF
expect_gzip y.gen.gz
expect_gzip z.sample.gz
expect_b_23 y.gen.gz z.sample.gz
case_end

case_start "samples counted by fields: tabs, double spaces and a CR add no phantom samples"
printf 'd1  r1\t5 A G  1 0 0\t0 1 0  \r\nd2 r2 6 A G 0 0 1 1 0 0\n' > d.gen
expect_run 0 -S --g d.gen --start 0 <<'EOF'
Output files: d.gen.subset 
Number of input samples: 2
Number of output samples: 2
positions...
Gen...
Number of input SNPs: 2
Number of output SNPs: 2
EOF
expect_file d.gen.subset <<'EOF'
d1 r1 5 A G 1 0 0 0 1 0 
d2 r2 6 A G 0 0 1 1 0 0 
EOF
case_end

case_start "short lines read as zeros; an empty first line gives -1 and no probabilities"
cat > f.gen <<'EOF'
f1 r1 5 A G 1 0 0 0 1 0 0 0 1
f2 r2 6 A G 0.5 0.5
f3 r3 7 A G 1 0 0 0 1 0 0 0 1 1 1 1
EOF
run -S --g f.gen --start 0
expect_status 0
expect_file f.gen.subset <<'EOF'
f1 r1 5 A G 1 0 0 0 1 0 0 0 1 
f2 r2 6 A G 0.5000 0.5000 0 0 0 0 0 0 0 
f3 r3 7 A G 1 0 0 0 1 0 0 0 1 
EOF
printf '\ne1 r1 5 A G 1 0 0\n' > e.gen
expect_run 0 -S --g e.gen --start 0 <<'EOF'
Output files: e.gen.subset 
Number of input samples: -1
Number of output samples: -1
positions...
Gen...
Number of input SNPs: 1
Number of output SNPs: 1
EOF
expect_file e.gen.subset <<'EOF'
e1 r1 5 A G 
EOF
case_end

case_start "every named input that cannot be opened stops the run before any output"
write_a_gen
write_b_pair
printf 'ind1\n' > ids.txt
expect_refused -S --g b.gen --s s.sample --sample_id missing.txt <<'EOF'
Output files: b.gen.subset s.sample.subset
Can't open missing.txt
EOF
expect_log < stdout.txt
expect_absent b.gen.subset
expect_absent s.sample.subset
expect_refused -S --g b.gen --s nosuch.sample --sample_id ids.txt <<'EOF'
Output files: b.gen.subset nosuch.sample.subset
Can't open nosuch.sample
EOF
expect_refused -S --g nosuch.gen --start 1 <<'EOF'
Output files: nosuch.gen.subset 
Can't open nosuch.gen
EOF
mkdir lists
expect_refused -S --g a.gen --exclusion lists <<'EOF'
Output files: a.gen.subset 
Can't open lists
EOF
expect_refused -S --g a.gen --inclusion lists/none.gz <<'EOF'
Output files: a.gen.subset 
Can't open lists/none.gz
EOF
expect_absent a.gen.subset
case_end

case_start "an output that is an input is refused and the input kept"
write_a_gen
cp a.gen a.orig
write_b_pair
printf 'ind1\n' > ids.txt
expect_refused -S --g a.gen --og ./a.gen --start 1 <<'EOF'
Output files: ./a.gen 
Output file ./a.gen is the same file as input a.gen
EOF
cmp -s a.gen a.orig || fail "a.gen was changed"
cp s.sample s.orig
expect_refused -S --g b.gen --s s.sample --sample_id ids.txt --os s.sample <<'EOF'
Output files: b.gen.subset s.sample
Output file s.sample is the same file as input s.sample
EOF
cmp -s s.sample s.orig || fail "s.sample was changed"
expect_absent b.gen.subset
expect_refused -S --g b.gen --s s.sample --sample_id ids.txt --og ids.txt <<'EOF'
Output files: ids.txt s.sample.subset
Output file ids.txt is the same file as input ids.txt
EOF
expect_refused -S --g b.gen --s s.sample --sample_id ids.txt --og same.out --os same.out <<'EOF'
Output files: same.out same.out
Output files same.out and same.out are the same file
EOF
expect_absent same.out
case_end

case_start "a failed write is reported and exits 1"
write_a_gen
expect_refused -S --g a.gen --og /dev/full --start 0 <<'EOF'
Output files: /dev/full 
Number of input samples: 2
Number of output samples: 2
positions...
Gen...
Can't write /dev/full
EOF
case_end

case_start "a damaged gzip GEN file stops the run and leaves no output"
write_b_pair
printf 'ind1\n' > ids.txt
seq 1 60000 | awk '{ print "s" $1, "r" $1, $1, "A G 1 0 0 0 1 0 0.25 0.5 0.25 0 0 1" }' | gzip > whole.gen.gz
size=$(wc -c < whole.gen.gz)
head -c $((size - 100)) whole.gen.gz > cut.gen.gz
expect_refused -S --g cut.gen.gz --s s.sample --sample_id ids.txt --start 0 <<'EOF'
Output files: cut.gen.subset.gz s.sample.subset.gz
Number of input samples: 4
Samples...
Number of output samples: 1
positions...
Gen...
Can't read cut.gen.gz
EOF
expect_absent cut.gen.subset.gz
expect_absent s.sample.subset.gz
case_end

case_start "real data: Genotype-IO test2 pair, ids by either identifier, range with inclusion and exclusion"
cp "$REALDATA/genotypeio_tests/test2.gen" "$REALDATA/genotypeio_tests/test2.sample" .
printf '1042\nF1050 nobody\n' > ids.txt
printf 'rs1\n' > incl.txt
printf 'rs915675\n' > excl.txt
expect_run 0 -S --g test2.gen --s test2.sample --sample_id ids.txt --start 14433600 --end 14434713 --inclusion incl.txt --exclusion excl.txt <<'EOF'
Output files: test2.gen.subset test2.sample.subset
Number of input samples: 9
Samples...
Number of output samples: 2
positions...
Snp_id...
Exclusion...
Gen...
Number of input SNPs: 11
Number of output SNPs: 4
EOF
expect_log <<'EOF'
varnex -S --g test2.gen --s test2.sample --sample_id ids.txt --start 14433600 --end 14434713 --inclusion incl.txt --exclusion excl.txt
Output files: test2.gen.subset test2.sample.subset
Number of input samples: 9
Samples...
Number of samples in subset file: 3
sample_file: 1042
1042 0 F1042 1042 0 1 0
sample_file: 1043
sample_file: 1044
sample_file: 1045
sample_file: 1046
sample_file: 1047
sample_file: 1048
sample_file: 1049
sample_file: 1050
1050 8 F1050 1050 0.1 1 -9
Number of output samples: 2
positions...
Snp_id...
Exclusion...
Gen...
Number of input SNPs: 11
Number of output SNPs: 4
EOF
expect_file test2.gen.subset <<'EOF'
22 rs915674 14433624 A G 0 0 1 0 1 0 
22 rs915677 14433758 A G 0 0 1 0 0 1 
22 rs9604721 14434713 C C 1 0 0 1 0 0 
1 rs1 1 A T 0.5000 0.2500 0.2500 0.0100 0.0010 0.9890 
EOF
expect_file test2.sample.subset <<'EOF'
ID_1 ID_2 missing sex phenotype
0 0 0 D P
F1042 1042 0 1 0
F1050 1050 0.1 1 -9
EOF
case_end

finish
