# GEN to PED (-G) on damaged input and hostile file-system conditions: exit 0
# with the right PED and MAP, or exit 1 with one message naming the file (and
# line) and no output left; inputs never change (run_checked).
. "$(dirname "$0")/lib.sh" "$@"
. "$(dirname "$0")/../hardening/damaged_lib.sh"

gen_text() { printf '1 rs1 1000 A G 0.95 0.05 0 0.1 0.8 0.1\n2 rs2 2000 C T 0 0 1 0 1 0\n'; }
sample_text() { printf 'ID_1 ID_2 missing\n0 0 0\ns1 s1 0\ns2 s2 0\n'; }
checked_ok() { run_checked "$@"; expect_status 0; }
inputs() { gen_text > x.gen; sample_text > x.sample; }
lines() { printf '%s\n' "$@"; }
# expect_said LINE...: standard output and the log are these lines.
expect_said() { lines "$@" | expect_stdout; expect_log < stdout.txt; }

expect_good_run() {  # $1 GEN name: the worked example's outputs
  expect_status 0
  expect_new_files "$1.map" "$1.ped"
  printf '1\trs1\t0\t1000\n2\trs2\t0\t2000\n' | expect_file "$1.map"
  printf '0\ts1\t0\t0\t-9\t-9\tA A\tT T\n1\ts2\t0\t0\t-9\t-9\tN N\tC T\n' | expect_file "$1.ped"
  expect_last_line "Output..."
}

case_start "empty GEN: no SNPs, no samples, empty outputs"
: > x.gen
sample_text | write x.sample
checked_ok -G --g x.gen --s x.sample
expect_said "varnex -G --g x.gen --s x.sample" "Count SNPs and samples..." "Number of samples: 0" \
  "Number of SNPs: 0" "Sample..." "Assign memory for genotypes...0" "Gen..." "Number of missing loci: 0" "Output..."
expect_new_files x.gen.map x.gen.ped
for f in x.gen.map x.gen.ped; do expect_file $f < /dev/null; done
case_end

case_start "GEN of only line feeds; SAMPLE empty or of only line feeds"
printf '\n\n\n' > x.gen
sample_text | write x.sample
run_checked -G --g x.gen --s x.sample
expect_status 1
expect_said "varnex -G --g x.gen --s x.sample" "Count SNPs and samples..." \
  "x.gen, line 1: 0 fields; a GEN line has at least 5"
gen_text | write x.gen
: > x.sample
refused "x.sample, line 1: end of file, but x.gen has 2 samples" -G --g x.gen --s x.sample
# Blank data rows are individuals without an ID.
printf '\n\n\n\n' > x.sample
checked_ok -G --g x.gen --s x.sample
printf '0\t\t0\t0\t-9\t-9\tA A\tT T\n1\t\t0\t0\t-9\t-9\tN N\tC T\n' | expect_file x.gen.ped
case_end

case_start "binary garbage as GEN or as SAMPLE"
garbage > x.gen
sample_text | write x.sample
refused "x.sample, line 5: end of file, but x.gen has 20 samples" -G --g x.gen --s x.sample
gen_text | write x.gen
garbage > x.sample
refused "x.sample, line 2: end of file, but x.gen has 2 samples" -G --g x.gen --s x.sample
case_end

case_start "truncated gzip, bad CRC, plain text under a gz name"
sample_text | write x.sample
for damage in truncated_gz bad_crc_gz cat; do
  gen_text | $damage > x.gen.gz
  refused "Can't read x.gen.gz" -G --g x.gen.gz --s x.sample
  lines "varnex -G --g x.gen.gz --s x.sample" "Count SNPs and samples..." "Can't read x.gen.gz" | expect_stdout
done
gen_text | write x.gen
for damage in truncated_gz bad_crc_gz cat; do
  sample_text | $damage > x.sample.gz
  refused "Can't read x.sample.gz" -G --g x.gen --s x.sample.gz
done
case_end

case_start "gzip data under a plain name is read as bytes and refused"
gen_text | gzip -nc > x.gen
sample_text | write x.sample
refused_like "x.gen, line *" -G --g x.gen --s x.sample
case_end

case_start "lines of 10 MB: a SNP name and an individual ID kept whole"
{ printf '1 '; long_word 10000000; printf ' 1000 A G 1 0 0\n'; } > x.gen
{ printf 'ID_1 ID_2\n0 0\n'; long_word 10000000; printf ' s\n'; } > x.sample
checked_ok -G --g x.gen --s x.sample
[ "$(wc -c < x.gen.map)" -eq $((2 + 10000000 + 8)) ] || fail "MAP is $(wc -c < x.gen.map) bytes"
[ "$(wc -c < x.gen.ped)" -eq $((2 + 10000000 + 15)) ] || fail "PED is $(wc -c < x.gen.ped) bytes"
case_end

