# Merge (-M) on damaged input, many inputs and hostile file-system
# conditions: exit 0 with the right merged pair, or exit 1 with one message
# and neither output (nor a spill file) left; inputs never change.
. "$(dirname "$0")/lib.sh" "$@"
. "$(dirname "$0")/../hardening/damaged_lib.sh"

a_gen() { printf '1 rs1 1000 A G 0.95 0.05 0 0.1 0.8 0.1\n2 rs2 2000 C T 0 0 1 0 1 0\n'; }
b_gen() { printf '1 rs1 1000 A G 1 0 0\n3 rs3 3000 C T 0 0 1\n'; }
a_sample() { printf 'ID_1 ID_2 missing\n0 0 0\ns1 s1 0\ns2 s2 0\n'; }
b_sample() { printf 'ID_1 ID_2 missing\n0 0 0\ns3 s3 0\n'; }
inputs() { a_gen > a.gen; b_gen > b.gen; a_sample > a.sample; b_sample > b.sample; }
AB="--g a.gen b.gen --s a.sample b.sample"
DAMAGED_LINE="in GEN file b.gen: it needs snp_id, rs_id, a position (32-bit integer), allele A and allele B"

# merged_gen: a and b merged.
merged_gen() {
  printf '%s\n' "1 rs1 1000 A G 0.95 0.05 0 0.1 0.8 0.1 1 0 0" "2 rs2 2000 C T 0 0 1 0 1 0 0 0 0" \
    "3 rs3 3000 C T 0 0 0 0 0 0 0 0 1"
}
expect_merged() {  # $1 GEN output, $2 SAMPLE output: a and b merged
  expect_status 0
  expect_last_line "Number of merged SNPs: 3"
  merged_gen | expect_file "$1"
  printf 'ID_1 ID_2 missing\n0 0 0\ns1 s1 1\ns2 s2 1\ns3 s3 1\n' | expect_file "$2"
}

case_start "empty GEN input, GEN input of only line feeds: its individuals are missing"
a_gen > a.gen; a_sample > a.sample; b_sample > b.sample
for text in '' '\n\n\n'; do
  printf "$text" > b.gen
  run_checked -M $AB
  expect_status 0
  expect_new_files a_b.gen a_b.sample
  printf '%s\n' "1 rs1 1000 A G 0.95 0.05 0 0.1 0.8 0.1 0 0 0" "2 rs2 2000 C T 0 0 1 0 1 0 0 0 0" | expect_file a_b.gen
  printf 'ID_1 ID_2 missing\n0 0 0\ns1 s1 0\ns2 s2 0\ns3 s3 2\n' | expect_file a_b.sample
  rm -f a_b.gen a_b.sample
done
case_end

case_start "empty SAMPLE input: its GEN file's triples have no owner, a mismatched pair"
inputs
: > b.sample
refused "Damaged line 1 in GEN file b.gen: 3 probabilities, more than 3 for each of the 0 individuals in SAMPLE file b.sample" -M $AB
case_end

case_start "binary garbage as GEN or as SAMPLE"
inputs
garbage > b.gen
refused "Damaged line 1 $DAMAGED_LINE" -M $AB
b_gen > b.gen
garbage > b.sample
refused "Damaged line 1 in GEN file b.gen: 3 probabilities, more than 3 for each of the 0 individuals in SAMPLE file b.sample" -M $AB
grep -q '^Number of samples in b.sample: 0$' stdout.txt || fail "garbage SAMPLE gave individuals"
case_end

case_start "damaged gzip GEN or SAMPLE input, plain SAMPLE text under a gz name: read errors"
inputs
for damage in truncated_gz bad_crc_gz; do
  b_gen | $damage > b.gen.gz
  refused "Can't read b.gen.gz" -M --g a.gen b.gen.gz --s a.sample b.sample --og m.gen --os m.sample
done
for damage in truncated_gz bad_crc_gz cat; do
  b_sample | $damage > b.sample.gz
  refused "Can't read b.sample.gz" -M --g a.gen b.gen --s a.sample b.sample.gz --og m.gen --os m.sample
done
case_end

case_start "GEN input read as gzip or as text whatever its name"
inputs
for name in b.gen.gz b.gen; do
  if [ $name = b.gen ]; then b_gen | gzip -nc > b.gen; else b_gen > b.gen.gz; fi
  run_checked -M --g a.gen $name --s a.sample b.sample --og m.gen --os m.sample
  expect_merged m.gen m.sample
  rm -f m.gen m.sample
done
case_end

case_start "lines of 10 MB: a SNP name and an individual ID kept whole"
a_gen > a.gen; a_sample > a.sample
{ printf '3 '; long_word 10000000; printf ' 3000 C T 0 0 1\n'; } > b.gen
{ printf 'ID_1 ID_2 missing\n0 0 0\ns3 '; long_word 10000000; printf ' 0\n'; } > b.sample
run_checked -M $AB --og m.gen --os m.sample
expect_status 0
[ "$(tail -n 1 m.gen | wc -c)" -eq $((2 + 10000000 + 28)) ] || fail "GEN line is $(tail -n 1 m.gen | wc -c) bytes"
[ "$(tail -n 1 m.sample | wc -c)" -eq $((3 + 10000000 + 3)) ] || fail "SAMPLE line is $(tail -n 1 m.sample | wc -c) bytes"
case_end

