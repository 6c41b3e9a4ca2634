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
# a_out N...: lines N of a.gen as a subset keeping both samples writes them.
A_OUT=('' 'snp1 rs1 99 A G 1 0 0 0 1 0 '
  'snp2 rs2 100 A G 0.5000 0.2500 0.2500 0.1235 0.8765 0 '
  'snp3 rs3 150 C T 0.0000 1.0000 0 1 0 0 '
  'snp4 rs4 200 A C 0 0 1 0.3333 0.3333 0.3333 '
  'snp5 rs5 201 G T 1 0 0 1 0 0 '
  'snp6 rs6 -5 A G 0 1 0 0 1 0 ')
a_out() { local i; for i; do printf '%s\n' "${A_OUT[$i]}"; done; }
# keeps OUTPUT "N..." ARGS...: varnex ARGS exits 0 and OUTPUT holds a_out N...
keeps() {
  local out=$1 lines=$2
  shift 2
  run "$@"
  expect_status 0
  # shellcheck disable=SC2086
  a_out $lines | expect_file "$out"
}

# Four GEN samples; the SAMPLE rows end at the blank line after the third.
B_SAMPLE=$'ID_1 ID_2 missing sex\t\n0 0 0 D \nfam1 ind1 0 1  \nfam2 ind2 0.1\t2\nfam3 ind3 0 1\n\nfam4 ind4 0 1\n'
write_b_pair() {
  cat > b.gen <<'EOF'
s1 r1 10 A G 1 0 0 0 1 0 0 0 1 0.2 0.3 0.5
s2 r2 20 A G 0 0 1 0.1 0.2 0.7 1 0 0 0 1 0
EOF
  printf '%s' "$B_SAMPLE" > s.sample
}

# Samples 2 and 3 of the b pair: the GEN and SAMPLE subsets (names given).
expect_b_23() {
  expect_file "$1" <<'EOF'
s1 r1 10 A G 0 1 0 0 0 1 
s2 r2 20 A G 0.1000 0.2000 0.7000 1 0 0 
EOF
  printf 'ID_1 ID_2 missing sex\t\n0 0 0 D \nfam2 ind2 0.1\t2\nfam3 ind3 0 1\n' | expect_file "$2"
}

# says OUTPUTS SAMPLES_IN SAMPLES_OUT SNPS_IN SNPS_OUT [MARKER...]: what a run
# that succeeds prints: "Output files: OUTPUTS", the sample counts with the
# marker "Samples..." between them, the other markers (positions...,
# Snp_id..., Exclusion...) after them, "Gen..." and the SNP counts.
says() {
  local outputs=$1 s_in=$2 s_out=$3 n_in=$4 n_out=$5 m
  shift 5
  echo "Output files: $outputs"
  echo "Number of input samples: $s_in"
  for m; do [ "$m" = Samples... ] && echo "$m"; done
  echo "Number of output samples: $s_out"
  for m; do [ "$m" = Samples... ] || echo "$m"; done
  printf 'Gen...\nNumber of input SNPs: %s\nNumber of output SNPs: %s\n' "$n_in" "$n_out"
}

# logged ARGS LINE...: the log of a run of ARGS whose standard output is
# standard input: the echo first, the log-only LINEs after "Samples...".
logged() {
  local args=$1 l
  shift
  echo "varnex $args"
  while IFS= read -r l; do
    echo "$l"
    if [ "$l" = Samples... ]; then printf '%s\n' "$@"; fi
  done
}

for kind in plain gzip; do
  case_start "range keeps both bounds, number style ($kind)"
  write_a_gen
  in=a.gen out=a.gen.subset
  if [ $kind = gzip ]; then gzip a.gen; in=a.gen.gz out=a.gen.subset.gz; fi
  says "$out " 2 2 6 3 positions... | expect_run 0 -S --g $in --start 100 --end 200
  expect_log < stdout.txt
  a_out 2 3 4 | expect_file $out
  if [ $kind = gzip ]; then expect_gzip $out; else expect_plain $out; fi
  case_end
done

case_start "open range ends: --end alone starts at 0, --end 0 and --start alone have no upper bound"
write_a_gen
keeps a.gen.subset "1 2 3" -S --g a.gen --end 150
keeps zero.gen "1 2 3 4 5" -S --g a.gen --end 0 --og zero.gen
keeps neg.gen "1 2 3 4 5 6" -S --g a.gen --start -10 --og neg.gen
case_end

case_start "inclusion wins over range and exclusion; exclusion matches either identifier"
write_a_gen
printf 'rs1\nsnp4\n' > incl.txt
printf 'rs4 snp2\n' > excl.txt
says "a.gen.subset " 2 2 6 3 positions... Snp_id... Exclusion... |
  expect_run 0 -S --g a.gen --start 100 --end 200 --inclusion incl.txt --exclusion excl.txt
