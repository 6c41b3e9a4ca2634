# GEN to PED (-G): calling, MAP columns, SAMPLE columns, gzip, refusals.
# Expected files are written with "|" standing for a tab.
source "$(dirname "$0")/lib.sh"

# expect_tsv NAME: like expect_file, with every "|" of the here-document a tab.
expect_tsv() {
  sed 's/|/\t/g' > "$CASE_DIR/.tsv"
  expect_file "$1" < "$CASE_DIR/.tsv"
}
# Standard output and the log hold the same text.
expect_both() {
  cat > "$CASE_DIR/.both"
  expect_stdout < "$CASE_DIR/.both"
  expect_log < "$CASE_DIR/.both"
}
# samples NAME ID...: a SAMPLE file with the row "ID ID 0" for each ID.
samples() {
  local f=$1; shift
  { echo "ID_1 ID_2 missing"; echo "0 0 0"; for s in "$@"; do echo "$s $s 0"; done; } > "$f"
}
two_samples() { samples a.sample s1 s2; }
# one_snp NAME: one SNP called A A for both of two samples.
one_snp() { echo "1 rs1 100 A G 1 0 0 1 0 0" > "${1:-a.gen}"; }
# opening COMMAND SAMPLES SNPS BYTES: the messages up to "Gen...".
opening() {
  printf '%s\nCount SNPs and samples...\nNumber of samples: %s\nNumber of SNPs: %s\n' "$1" "$2" "$3"
  printf 'Sample...\nAssign memory for genotypes...%s\nGen...\n' "$4"
}

# ---------------------------------------------------------------- calling

# The same case on plain inputs and on gzip GEN and SAMPLE: a gzip GEN
# compresses both outputs, named after --ped/--map plus ".gz".
for z in "" .gz; do
  case_start "worked example${z:+, gzip GEN and SAMPLE: outputs compressed by the GEN name}"
  two_samples
  write a.gen <<'EOF'
1 rs1 1000 A G 0.95 0.05 0 0.1 0.8 0.1
2 rs2 2000 C T 0 0 1 0 1 0
EOF
  [ -z "$z" ] || gzip a.gen a.sample
  run -G --g a.gen$z --s a.sample$z --ped out.ped --map out.map
  expect_status 0
  { opening "varnex -G --g a.gen$z --s a.sample$z --ped out.ped --map out.map" 2 2 8
    echo "Missing data at locus: rs1 1000 s2"; echo "Number of missing loci: 1"; echo "Output..."; } | expect_both
  if [ -n "$z" ]; then
    expect_gzip out.ped.gz; expect_gzip out.map.gz; expect_absent out.ped
  else
    expect_plain out.map; expect_plain out.ped
  fi
  expect_tsv out.map$z <<'EOF'
1|rs1|0|1000
2|rs2|0|2000
EOF
  expect_tsv out.ped$z <<'EOF'
0|s1|0|0|-9|-9|A A|T T
1|s2|0|0|-9|-9|N N|C T
EOF
  case_end
done

case_start "a gzip SAMPLE alone leaves the outputs plain; default names"
samples a.sample s1; gzip a.sample
echo "1 rs1 1000 A G 0 0 1" > a.gen
run -G --g a.gen --s a.sample.gz
expect_status 0
expect_plain a.gen.ped
expect_tsv a.gen.ped <<'EOF'
0|s1|0|0|-9|-9|G G
EOF
case_end

case_start "threshold 0.9 is inclusive; tabs and runs of spaces separate fields"
samples a.sample s1 s2 s3 s4
printf '1\trs1  10 A C 0.9 0.1 0\t0.89 0.11 0   0 0.9 0.1 0 0.05 0.95\r\n' > a.gen
printf '1 rs2 20 A C 9e-1 1e-1 0 .5 .5 0 0 0 0 0 0 1.0\n' >> a.gen
run -G --g a.gen --s a.sample
expect_status 0
{ opening "varnex -G --g a.gen --s a.sample" 4 2 16; cat <<'EOF'; } | expect_both
Missing data at locus: rs1 10 s2
Missing data at locus: rs2 20 s2
Missing data at locus: rs2 20 s3
Number of missing loci: 3
Output...
EOF
expect_tsv a.gen.ped <<'EOF'
0|s1|0|0|-9|-9|A A|A A
1|s2|0|0|-9|-9|N N|N N
2|s3|0|0|-9|-9|A C|N N
3|s4|0|0|-9|-9|C C|C C
EOF
case_end