case_start "no final line feed, CRLF line ends: the same merged pair"
a_gen | crlf > a.gen; b_gen | no_final_newline > b.gen
a_sample | no_final_newline > a.sample; b_sample | crlf > b.sample
run_checked -M $AB --og m.gen --os m.sample
expect_merged m.gen m.sample
expect_new_files m.gen m.sample
case_end

case_start "NUL bytes in names are characters like any other"
printf '1 rs\0001 1000 A G 1 0 0\n' > a.gen
printf 'ID_1 ID_2 missing\n0 0 0\ns\0001 s1 0\n' > a.sample
run_checked -M --g a.gen --s a.sample --og m.gen --os m.sample
expect_status 0
printf '1 rs\0001 1000 A G 1 0 0\n' | expect_file m.gen
printf 'ID_1 ID_2 missing\n0 0 0\ns\0001 s1 0\n' | expect_file m.sample
case_end

case_start "positions beyond 32 bits are refused with their line"
inputs
for pos in 99999999999 2147483648 -2147483649; do
  printf '1 rs1 1000 A G 1 0 0\n3 rs3 %s C T 0 0 1\n' $pos > b.gen
  refused "Damaged line 2 $DAMAGED_LINE" -M $AB
done
case_end

case_start "probabilities 1e999 and -0; thresholds nan, 1e999 and -0"
a_gen > a.gen; a_sample > a.sample; b_sample > b.sample
printf '1 rs1 1000 A G 1e999 -0 0\n' > b.gen
run_checked -M $AB --og m.gen --os m.sample
expect_status 0
printf '%s\n' "1 rs1 1000 A G 0.95 0.05 0 0.1 0.8 0.1 inf -0 0" "2 rs2 2000 C T 0 0 1 0 1 0 0 0 0" | expect_file m.gen
b_gen > b.gen
for t in nan 1e999; do
  rm -f m.gen m.sample
  run_checked -M $AB --og m.gen --os m.sample --threshold $t
  expect_merged m.gen m.sample
done
rm -f m.gen m.sample
# -0 is not below 0: every value reaches it, so each first triple becomes a hard call.
run_checked -M $AB --og m.gen --os m.sample --threshold -0
expect_status 0
printf '%s\n' "1 rs1 1000 A G 1 0 0 1 0 0 1 0 0" "2 rs2 2000 C T 1 0 0 1 0 0 0 0 0" \
  "3 rs3 3000 C T 0 0 0 0 0 0 1 0 0" | expect_file m.gen
case_end

case_start "10,000 files: 5,000 pairs, one SNP and one shared individual each"
seq 1 5000 | awk '{ printf "1 rs%d %d A G 1 0 0\n", $1, $1 }' |
  split -l 1 -d -a 4 --additional-suffix=.gen - g
seq 1 5000 | awk '{ printf "ID_1 ID_2 missing\n0 0 0\ns1 s1 0\n" }' |
  split -l 3 -d -a 4 --additional-suffix=.sample - s
# Far more GEN inputs than the usual limit of 1024 open files, all open at
# once, each holding no more memory than its file needs.
soft=$(ulimit -Sn)
ulimit -Sn 1024 2>/dev/null
run_checked -M --g g*.gen --s s*.sample --og m.gen --os m.sample
ulimit -Sn "$soft"
expect_status 0
expect_last_line "Number of merged SNPs: 5000"
seq 1 5000 | awk '{ printf "1 rs%d %d A G 1 0 0\n", $1, $1 }' | expect_file m.gen
printf 'ID_1 ID_2 missing\n0 0 0\ns1 s1 0\n' | expect_file m.sample
case_end

case_start "a directory as input or output, an output in a missing directory or on /dev/full"
inputs
mkdir d
for args in "--g a.gen d --s a.sample b.sample" "--g a.gen b.gen --s a.sample d" "$AB --og d" "$AB --os d"; do
  refused "Can't open d" -M $args
done
refused "Can't open nodir/m.gen" -M $AB --og nodir/m.gen
refused "Can't open nodir/m.sample" -M $AB --os nodir/m.sample
refused_like "*Can't write /dev/full" -M $AB --og /dev/full
refused "Can't write /dev/full" -M $AB --os /dev/full
expect_absent a_b.gen
case_end

case_start "standard output whose reader went away: outputs complete, exit 1"
inputs
{ sleep 0.3; varnex -M $AB --og m.gen --os m.sample 2> stderr.txt; echo $? > status.txt; } | true
STATUS=$(cat status.txt)
[ -s stderr.txt ] && fail "wrote to standard error"
expect_status 1
merged_gen | expect_file m.gen
[ "$(tail -n 1 varnex.log)" = "Number of merged SNPs: 3" ] || fail "log: $(tail -n 1 varnex.log)"
case_end

finish
