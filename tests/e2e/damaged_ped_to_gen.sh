# PED to GEN (-P) on damaged input and hostile file-system conditions: every
# run ends with exit 0 and the right outputs, or exit 1 with one message and
# nothing written; no input ever changes (checked by run_checked).
. "$(dirname "$0")/lib.sh" "$@"
. "$(dirname "$0")/../hardening/damaged_lib.sh"

map_text() { printf '1 rs1 0 1000\n1 rs2 0 2000\n'; }
ped_text() { printf 'F1 I1 0 0 1 2 A A G T\nF2 I2 0 0 2 1 A C 0 0\n'; }
checked_ok() { run_checked "$@"; expect_status 0; }
inputs() { map_text > x.map; ped_text > x.ped; }
lines() { printf '%s\n' "$@"; }
sample_head() { lines "ID_1 ID_2 Missing Gender Phenotype" "0 0 0 D P"; }
# opened ARGS...: the messages up to "PED..." for the worked inputs.
opened() {
  lines "varnex $*" "MAP..." "Number of SNPs: 2" "Count Samples..." "Number of samples: 2" "memory...12" "PED..."
}
not_a_record="not chromosome, SNP name, genetic distance and position"

expect_good_run() {  # the worked example's outputs under x.ped.gen / x.ped.sample
  expect_status 0
  expect_new_files x.ped.gen x.ped.sample
  lines "1 rs1 1000 A C 1 0 0 0 1 0" "1 rs2 2000 G T 0 1 0 0 0 0" | expect_file x.ped.gen
  { sample_head; lines "I1 I1 0 1 2" "I2 I2 0.5 2 1"; } | expect_file x.ped.sample
}

case_start "empty PED, PED of only line feeds: no individuals, every SNP still listed"
map_text | write x.map
for ped in '' '\n\n\n'; do
  printf "$ped" | write x.ped
  checked_ok -P --ped x.ped --map x.map
  expect_new_files x.ped.gen x.ped.sample
  lines "1 rs1 1000 - -" "1 rs2 2000 - -" | expect_file x.ped.gen
  sample_head | expect_file x.ped.sample
  rm -f x.ped.gen x.ped.sample
done
case_end

case_start "empty MAP, MAP of only line feeds"
ped_text | write x.ped
for map in '' '\n\n\n' '\r\n'; do
  printf "$map" | write x.map
  run_checked -P --ped x.ped --map x.map
  expect_status 1
  lines "varnex -P --ped x.ped --map x.map" "MAP..." "No SNPs in MAP file x.map" | expect_stdout
  expect_log < stdout.txt
done
case_end

case_start "binary garbage as PED or as MAP"
map_text | write x.map
garbage > x.ped
refused_like "PED file x.ped, line *" -P --ped x.ped --map x.map
ped_text | write x.ped
garbage > x.map
refused_like "*MAP file x.map*line * $not_a_record" -P --ped x.ped --map x.map
case_end

case_start "truncated gzip, bad CRC, plain text under a gz name: read errors"
inputs
for damage in truncated_gz bad_crc_gz cat; do
  ped_text | $damage > x.ped.gz
  refused "Can't read x.ped.gz" -P --ped x.ped.gz --map x.map
  lines "varnex -P --ped x.ped.gz --map x.map" "MAP..." "Number of SNPs: 2" "Count Samples..." \
    "Can't read x.ped.gz" | expect_stdout
  map_text | $damage > x.map.gz
  refused "Can't read x.map.gz" -P --ped x.ped --map x.map.gz
  lines "varnex -P --ped x.ped --map x.map.gz" "MAP..." "Can't read x.map.gz" | expect_stdout
done
case_end

case_start "gzip data under a plain name is read as bytes and refused"
map_text | write x.map
ped_text | gzip -nc > x.ped
refused_like "PED file x.ped, line 1: *" -P --ped x.ped --map x.map
ped_text | write x.ped
map_text | gzip -nc > x.map
refused_like "*MAP file x.map*$not_a_record" -P --ped x.ped --map x.map
case_end

case_start "lines of 10 MB: a phenotype and a SNP name are kept whole"
{ printf '1 '; long_word 10000000; printf ' 0 1000\n'; } > x.map
{ printf 'F1 I1 0 0 1 '; long_word 10000000; printf ' A G\n'; } > x.ped
checked_ok -P --ped x.ped --map x.map
expect_new_files x.ped.gen x.ped.sample
[ "$(wc -c < x.ped.gen)" -eq $((2 + 10000000 + 16)) ] || fail "GEN line is $(wc -c < x.ped.gen) bytes"
[ "$(tail -n 1 x.ped.sample | wc -c)" -eq $((10 + 10000000 + 1)) ] || fail "SAMPLE line cut"
[ "$(head -c 2 x.ped.gen)" = "1 " ] && [ "$(tail -c 16 x.ped.gen)" = " 1000 A G 0 1 0" ] ||
  fail "GEN line: $(head -c 20 x.ped.gen)...$(tail -c 20 x.ped.gen)"
case_end

case_start "a 10 MB line of alleles against a two-SNP MAP is refused with its count"
map_text | write x.map
{ printf 'F1 I1 0 0 1 2 '; long_word 10000000; printf '\n'; } > x.ped
refused "PED file x.ped, line 1: 10000000 alleles, expected 4 (two for each SNP of x.map)" -P --ped x.ped --map x.map
case_end

case_start "no final line feed, CRLF line ends: the same outputs"
for damage in no_final_newline crlf; do
  map_text | $damage > x.map
  ped_text | $damage > x.ped
  run_checked -P --ped x.ped --map x.map
  expect_good_run
  rm -f x.ped.gen x.ped.sample
