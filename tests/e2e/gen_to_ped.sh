# GEN to PED (-G): calling, MAP columns, SAMPLE columns, gzip, refusals.
# Expected rows are written with "|" standing for a tab.
source "$(dirname "$0")/lib.sh"

lines() { printf '%s\n' "$@"; }
# expect_rows NAME [ROW...]: the file holds these rows (or the here-document),
# every "|" a tab.
expect_rows() {
  local f=$1; shift
  if [ $# -gt 0 ]; then lines "$@"; else cat; fi | tr '|' '\t' | expect_file "$f"
}
# Standard output and the log hold the same text.
expect_both() {
  cat > "$CASE_DIR/.both"
  expect_stdout < "$CASE_DIR/.both"
  expect_log < "$CASE_DIR/.both"
}
run_ok() { run "$@"; expect_status 0; }
# refused MESSAGE ARGS...: exit 1; standard output and the log are the command, then MESSAGE.
refused() { local m=$1; shift; run "$@"; expect_status 1; lines "varnex $*" "$m" | expect_both; }
# samples NAME ID...: a SAMPLE file with the row "ID ID 0" for each ID.
samples() {
  local f=$1; shift
  { echo "ID_1 ID_2 missing"; echo "0 0 0"; for s in "$@"; do echo "$s $s 0"; done; } > "$f"
}
# one_snp NAME: one SNP called A A for both of two samples.
one_snp() { echo "1 rs1 100 A G 1 0 0 1 0 0" > "${1:-a.gen}"; }
# counted SAMPLES SNPS BYTES: the messages after "Count SNPs and samples..."
# up to "Gen..."; opening COMMAND SAMPLES SNPS BYTES: from the command on.
counted() {
  lines "Number of samples: $1" "Number of SNPs: $2" "Sample..." \
    "Assign memory for genotypes...$3" "Gen..."
}
opening() { lines "$1" "Count SNPs and samples..."; counted "$2" "$3" "$4"; }
# closing "SNP POSITION ID"...: the missing calls, their count, "Output...".
closing() {
  [ $# -eq 0 ] || printf 'Missing data at locus: %s\n' "$@"
  lines "Number of missing loci: $#" "Output..."
}

# ---------------------------------------------------------------- calling

# The same case on plain inputs and on gzip GEN and SAMPLE: a gzip GEN
# compresses both outputs, named after --ped/--map plus ".gz".
for z in "" .gz; do
  case_start "worked example${z:+, gzip GEN and SAMPLE: outputs compressed by the GEN name}"
  samples a.sample s1 s2
  lines "1 rs1 1000 A G 0.95 0.05 0 0.1 0.8 0.1" "2 rs2 2000 C T 0 0 1 0 1 0" > a.gen
  [ -z "$z" ] || gzip a.gen a.sample
  run_ok -G --g a.gen$z --s a.sample$z --ped out.ped --map out.map
  { opening "varnex -G --g a.gen$z --s a.sample$z --ped out.ped --map out.map" 2 2 8
    closing "rs1 1000 s2"; } | expect_both
  if [ -n "$z" ]; then expect_gzip out.ped.gz; expect_gzip out.map.gz; expect_absent out.ped
  else expect_plain out.map; expect_plain out.ped; fi
  expect_rows out.map$z '1|rs1|0|1000' '2|rs2|0|2000'
  expect_rows out.ped$z '0|s1|0|0|-9|-9|A A|T T' '1|s2|0|0|-9|-9|N N|C T'
  case_end
done

case_start "a gzip SAMPLE alone leaves the outputs plain; default names"
samples a.sample s1; gzip a.sample
echo "1 rs1 1000 A G 0 0 1" > a.gen
run_ok -G --g a.gen --s a.sample.gz
expect_plain a.gen.ped
expect_rows a.gen.ped '0|s1|0|0|-9|-9|G G'
case_end

case_start "threshold 0.9 is inclusive; tabs and runs of spaces separate fields"
samples a.sample s1 s2 s3 s4
printf '1\trs1  10 A C 0.9 0.1 0\t0.89 0.11 0   0 0.9 0.1 0 0.05 0.95\r\n' > a.gen
printf '1 rs2 20 A C 9e-1 1e-1 0 .5 .5 0 0 0 0 0 0 1.0\n' >> a.gen
run_ok -G --g a.gen --s a.sample
{ opening "varnex -G --g a.gen --s a.sample" 4 2 16
  closing "rs1 10 s2" "rs2 20 s2" "rs2 20 s3"; } | expect_both
expect_rows a.gen.ped '0|s1|0|0|-9|-9|A A|A A' '1|s2|0|0|-9|-9|N N|N N' \
  '2|s3|0|0|-9|-9|A C|N N' '3|s4|0|0|-9|-9|C C|C C'
case_end

case_start "threshold 0.5: AA before AB before BB"
samples a.sample s1 s2 s3 s4
echo "1 rs1 10 A C 0.5 0.5 0 0.3 0.5 0.5 0 0.4 0.6 0.4 0.4 0.2" > a.gen
run_ok -G --g a.gen --s a.sample --threshold 0.5
expect_rows a.gen.ped '0|s1|0|0|-9|-9|A A' '1|s2|0|0|-9|-9|A C' '2|s3|0|0|-9|-9|C C' '3|s4|0|0|-9|-9|N N'
{ opening "varnex -G --g a.gen --s a.sample --threshold 0.5" 4 1 8; closing "rs1 10 s4"; } | expect_stdout
case_end

# ------------------------------------------------------------- MAP columns

# Columns 2-3 of each GEN line give the MAP's chromosome and name: the first
# columns of three lines (the rest is fixed), then the expected MAP rows.
map_case() {
  case_start "$1"
  samples a.sample s1 s2
  printf '%s 100 A G 1 0 0 1 0 0\n%s 200 A G 1 0 0 1 0 0\n%s 300 A G 1 0 0 1 0 0\n' "$2" "$3" "$4" > a.gen
  run_ok -G --g a.gen --s a.sample
  expect_rows a.gen.map "${@:5}"
  case_end
}
map_case "every first column a chromosome code: MAP keeps both columns" "1 rs123" "2 snp_7" "X rs9" \
  '1|rs123|0|100' '2|snp_7|0|200' 'X|rs9|0|300'
map_case "one first column not a code: chromosome 0, names with rs kept" "1 rs123" "chr2 snp_7" "X rs9" \
  '0|rs123|0|100' '0|chr2|0|200' '0|rs9|0|300'

case_start "--alleles; alleles other than A, C, G, T are written as they stand"
samples a.sample s1 s2
lines "1 rs1 100 a CAA 1 0 0 0 1 0" "1 rs2 200 0 I 0 0 1 0 0 0" "1 rs3 300 D T 0 1 0 1 0 0" > a.gen
run_ok -G --g a.gen --s a.sample --alleles
expect_rows a.gen.map '1|rs1|0|100|a|CAA' '1|rs2|0|200|0|I' '1|rs3|0|300|D|T'
expect_rows a.gen.ped '0|s1|0|0|-9|-9|a a|I I|D T' '1|s2|0|0|-9|-9|a CAA|N N|D D'
case_end

# ------------------------------------------------------- SAMPLE columns

case_start "sex from the first sex/gender column or --sex, phenotype by name, verbatim"
lines "ID_1 ID_2 missing gender sex bmi" "0 0 0 D D P" "f1 i1 0 2 1 27.3" "f2 i2 0 female 2 NA" "f3" > a.sample
echo "1 rs1 100 A G 1 0 0 1 0 0 1 0 0" > a.gen
run_ok -G --g a.gen --s a.sample --phenotype bmi
expect_rows a.gen.ped '0|f1|0|0|2|27.3|A A' '1|f2|0|0|0|NA|A A' '2|f3|0|0|-9|-9|A A'
# --sex wins over sex/gender; --phenotype naming the sex column.
lines "ID_1 ID_2 missing sex gender mysex" "0 0 0 D D D" "f1 i1 0 1 2 -9" > a.sample
echo "1 rs1 100 A G 1 0 0" > a.gen
run_ok -G --g a.gen --s a.sample --sex mysex
expect_rows a.gen.ped '0|f1|0|0|-9|-9|A A'
run_ok -G --g a.gen --s a.sample --phenotype sex
expect_rows a.gen.ped '0|f1|0|0|2|1|A A'
case_end

case_start "a blank SAMPLE row is an individual without ID; extra rows are ignored"
lines "ID_1 ID_2 missing" "0 0 0" "s1 s1 0" "" "s3 s3 0" "s4 s4 0" > a.sample
echo "1 rs1 100 A G 0 0 0 1 0 0 1 0 0" > a.gen
run_ok -G --g a.gen --s a.sample
{ opening "varnex -G --g a.gen --s a.sample" 3 1 6; closing "rs1 100 s1"; } | expect_stdout
expect_rows a.gen.ped '0|s1|0|0|-9|-9|N N' '1||0|0|-9|-9|A A' '2|s3|0|0|-9|-9|A A'
case_end

# ---------------------------------------------- input that cannot be converted

# fault GEN-FILE: the run stops with the messages of the here-document after
# "Count SNPs and samples..." and leaves no output behind.
fault() {
  local gen=$1 f
  cat > "$CASE_DIR/.fault"
  run -G --g "$gen" --s a.sample
  expect_status 1
  { lines "varnex -G --g $gen --s a.sample" "Count SNPs and samples..."; cat "$CASE_DIR/.fault"; } | expect_both
  for f in "${gen%.gz}".{ped,map}{,.gz}; do expect_absent "$f"; done
}

case_start "lines with fewer or more fields than the first, a blank last line, a first line of four"
samples a.sample s1 s2
lines "1 rs1 100 A G 1 0 0 1 0 0" "1 rs2 200 A G 1 0 0 1 0" "1 rs3 300 A G 1 0 0 1 0 0" > c.gen
{ counted 2 3 12; echo "c.gen, line 2: 10 fields, line 1 has 11"; } | fault c.gen
echo "1 rs1 100 A G 1 0 0 1 0 0 1" > c.gen
echo "c.gen, line 1: 12 fields; a GEN line has 5, then 3 per sample" | fault c.gen
lines "1 rs1 100 A G 1 0 0 1 0 0" "1 rs2 200 A G 1 0 0 1 0 0 1 0 0" "" > c.gen
{ counted 2 3 12; echo "c.gen, line 2: 14 fields, line 1 has 11"; } | fault c.gen
lines "1 rs1 100 A G 1 0 0 1 0 0" "" > c.gen
{ counted 2 2 8; echo "c.gen, line 2: 0 fields, line 1 has 11"; } | fault c.gen
echo "1 rs1 100 A" > c.gen
echo "c.gen, line 1: 4 fields; a GEN line has at least 5" | fault c.gen
case_end

case_start "a probability that is not a number, after a missing call; fewer SAMPLE rows than GEN samples"
samples a.sample s1 s2
lines "1 rs1 100 A G 0.5 0.5 0 1 0 0" "1 rs2 200 A G 1 0 0 1 0.5x 0" | gzip -c > c.gen.gz
{ counted 2 2 8; lines "Missing data at locus: rs1 100 s1" \
  'c.gen.gz, line 2: field 10, probability "0.5x" is not a number'; } | fault c.gen.gz
# Fewer SAMPLE rows than GEN samples.
samples a.sample s1
one_snp c.gen
lines "Number of samples: 2" "Number of SNPs: 1" "Sample..." \
  "a.sample, line 4: end of file, but c.gen has 2 samples" | fault c.gen
case_end

# ------------------------------------------------------- files and refusals

case_start "inputs that cannot be opened, outputs naming an input or each other: refused, nothing written"
samples a.sample s1 s2
one_snp
refused "Can't open nope.gen" -G --g nope.gen --s a.sample
refused "Can't open nope.sample" -G --g a.gen --s nope.sample
# An output naming an input, or both outputs one file.
cp a.sample keep.sample
run -G --g a.gen --s a.sample --ped ./a.sample; expect_status 1; echo "Output file ./a.sample is the same file as input a.sample" | expect_stdout
cmp -s a.sample keep.sample || fail "a.sample was changed"
run -G --g a.gen --s a.sample --ped x --map x; expect_status 1; echo "Output file x is the same file as x" | expect_stdout
for f in x a.gen.ped a.gen.map; do expect_absent $f; done
# The driver refuses this before the log is touched: the log keeps the last run.
run -G --g a.gen --s a.sample --map varnex.log
expect_status 1
echo "Log file varnex.log is the same file as varnex.log" | expect_stdout
lines "varnex -G --g a.gen --s nope.sample" "Can't open nope.sample" | expect_log
case_end

# ------------------------------------------------------------- real files

case_start "real GEN: chromosomes 22, 23, 1; sex and phenotype columns; a 0 0 0 triple; indels with --alleles"
cp "$REALDATA/genotypeio_tests/test2.gen" "$REALDATA/genotypeio_tests/test2.sample" .
run_ok -G --g test2.gen --s test2.sample --phenotype phenotype
{ opening "varnex -G --g test2.gen --s test2.sample --phenotype phenotype" 9 11 198
  closing "rs7510853 14432918 F1050" "rs1 1 F1042" "rs1 1 F1043" "rs1 1 F1044" "rs1 1 F1045" \
    "rs1 1 F1046" "rs1 1 F1047" "rs1 1 F1048"; } | expect_both
expect_rows test2.gen.map <<'EOF'
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
expect_rows test2.gen.ped <<'EOF'
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
# Indel and non-ACGT alleles, --alleles.
cp "$REALDATA/genotypeio_tests/test10.gen" .
run_ok -G --g test10.gen --s test2.sample --alleles
expect_rows test10.gen.map <<'EOF'
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
expect_rows last3 <<'EOF'
6|F1048|0|0|1|-9|N N|D D|W W|C C|H H|A A|G G|CC CC
7|F1049|0|0|1|-9|T T|D P|W W|C C|H H|AA A|G G|CC CC
8|F1050|0|0|1|-9|T T|D P|W W|N N|A H|A A|G G|CC CC
EOF
case_end

case_start "real gzip IMPUTE2 output: no chromosome codes, many missing calls"
cp "$REALDATA/gwasurvivr_impute2/impute_example.impute2.gz" "$REALDATA/gwasurvivr_impute2/impute_example.impute2_sample" .
run_ok -G --g impute_example.impute2.gz --s impute_example.impute2_sample
grep -q '^Number of missing loci: 243$' stdout.txt || fail "243 missing calls expected"
expect_gzip impute_example.impute2.ped.gz
expect_rows impute_example.impute2.map.gz '0|rs34919020|0|19459185' '0|rs8005305|0|20095842' '0|rs757545375|0|20097287'
gzip -dc impute_example.impute2.ped.gz | sed -n '3p;100p' > lines
expect_rows lines '2|3|0|0|2|-9|C T|G G|A A' '99|100|0|0|2|-9|N N|N N|N N'
case_end

case_start "real GEN of 500 samples: chromosome 01 is not a code, names without rs"
cp "$REALDATA/bgen_example_5col/example.gen" "$REALDATA/bgen_example_5col/example.sample" .
run_ok -G --g example.gen --s example.sample
grep -q '^Number of missing loci: 2992$' stdout.txt || fail "2992 missing calls expected"
grep -q '^Missing data at locus: RSID_2 2000 sample_001$' stdout.txt || fail "first missing call"
head -n 1 example.gen.map > first
expect_rows first '0|01|0|2000'
[ "$(wc -l < example.gen.map)" -eq 199 ] || fail "199 MAP lines expected"
[ "$(wc -l < example.gen.ped)" -eq 500 ] || fail "500 PED lines expected"
head -n 1 example.gen.ped | cut -f 1-7 > first
expect_rows first '0|sample_001|0|0|-9|-9|N N'
case_end

finish