case_start "threshold 0.5: AA before AB before BB"
samples a.sample s1 s2 s3 s4
echo "1 rs1 10 A C 0.5 0.5 0 0.3 0.5 0.5 0 0.4 0.6 0.4 0.4 0.2" > a.gen
run -G --g a.gen --s a.sample --threshold 0.5
expect_status 0
expect_tsv a.gen.ped <<'EOF'
0|s1|0|0|-9|-9|A A
1|s2|0|0|-9|-9|A C
2|s3|0|0|-9|-9|C C
3|s4|0|0|-9|-9|N N
EOF
{ opening "varnex -G --g a.gen --s a.sample --threshold 0.5" 4 1 8
  echo "Missing data at locus: rs1 10 s4"; echo "Number of missing loci: 1"; echo "Output..."; } | expect_stdout
case_end

# ------------------------------------------------------------- MAP columns

# Columns 2-3 of each GEN line give the MAP's chromosome and name; first columns
# $1 $2 $3 of the three lines (the rest is fixed), then the expected MAP.
map_case() {
  case_start "$1"
  cat > "$CASE_DIR/.map"
  two_samples
  printf '%s 100 A G 1 0 0 1 0 0\n%s 200 A G 1 0 0 1 0 0\n%s 300 A G 1 0 0 1 0 0\n' "$2" "$3" "$4" > a.gen
  run -G --g a.gen --s a.sample
  expect_status 0
  expect_tsv a.gen.map < "$CASE_DIR/.map"
  case_end
}
map_case "every first column a chromosome code: MAP keeps both columns" "1 rs123" "2 snp_7" "X rs9" <<'EOF'
1|rs123|0|100
2|snp_7|0|200
X|rs9|0|300
EOF
map_case "one first column not a code: chromosome 0, names with rs kept" "1 rs123" "chr2 snp_7" "X rs9" <<'EOF'
0|rs123|0|100
0|chr2|0|200
0|rs9|0|300
EOF

case_start "--alleles; alleles other than A, C, G, T are written as they stand"
two_samples
write a.gen <<'EOF'
1 rs1 100 a CAA 1 0 0 0 1 0
1 rs2 200 0 I 0 0 1 0 0 0
1 rs3 300 D T 0 1 0 1 0 0
EOF
run -G --g a.gen --s a.sample --alleles
expect_status 0
expect_tsv a.gen.map <<'EOF'
1|rs1|0|100|a|CAA
1|rs2|0|200|0|I
1|rs3|0|300|D|T
EOF
expect_tsv a.gen.ped <<'EOF'
0|s1|0|0|-9|-9|a a|I I|D T
1|s2|0|0|-9|-9|a CAA|N N|D D
EOF
case_end

# ------------------------------------------------------- SAMPLE columns

case_start "sex from the first sex/gender column, phenotype by name, verbatim"
write a.sample <<'EOF'
ID_1 ID_2 missing gender sex bmi
0 0 0 D D P
f1 i1 0 2 1 27.3
f2 i2 0 female 2 NA
f3
EOF
echo "1 rs1 100 A G 1 0 0 1 0 0 1 0 0" > a.gen
run -G --g a.gen --s a.sample --phenotype bmi
expect_status 0
expect_tsv a.gen.ped <<'EOF'
0|f1|0|0|2|27.3|A A
1|f2|0|0|0|NA|A A
2|f3|0|0|-9|-9|A A
EOF
case_end

case_start "--sex wins over sex/gender; --phenotype naming the sex column"
write a.sample <<'EOF'
ID_1 ID_2 missing sex gender mysex
0 0 0 D D D
f1 i1 0 1 2 -9
EOF
echo "1 rs1 100 A G 1 0 0" > a.gen
run -G --g a.gen --s a.sample --sex mysex
expect_status 0
expect_tsv a.gen.ped <<'EOF'
0|f1|0|0|-9|-9|A A
EOF
run -G --g a.gen --s a.sample --phenotype sex
expect_status 0
expect_tsv a.gen.ped <<'EOF'
0|f1|0|0|2|1|A A
EOF
case_end