done
map_text | crlf | gzip -nc > x.map.gz
ped_text | crlf | gzip -nc > x.ped.gz
checked_ok -P --ped x.ped.gz --map x.map.gz --og x.ped.gen --os x.ped.sample
expect_new_files x.ped.gen.gz x.ped.sample.gz
lines "1 rs1 1000 A C 1 0 0 0 1 0" "1 rs2 2000 G T 0 1 0 0 0 0" | expect_file x.ped.gen.gz
case_end

case_start "NUL bytes are characters like any other"
printf '1 rs1 0 1000\n1 rs\0002 0 2000\n' > x.map
printf 'F1 I1 0 0 1 2 A A G T\nF2 I\0002 0 0 2 1 A C 0 0\n' > x.ped
checked_ok -P --ped x.ped --map x.map
printf '1 rs1 1000 A C 1 0 0 0 1 0\n1 rs\0002 2000 G T 0 1 0 0 0 0\n' | expect_file x.ped.gen
{ sample_head; printf 'I1 I1 0 1 2\nI\0002 I\0002 0.5 2 1\n'; } | expect_file x.ped.sample
case_end

case_start "positions beyond 32 bits and unreadable distances stop with the MAP line"
ped_text | write x.ped
for bad in '1 rs2 0 99999999999' '1 rs2 0 2147483648' '1 rs2 0 -2147483649' '1 rs2 nan 2000' '1 rs2'; do
  printf '1 rs1 0 1000\n%s\n' "$bad" > x.map
  run_checked -P --ped x.ped --map x.map
  expect_status 1
  lines "varnex -P --ped x.ped --map x.map" "MAP..." "MAP file x.map, line 2: $not_a_record" | expect_stdout
done
# Even when every PED line has a single pair: the MAP must not lose its tail.
printf 'F1 I1 0 0 1 2 A A\n' > x.ped
printf '1 rs1 0 1000\n1 rs2 0 99999999999\n' > x.map
refused "MAP file x.map, line 2: $not_a_record" -P --ped x.ped --map x.map
case_end

case_start "numbers at the edges: 32-bit limits, -0, 1e999 distances, huge sex codes"
printf '1 rs1 1e999 2147483647\n1 rs2 -0 -0\n1 rs3 nan.5 -2147483648\n' > x.map
printf 'F1 I1 0 0 99999999999 1e999 A A G G C C\nF2 I2 0 0 -99999999999 nan A G G G C T\n' > x.ped
# "nan.5" is not a distance: the third record is refused with its line.
refused "MAP file x.map, line 3: $not_a_record" -P --ped x.ped --map x.map
printf '1 rs1 1e999 2147483647\n1 rs2 -0 -0\n1 rs3 -1e-999 -2147483648\n' > x.map
checked_ok -P --ped x.ped --map x.map
lines "1 rs1 2147483647 A G 1 0 0 0 1 0" "1 rs2 0 G G 1 0 0 1 0 0" "1 rs3 -2147483648 C T 1 0 0 0 1 0" |
  expect_file x.ped.gen
{ sample_head; lines "I1 I1 0 2147483647 1e999" "I2 I2 0 -2147483648 nan"; } | expect_file x.ped.sample
case_end

case_start "a directory as input or as output"
inputs
mkdir d
refused "Can't open d" -P --ped d --map x.map
lines "varnex -P --ped d --map x.map" "Can't open d" | expect_stdout
refused "Can't open d" -P --ped x.ped --map d
refused "Can't open d" -P --ped x.ped --map x.map --og d
refused "Can't open d" -P --ped x.ped --map x.map --os d
checked_ok -P --ped x.ped --map x.map --og d --discrete_phenotype
expect_new_files d_1 d_2 x.ped.sample_1 x.ped.sample_2
case_end

case_start "an output in a missing directory; outputs on /dev/full"
inputs
refused "Can't open nodir/x.sample" -P --ped x.ped --map x.map --os nodir/x.sample
refused "Can't open nodir/x.gen" -P --ped x.ped --map x.map --og nodir/x.gen
run_checked -P --ped x.ped --map x.map --os /dev/full
expect_status 1
{ opened -P --ped x.ped --map x.map --os /dev/full; echo "Can't write /dev/full"; } | expect_stdout
ped_text | gzip -nc > x.ped.gz
# A gz name, or the driver would append ".gz" and create /dev/full.gz: a link.
ln -s /dev/full full.gz
refused "Can't write full.gz" -P --ped x.ped.gz --map x.map --og x.gen.gz --os full.gz
[ -c /dev/full ] && [ ! -e /dev/full.gz ] || fail "/dev/full replaced or /dev/full.gz created"
case_end

case_start "the log on /dev/full: the run still succeeds"
inputs
run_checked -P --ped x.ped --map x.map --log /dev/full
expect_good_run
case_end

case_start "an existing output is kept when the run fails before writing"
map_text | write x.map
printf 'F1 I1 0 0 1 2 A A\n' > x.ped
printf 'old\n' > x.ped.gen
run_checked -P --ped x.ped --map x.map
expect_status 1
printf 'old\n' | expect_file x.ped.gen
expect_absent x.ped.sample
case_end

case_start "standard streams closed: nothing lands in the log or an output"
inputs
varnex -P --ped x.ped --map x.map >&- 2> stderr.txt
STATUS=$?
[ -s stderr.txt ] && fail "wrote to standard error"
# The progress lines could not be shown: reported by the exit status.
expect_status 1
{ opened -P --ped x.ped --map x.map; echo "Output..."; } | expect_log
rm -f x.ped.gen x.ped.sample
varnex -P --ped x.ped --map x.map > stdout.txt 2>&- <&-
STATUS=$?
BEFORE_LIST="./x.map
./x.ped"
AFTER_LIST=$(_listing)
expect_good_run
expect_log < stdout.txt
case_end

finish