a_out 1 3 4 | expect_file a.gen.subset
case_end

case_start "lists alone, read through gzip by their own names"
write_a_gen
printf 'rs1\nsnp4\n' | gzip > incl.gz
printf 'rs4 snp2\n' | gzip > excl.list.gz
keeps in.gen "1 4" -S --g a.gen --inclusion incl.gz --og in.gen
says "ex.gen " 2 2 6 4 Exclusion... | expect_run 0 -S --g a.gen --exclusion excl.list.gz --og ex.gen
a_out 1 3 5 6 | expect_file ex.gen
case_end

case_start "sample id list: either identifier, log-only lines, byte-exact SAMPLE copy, exclusion list ignored"
write_b_pair
printf 'ind2\nfam3 nobody\n' > ids.txt
printf 'ind2\n' > drop.txt
says "b.gen.subset s.sample.subset" 4 2 2 2 Samples... |
  expect_run 0 -S --g b.gen --s s.sample --sample_id ids.txt --sample_excl drop.txt
says "b.gen.subset s.sample.subset" 4 2 2 2 Samples... |
  logged "-S --g b.gen --s s.sample --sample_id ids.txt --sample_excl drop.txt" \
    'Number of samples in subset file: 3' 'sample_file: ind1' 'sample_file: ind2' \
    "ind2 1 fam2 ind2 0.1	2" 'sample_file: ind3' 'ind3 2 fam3 ind3 0 1' | expect_log
expect_b_23 b.gen.subset s.sample.subset
case_end

case_start "empty id list: the exclusion list applies; both empty keep every row up to the blank line"
write_b_pair
: > empty.txt
printf 'fam1\n' > drop.txt
run -S --g b.gen --s s.sample --sample_id empty.txt --sample_excl drop.txt
expect_status 0
says "b.gen.subset s.sample.subset" 4 2 2 2 Samples... |
  logged "-S --g b.gen --s s.sample --sample_id empty.txt --sample_excl drop.txt" \
    'Number of samples in subset file: 0' | expect_log
expect_b_23 b.gen.subset s.sample.subset
says "all.gen all.sample" 4 3 2 2 Samples... |
  expect_run 0 -S --g b.gen --s s.sample --sample_excl empty.txt --og all.gen --os all.sample
expect_file all.gen <<'EOF'
s1 r1 10 A G 1 0 0 0 1 0 0 0 1 
s2 r2 20 A G 0 0 1 0.1000 0.2000 0.7000 1 0 0 
EOF
printf '%s' "${B_SAMPLE%$'\n'fam4*}" | expect_file all.sample
case_end

case_start "missingness: strict comparisons at the threshold and the limit, unselected samples count"
cat > c.gen <<'EOF'
m1 r1 1 A G 0.9 0.05 0.05 0.5 0.3 0.2 1 0 0 0 0 1
m2 r2 2 A G 0.5 0.3 0.2 0.5 0.3 0.2 1 0 0 0 0 1
EOF
says "c.gen.subset " 4 4 2 1 | expect_run 0 -S --g c.gen --missing 0.25 --threshold 0.9
echo 'm1 r1 1 A G 0.9000 0.0500 0.0500 0.5000 0.3000 0.2000 1 0 0 0 0 1 ' | expect_file c.gen.subset
printf 'ID_1 ID_2 missing\n0 0 0\na1 a1 0\na2 a2 0\na3 a3 0\na4 a4 0\n' > c.sample
printf 'a1 a2\n' > first_two.txt
says "c.out c.sample.subset" 4 2 2 0 Samples... |
  expect_run 0 -S --g c.gen --s c.sample --sample_excl first_two.txt --missing 0.2 --threshold 0.9 --og c.out
expect_file c.out < /dev/null
case_end

case_start "gz GEN name compresses both outputs, the driver adds .gz to their names"
write_b_pair
gzip -c b.gen > x.gz.gen
printf 'ind1\n' > drop.txt
says "y.gen.gz z.sample.gz" 4 2 2 2 Samples... |
  expect_run 0 -S --g x.gz.gen --s s.sample --sample_excl drop.txt --og y.gen --os z.sample
expect_gzip y.gen.gz
expect_gzip z.sample.gz
expect_b_23 y.gen.gz z.sample.gz
case_end

case_start "samples counted by fields: tabs, double spaces and a CR add no phantom samples"
printf 'd1  r1\t5 A G  1 0 0\t0 1 0  \r\nd2 r2 6 A G 0 0 1 1 0 0\n' > d.gen
says "d.gen.subset " 2 2 2 2 positions... | expect_run 0 -S --g d.gen --start 0
printf 'd1 r1 5 A G 1 0 0 0 1 0 \nd2 r2 6 A G 0 0 1 1 0 0 \n' | expect_file d.gen.subset
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
says "e.gen.subset " -1 -1 1 1 positions... | expect_run 0 -S --g e.gen --start 0
echo 'e1 r1 5 A G ' | expect_file e.gen.subset
case_end