case_start "a blank SAMPLE row is an individual without ID; extra rows are ignored"
write a.sample <<'EOF'
ID_1 ID_2 missing
0 0 0
s1 s1 0

s3 s3 0
s4 s4 0
EOF
echo "1 rs1 100 A G 0 0 0 1 0 0 1 0 0" > a.gen
run -G --g a.gen --s a.sample
expect_status 0
{ opening "varnex -G --g a.gen --s a.sample" 3 1 6
  echo "Missing data at locus: rs1 100 s1"; echo "Number of missing loci: 1"; echo "Output..."; } | expect_stdout
expect_tsv a.gen.ped <<'EOF'
0|s1|0|0|-9|-9|N N
1||0|0|-9|-9|A A
2|s3|0|0|-9|-9|A A
EOF
case_end

case_start "an empty GEN file gives empty outputs"
two_samples
: > a.gen
run -G --g a.gen --s a.sample
expect_status 0
{ opening "varnex -G --g a.gen --s a.sample" 0 0 0
  echo "Number of missing loci: 0"; echo "Output..."; } | expect_both
expect_file a.gen.map < /dev/null
expect_file a.gen.ped < /dev/null
case_end

# ---------------------------------------------- input that cannot be converted

# fault GEN-FILE MESSAGE-LINES...: the run stops with these messages after
# "Count SNPs and samples..." and leaves no output behind.
fault() {
  local gen=$1; shift
  run -G --g "$gen" --s a.sample
  expect_status 1
  { echo "varnex -G --g $gen --s a.sample"; echo "Count SNPs and samples..."; printf '%s\n' "$@"; } | expect_both
  local f
  for f in "${gen%.gz}".{ped,map}{,.gz}; do expect_absent "$f"; done
}
fault_prefix() { opening "varnex -G --g c.gen --s a.sample" "$1" "$2" "$3" | tail -n +3; }

case_start "a line with fewer fields than the first stops the run, nothing left behind"
two_samples
write c.gen <<'EOF'
1 rs1 100 A G 1 0 0 1 0 0
1 rs2 200 A G 1 0 0 1 0
1 rs3 300 A G 1 0 0 1 0 0
EOF
mapfile -t pre < <(fault_prefix 2 3 12)
fault c.gen "${pre[@]}" "c.gen, line 2: 10 fields, line 1 has 11"
case_end

case_start "a line with more fields, and a blank line at the end, stop the run"
two_samples
echo "1 rs1 100 A G 1 0 0 1 0 0 1" > c.gen
fault c.gen "c.gen, line 1: 12 fields; a GEN line has 5, then 3 per sample"
printf '1 rs1 100 A G 1 0 0 1 0 0\n1 rs2 200 A G 1 0 0 1 0 0 1 0 0\n\n' > c.gen
mapfile -t pre < <(fault_prefix 2 3 12)
fault c.gen "${pre[@]}" "c.gen, line 2: 14 fields, line 1 has 11"
printf '1 rs1 100 A G 1 0 0 1 0 0\n\n' > c.gen
mapfile -t pre < <(fault_prefix 2 2 8)
fault c.gen "${pre[@]}" "c.gen, line 2: 0 fields, line 1 has 11"
case_end

case_start "a first line with fewer than five fields"
two_samples
echo "1 rs1 100 A" > c.gen
fault c.gen "c.gen, line 1: 4 fields; a GEN line has at least 5"
case_end

case_start "a probability that is not a number, after a missing call"
two_samples
write_gz c.gen.gz <<'EOF'
1 rs1 100 A G 0.5 0.5 0 1 0 0
1 rs2 200 A G 1 0 0 1 0.5x 0
EOF
mapfile -t pre < <(opening "varnex -G --g c.gen.gz --s a.sample" 2 2 8 | tail -n +3)
fault c.gen.gz "${pre[@]}" "Missing data at locus: rs1 100 s1" \
  'c.gen.gz, line 2: field 10, probability "0.5x" is not a number'