case_start "no final line feed, CRLF line ends: the same outputs"
for damage in no_final_newline crlf; do
  gen_text | $damage > $damage.gen
  sample_text | $damage > $damage.sample
  run_checked -G --g $damage.gen --s $damage.sample
  expect_good_run $damage.gen
done
gen_text | crlf | gzip -nc > z.gen.gz
sample_text | crlf | gzip -nc > z.sample.gz
checked_ok -G --g z.gen.gz --s z.sample.gz
expect_new_files z.gen.map.gz z.gen.ped.gz
printf '0\ts1\t0\t0\t-9\t-9\tA A\tT T\n1\ts2\t0\t0\t-9\t-9\tN N\tC T\n' | expect_file z.gen.ped.gz
case_end

case_start "NUL bytes in names are characters like any other"
printf '1 rs\0001 1000 A G 1 0 0\n' > x.gen
printf 'ID_1 ID_2\n0 0\ns\0001 s1\n' > x.sample
checked_ok -G --g x.gen --s x.sample
printf '1\trs\0001\t0\t1000\n' | expect_file x.gen.map
printf '0\ts\0001\t0\t0\t-9\t-9\tA A\n' | expect_file x.gen.ped
case_end

case_start "positions beyond 32 bits are refused with their line"
sample_text | write x.sample
for pos in 99999999999 2147483648 -2147483649; do
  printf '1 rs1 1000 A G 1 0 0 1 0 0\n2 rs2 %s C T 0 0 1 0 1 0\n' $pos > x.gen
  refused "x.gen, line 2: position \"$pos\" is not a 32-bit integer" -G --g x.gen --s x.sample
done
printf '1 rs1 2147483647 A G 1 0 0 1 0 0\n2 rs2 -2147483648 C T 0 0 1 0 1 0\n3 rs3 -0 A C 1 0 0 1 0 0\n' > x.gen
checked_ok -G --g x.gen --s x.sample
printf '1\trs1\t0\t2147483647\n2\trs2\t0\t-2147483648\n3\trs3\t0\t0\n' | expect_file x.gen.map
case_end

# called CALL-S1 CALL-S2 ARGS...: x.gen converted with ARGS gives these calls.
called() {
  local s1=$1 s2=$2; shift 2
  rm -f x.gen.ped x.gen.map
  checked_ok -G --g x.gen --s x.sample "$@"
  printf '0\ts1\t0\t0\t-9\t-9\t%s\n1\ts2\t0\t0\t-9\t-9\t%s\n' "$s1" "$s2" | expect_file x.gen.ped
}
case_start "probabilities 1e999, -0 and nan; thresholds 1e999, nan, -0"
sample_text | write x.sample
printf '1 rs1 1000 A G 1e999 0 0 -0 -0 1e999\n' > x.gen
called "A A" "G G"
called "A A" "G G" --threshold 1e999
# A threshold that no number reaches: every call missing.
called "N N" "N N" --threshold nan
# -0 is not below 0: every probability reaches it, the first (A A) wins.
called "A A" "A A" --threshold -0
rm -f x.gen.ped x.gen.map
printf '1 rs1 1000 A G 1 0 0 nan 0 0\n' > x.gen
refused 'x.gen, line 1: field 9, probability "nan" is not a number' -G --g x.gen --s x.sample
case_end

case_start "a directory as input or as output"
inputs
mkdir d
refused "Can't open d" -G --g d --s x.sample
lines "varnex -G --g d --s x.sample" "Can't open d" | expect_stdout
refused "Can't open d" -G --g x.gen --s d
refused "Can't open d" -G --g x.gen --s x.sample --ped d
refused "Can't open d" -G --g x.gen --s x.sample --map d
case_end

case_start "an output in a missing directory; outputs on /dev/full; the other output removed"
inputs
counted=("Count SNPs and samples..." "Number of samples: 2" "Number of SNPs: 2" "Sample..."
  "Assign memory for genotypes...8" "Gen...")
refused "Can't open nodir/x.ped" -G --g x.gen --s x.sample --ped nodir/x.ped
expect_said "varnex -G --g x.gen --s x.sample --ped nodir/x.ped" "${counted[@]}" "Can't open nodir/x.ped"
refused "Can't open nodir/x.map" -G --g x.gen --s x.sample --map nodir/x.map
refused "Can't write /dev/full" -G --g x.gen --s x.sample --ped /dev/full
expect_said "varnex -G --g x.gen --s x.sample --ped /dev/full" "${counted[@]}" \
  "Missing data at locus: rs1 1000 s2" "Number of missing loci: 1" "Output..." "Can't write /dev/full"
refused "Can't write /dev/full" -G --g x.gen --s x.sample --map /dev/full
case_end

case_start "the log on /dev/full: the run still succeeds"
inputs
run_checked -G --g x.gen --s x.sample --log /dev/full
expect_good_run x.gen
case_end

finish