# refused_with OUTPUTS MESSAGE ARGS...: exit 1 after "Output files: OUTPUTS" and MESSAGE.
refused_with() {
  local outputs=$1 message=$2
  shift 2
  printf 'Output files: %s\n%s\n' "$outputs" "$message" | expect_refused "$@"
}

case_start "every named input that cannot be opened stops the run before any output"
write_a_gen
write_b_pair
printf 'ind1\n' > ids.txt
mkdir lists
refused_with "b.gen.subset s.sample.subset" "Can't open missing.txt" -S --g b.gen --s s.sample --sample_id missing.txt
expect_log < stdout.txt
expect_absent b.gen.subset
expect_absent s.sample.subset
refused_with "b.gen.subset nosuch.sample.subset" "Can't open nosuch.sample" -S --g b.gen --s nosuch.sample --sample_id ids.txt
refused_with "nosuch.gen.subset " "Can't open nosuch.gen" -S --g nosuch.gen --start 1
refused_with "a.gen.subset " "Can't open lists" -S --g a.gen --exclusion lists
refused_with "a.gen.subset " "Can't open lists/none.gz" -S --g a.gen --inclusion lists/none.gz
expect_absent a.gen.subset
case_end

case_start "an output that is an input is refused and the input kept"
write_a_gen
cp a.gen a.orig
write_b_pair
printf 'ind1\n' > ids.txt
expect_refused_early <<<"Output file ./a.gen is the same file as input a.gen" -S --g a.gen --og ./a.gen --start 1
cmp -s a.gen a.orig || fail "a.gen was changed"
cp s.sample s.orig
expect_refused_early <<<"Output file s.sample is the same file as input s.sample" \
  -S --g b.gen --s s.sample --sample_id ids.txt --os s.sample
cmp -s s.sample s.orig || fail "s.sample was changed"
expect_absent b.gen.subset
expect_refused_early <<<"Output file ids.txt is the same file as input ids.txt" \
  -S --g b.gen --s s.sample --sample_id ids.txt --og ids.txt
expect_refused_early <<<"Output file same.out is the same file as same.out" \
  -S --g b.gen --s s.sample --sample_id ids.txt --og same.out --os same.out
expect_absent same.out
case_end

case_start "a failed write is reported and exits 1"
write_a_gen
# The report up to "Gen...", then the message.
{ says "/dev/full " 2 2 6 0 positions... | head -n 5; echo "Can't write /dev/full"; } |
  expect_refused -S --g a.gen --og /dev/full --start 0
case_end

case_start "a damaged gzip GEN file stops the run and leaves no output"
write_b_pair
printf 'ind1\n' > ids.txt
seq 1 60000 | awk '{ print "s" $1, "r" $1, $1, "A G 1 0 0 0 1 0 0.25 0.5 0.25 0 0 1" }' | gzip > whole.gen.gz
head -c $(($(wc -c < whole.gen.gz) - 100)) whole.gen.gz > cut.gen.gz
{ says "cut.gen.subset.gz s.sample.subset.gz" 4 1 0 0 Samples... positions... | head -n 6
  echo "Can't read cut.gen.gz"; } | expect_refused -S --g cut.gen.gz --s s.sample --sample_id ids.txt --start 0
expect_absent cut.gen.subset.gz
expect_absent s.sample.subset.gz
case_end

case_start "real data: Genotype-IO test2 pair, ids by either identifier, range with inclusion and exclusion"
cp "$REALDATA/genotypeio_tests/test2.gen" "$REALDATA/genotypeio_tests/test2.sample" .
printf '1042\nF1050 nobody\n' > ids.txt
printf 'rs1\n' > incl.txt
printf 'rs915675\n' > excl.txt
args="-S --g test2.gen --s test2.sample --sample_id ids.txt --start 14433600 --end 14434713 --inclusion incl.txt --exclusion excl.txt"
# shellcheck disable=SC2086
says "test2.gen.subset test2.sample.subset" 9 2 11 4 Samples... positions... Snp_id... Exclusion... |
  expect_run 0 $args
says "test2.gen.subset test2.sample.subset" 9 2 11 4 Samples... positions... Snp_id... Exclusion... |
  logged "$args" 'Number of samples in subset file: 3' 'sample_file: 1042' '1042 0 F1042 1042 0 1 0' \
    'sample_file: '{1043,1044,1045,1046,1047,1048,1049,1050} '1050 8 F1050 1050 0.1 1 -9' | expect_log
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