case_end

case_start "fewer SAMPLE rows than GEN samples"
samples a.sample s1
one_snp c.gen
fault c.gen "Number of samples: 2" "Number of SNPs: 1" "Sample..." \
  "a.sample, line 4: end of file, but c.gen has 2 samples"
case_end

# ------------------------------------------------------- files and refusals

case_start "inputs that cannot be opened"
two_samples
one_snp
run -G --g nope.gen --s a.sample
expect_status 1
printf 'varnex -G --g nope.gen --s a.sample\nCan'\''t open nope.gen\n' | expect_both
run -G --g a.gen --s nope.sample
expect_status 1
printf 'varnex -G --g a.gen --s nope.sample\nCan'\''t open nope.sample\n' | expect_both
expect_absent a.gen.ped
expect_absent a.gen.map
case_end

case_start "an output naming an input, or both outputs one file, is refused"
two_samples
one_snp
cp a.sample keep.sample
run -G --g a.gen --s a.sample --ped ./a.sample
expect_status 1
expect_both <<'EOF'
varnex -G --g a.gen --s a.sample --ped ./a.sample
Output file ./a.sample is the same file as input a.sample
EOF
cmp -s a.sample keep.sample || fail "a.sample was changed"
run -G --g a.gen --s a.sample --ped x --map x
expect_status 1
expect_both <<'EOF'
varnex -G --g a.gen --s a.sample --ped x --map x
Output file x is the same file as output x
EOF
expect_absent x
# The driver refuses this before the log is touched: the log keeps the last run.
run -G --g a.gen --s a.sample --map varnex.log
expect_status 1
expect_stdout <<'EOF'
Log file varnex.log is the same file as varnex.log
EOF
expect_log <<'EOF'
varnex -G --g a.gen --s a.sample --ped x --map x
Output file x is the same file as output x
EOF
case_end

case_start "an output that cannot be created or written; the other is removed"
two_samples
one_snp
run -G --g a.gen --s a.sample --ped no/such/dir.ped
expect_status 1
{ opening "varnex -G --g a.gen --s a.sample --ped no/such/dir.ped" 2 1 4
  echo "Can't open no/such/dir.ped"; } | expect_both
expect_absent a.gen.map
run -G --g a.gen --s a.sample --ped /dev/full
expect_status 1
{ opening "varnex -G --g a.gen --s a.sample --ped /dev/full" 2 1 4
  echo "Number of missing loci: 0"; echo "Output..."; echo "Can't write /dev/full"; } | expect_both
expect_absent a.gen.map
run -G --g a.gen --s a.sample --map /dev/full
expect_status 1
expect_absent a.gen.ped
case_end

# ------------------------------------------------------------- real files

case_start "real GEN: chromosomes 22, 23, 1; sex and phenotype columns; a 0 0 0 triple"
cp "$REALDATA/genotypeio_tests/test2.gen" "$REALDATA/genotypeio_tests/test2.sample" .
run -G --g test2.gen --s test2.sample --phenotype phenotype
expect_status 0
expect_both <<'EOF'
varnex -G --g test2.gen --s test2.sample --phenotype phenotype
Count SNPs and samples...
Number of samples: 9
Number of SNPs: 11
Sample...
Assign memory for genotypes...198
Gen...
Missing data at locus: rs7510853 14432918 F1050
Missing data at locus: rs1 1 F1042
Missing data at locus: rs1 1 F1043
Missing data at locus: rs1 1 F1044
Missing data at locus: rs1 1 F1045
Missing data at locus: rs1 1 F1046
Missing data at locus: rs1 1 F1047
Missing data at locus: rs1 1 F1048
Number of missing loci: 8
Output...
EOF
expect_tsv test2.gen.map <<'EOF'
22|rs11089130|0|14431347
22|rs738829|0|14432618
22|rs7510853|0|14432918
22|rs10154488|0|14433591
22|rs915674|0|14433624
22|rs915675|0|14433659
22|rs915677|0|14433758
22|rs9604721|0|14434713
22|rs2844884|0|14434719
23|rs12159982|0|14434960
1|rs1|0|1
EOF
expect_tsv test2.gen.ped <<'EOF'
0|F1042|0|0|1|0|C C|G G|C C|C C|G G|C C|G G|C C|C C|C C|N N
1|F1043|0|0|1|1|C G|A G|C C|C C|A G|C C|A G|C C|C C|C C|N N
2|F1044|0|0|1|2|G G|G G|C C|C C|G G|C C|G G|C C|C C|C C|N N
3|F1045|0|0|1|-9|C C|G G|C C|C C|G G|C C|G G|C C|C C|C C|N N
4|F1046|0|0|1|-9|C C|G G|C C|C C|G G|C C|G G|C C|C C|C C|N N
5|F1047|0|0|1|-9|C C|G G|C C|C C|A G|C C|G G|C C|C C|C C|N N
6|F1048|0|0|1|-9|C C|G G|C C|C C|G G|C C|G G|C C|C C|C C|N N
7|F1049|0|0|1|-9|C G|G G|C C|C C|G G|A C|G G|C C|C C|C C|T T
8|F1050|0|0|1|-9|C G|G G|N N|C C|A G|C C|G G|C C|C T|C C|T T
EOF
case_end

