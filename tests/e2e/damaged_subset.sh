# Subset (-S) on damaged input, out-of-range numbers and hostile file-system
# conditions: exit 0 with the right outputs, or exit 1 with one message and
# no output left; inputs never change (run_checked).
. "$(dirname "$0")/lib.sh" "$@"
. "$(dirname "$0")/../hardening/damaged_lib.sh"

gen_text() { printf '1 rs1 1000 A G 0.1 0.2 0.7 1 0 0\n2 rs2 2000 C T 0 0 1 0.5 0.5 0\n'; }
sample_text() { printf 'ID_1 ID_2 missing\n0 0 0\nf1 i1 0\nf2 i2 0\n'; }
inputs() { gen_text > x.gen; sample_text > x.sample; printf 'i2\n' > ids; }
I2_GEN=$'1 rs1 1000 A G 1 0 0 \n2 rs2 2000 C T 0.5000 0.5000 0 \n'  # sample i2 kept

# succeeds ARGS...: the outputs of earlier runs removed, run_checked ARGS exits 0.
succeeds() { rm -f ./*.subset; run_checked "$@"; expect_status 0; }
# snps_out N: the run ended on "Number of output SNPs: N".
snps_out() { expect_last_line "Number of output SNPs: $1"; }

case_start "empty GEN, GEN of only line feeds: no samples, no SNPs, empty output"
for text in '' '\n\n'; do
  printf "$text" > x.gen
  succeeds -S --g x.gen --start 1
  expect_new_files x.gen.subset
  grep -q '^Number of input samples: -1$' stdout.txt || fail "input samples"
  snps_out 0
  : | expect_file x.gen.subset
done
case_end

case_start "empty SAMPLE, SAMPLE or identifier list of only line feeds"
inputs
: > x.sample
succeeds -S --g x.gen --s x.sample --sample_id ids
printf '\n\n' | expect_file x.sample.subset
printf '1 rs1 1000 A G \n2 rs2 2000 C T \n' | expect_file x.gen.subset
sample_text > x.sample
printf '\n\n' > ids
# An empty list selects every row.
succeeds -S --g x.gen --s x.sample --sample_id ids
sample_text | expect_file x.sample.subset
case_end

case_start "binary garbage as GEN, SAMPLE or identifier list"
inputs
garbage > g.gen
succeeds -S --g g.gen --start 1
snps_out 0
garbage > x.sample
succeeds -S --g x.gen --s x.sample --sample_id ids
snps_out 2
sample_text > x.sample
garbage > ids
succeeds -S --g x.gen --s x.sample --sample_id ids
case_end

case_start "truncated gzip, bad CRC, plain text under a gz name, for every input"
inputs
for damage in truncated_gz bad_crc_gz cat; do
  gen_text | $damage > y.gen.gz
  refused "Can't read y.gen.gz" -S --g y.gen.gz --start 1
  sample_text | $damage > y.sample.gz
  refused "Can't read y.sample.gz" -S --g x.gen --s y.sample.gz --sample_id ids
  printf 'i2\n' | $damage > ids.gz
  refused "Can't read ids.gz" -S --g x.gen --s x.sample --sample_id ids.gz
  refused "Can't read ids.gz" -S --g x.gen --exclusion ids.gz
done
case_end

case_start "gzip data under a plain name is read as bytes"
gen_text | gzip -nc > y.gen
succeeds -S --g y.gen --start 1
expect_plain y.gen.subset
case_end

case_start "lines of 10 MB: a SNP name and a SAMPLE row kept whole"
{ printf '1 '; long_word 10000000; printf ' 1000 A G 0.5 0.5 0\n'; } > x.gen
{ printf 'ID_1 ID_2\n0 0\nf1 '; long_word 10000000; printf '\n'; } > x.sample
printf 'f1\n' > ids
succeeds -S --g x.gen --s x.sample --sample_id ids
[ "$(wc -c < x.gen.subset)" -eq $((2 + 10000000 + 27)) ] || fail "GEN output is $(wc -c < x.gen.subset) bytes"
[ "$(tail -n 1 x.sample.subset | wc -c)" -eq $((3 + 10000000 + 1)) ] || fail "SAMPLE row cut"
case_end

case_start "no final line feed, CRLF line ends: the same selection"
gen_text | no_final_newline > x.gen
sample_text | no_final_newline > x.sample
printf 'i2' > ids
succeeds -S --g x.gen --s x.sample --sample_id ids
snps_out 2
printf '%s' "$I2_GEN" | expect_file x.gen.subset
printf 'ID_1 ID_2 missing\n0 0 0\nf2 i2 0\n' | expect_file x.sample.subset
gen_text | crlf > y.gen
printf 'i2\r\n' > ids
sample_text | crlf > y.sample
succeeds -S --g y.gen --s y.sample --sample_id ids
printf '%s' "$I2_GEN" | expect_file y.gen.subset
# Rows are copied byte for byte, CR included.
printf 'ID_1 ID_2 missing\r\n0 0 0\r\nf2 i2 0\r\n' | expect_file y.sample.subset
case_end

case_start "NUL bytes are characters like any other"
printf '1 rs\0001 1000 A G 1 0 0 0 1 0\n' > x.gen
printf 'ID_1 ID_2\n0 0\nf1 i\0001\nf2 i2\n' > x.sample
printf 'i2\n' > ids
succeeds -S --g x.gen --s x.sample --sample_id ids
printf '1 rs\0001 1000 A G 0 1 0 \n' | expect_file x.gen.subset
case_end

case_start "numbers out of range: --start and --end beyond 32 bits, -0"
inputs
succeeds -S --g x.gen --start 99999999999
snps_out 0
succeeds -S --g x.gen --start -0 --end 99999999999
snps_out 2
# An end of 0 (or -0) is no upper bound.
succeeds -S --g x.gen --start 1500 --end -0
snps_out 1
case_end

case_start "positions beyond 32 bits lie in no range, and are copied as they stand"
printf '1 rs1 99999999999 A G 1 0 0\n2 rs2 abc C T 0 1 0\n3 rs3 50 C T 0 0 1\n' > x.gen
succeeds -S --g x.gen --start 0 --end 100
printf '3 rs3 50 C T 0 0 1 \n' | expect_file x.gen.subset
printf 'rs3\n' > excl
succeeds -S --g x.gen --exclusion excl
printf '1 rs1 99999999999 A G 1 0 0 \n2 rs2 abc C T 0 1 0 \n' | expect_file x.gen.subset
case_end

case_start "missingness with 1e999, nan and -0; probabilities 1e999, nan and -0"
inputs
# With a threshold no probability reaches every sample is missing.
succeeds -S --g x.gen --missing 0.4 --threshold 1e999
snps_out 0
succeeds -S --g x.gen --missing nan --threshold 0.9
succeeds -S --g x.gen --missing 1e999 --threshold nan
snps_out 2
succeeds -S --g x.gen --missing -0 --threshold -0
printf '1 rs1 1000 A G 1e999 -0 0.5 nan 1 0\n' > y.gen
succeeds -S --g y.gen --start 1
expect_new_files y.gen.subset
case_end

case_start "a directory as input or as output"
inputs
mkdir d
refused "Can't open d" -S --g d --start 1
refused "Can't open d" -S --g x.gen --s d --sample_id ids
refused "Can't open d" -S --g x.gen --s x.sample --sample_id d
refused "Can't open d" -S --g x.gen --start 1 --og d
refused "Can't open d" -S --g x.gen --s x.sample --sample_id ids --os d
case_end

case_start "an output in a missing directory; the GEN output on /dev/full"
inputs
refused "Can't open nodir/x" -S --g x.gen --start 1 --og nodir/x
refused "Can't open nodir/x" -S --g x.gen --s x.sample --sample_id ids --os nodir/x
refused "Can't write /dev/full" -S --g x.gen --start 1 --og /dev/full
refused "Can't write /dev/full" -S --g x.gen --s x.sample --sample_id ids --og /dev/full
# The SAMPLE output fails last, after the GEN output is complete.
refused "Can't write /dev/full" -S --g x.gen --s x.sample --sample_id ids --os /dev/full
case_end

finish