case_start "real GEN with indel and non-ACGT alleles, --alleles"
cp "$REALDATA/genotypeio_tests/test10.gen" "$REALDATA/genotypeio_tests/test2.sample" .
run -G --g test10.gen --s test2.sample --alleles
expect_status 0
expect_tsv test10.gen.map <<'EOF'
1|rs1|0|1|A|T
22|rs11089130|0|14431347|D|P
22|rs738829|0|14432618|T|W
22|rs7510853|0|14432918|C|C
22|rs915674|0|14433624|A|H
22|rs915675|0|14433659|AA|A
22|rs915677|0|14433758|A|G
22|rs9604721|0|14434713|CC|C
EOF
# The last three individuals, read from the file by hand.
tail -n 3 test10.gen.ped > last3
expect_tsv last3 <<'EOF'
6|F1048|0|0|1|-9|N N|D D|W W|C C|H H|A A|G G|CC CC
7|F1049|0|0|1|-9|T T|D P|W W|C C|H H|AA A|G G|CC CC
8|F1050|0|0|1|-9|T T|D P|W W|N N|A H|A A|G G|CC CC
EOF
case_end

case_start "real gzip IMPUTE2 output: no chromosome codes, many missing calls"
cp "$REALDATA/gwasurvivr_impute2/impute_example.impute2.gz" "$REALDATA/gwasurvivr_impute2/impute_example.impute2_sample" .
run -G --g impute_example.impute2.gz --s impute_example.impute2_sample
expect_status 0
grep -q '^Number of missing loci: 243$' stdout.txt || fail "243 missing calls expected"
expect_gzip impute_example.impute2.ped.gz
expect_tsv impute_example.impute2.map.gz <<'EOF'
0|rs34919020|0|19459185
0|rs8005305|0|20095842
0|rs757545375|0|20097287
EOF
gzip -dc impute_example.impute2.ped.gz | sed -n '3p;100p' > lines
expect_tsv lines <<'EOF'
2|3|0|0|2|-9|C T|G G|A A
99|100|0|0|2|-9|N N|N N|N N
EOF
case_end

case_start "real GEN of 500 samples: chromosome 01 is not a code, names without rs"
cp "$REALDATA/bgen_example_5col/example.gen" "$REALDATA/bgen_example_5col/example.sample" .
run -G --g example.gen --s example.sample
expect_status 0
grep -q '^Number of missing loci: 2992$' stdout.txt || fail "2992 missing calls expected"
grep -q '^Missing data at locus: RSID_2 2000 sample_001$' stdout.txt || fail "first missing call"
head -n 1 example.gen.map > first
expect_tsv first <<'EOF'
0|01|0|2000
EOF
[ "$(wc -l < example.gen.map)" -eq 199 ] || fail "199 MAP lines expected"
[ "$(wc -l < example.gen.ped)" -eq 500 ] || fail "500 PED lines expected"
head -n 1 example.gen.ped | cut -f 1-7 > first
expect_tsv first <<'EOF'
0|sample_001|0|0|-9|-9|N N
EOF
case_end

finish
