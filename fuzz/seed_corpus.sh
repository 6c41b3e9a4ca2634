#!/usr/bin/env bash
# Rebuilds the seed corpora in fuzz/corpus/<target> from the examples and a
# few small real files. Seeds are small on purpose: the fuzzer grows them.
#   bash fuzz/seed_corpus.sh
set -euo pipefail
cd "$(dirname "$0")/.."
real=../shared/realdata
c=fuzz/corpus
rm -rf "$c"
mkdir -p "$c"/{fuzz_lines,fuzz_gen,fuzz_strand,fuzz_modes}

# Line readers: plain, gzip, CRLF, no final line feed.
head -3 examples/example.gen > $c/fuzz_lines/plain
head -3 examples/example.gen | gzip -n > $c/fuzz_lines/gzip
printf 'ID_1 ID_2 missing\r\n0 0 0\r\nf1 i1 0' > $c/fuzz_lines/crlf
printf 'a\n' | gzip -n | head -c 15 > $c/fuzz_lines/truncated_gzip

# Field splitting and numbers: GEN lines and odd number spellings (0.9).
{ printf '\x01\x00\0\0\0\0\0\0'; head -2 examples/example.gen; } > $c/fuzz_gen/text_gen_lines
{ printf '\x01\x00\0\0\0\0\0\0'; head -1 $real/bcftools_test/convert.gs.pl.gen | cut -c1-300; } > $c/fuzz_gen/text_gen_decimals
{ printf '\x01\x00\0\0\0\0\0\0'; printf 'a\tb  c\r\n1e999 -0 nan .5 5. +1 -2147483649 2147483647 0x1A 1e-400\n'; } > $c/fuzz_gen/text_numbers
{ printf '\x01\x00\0\0\0\0\0\0'; printf 'S rs 99999999999 A G 1 0 0\n'; } > $c/fuzz_gen/text_big_position

# GEN lines for the calling threshold: 8 bytes of threshold, then lines (the
# first also serves as a SAMPLE header).
{ printf '\x01\x00\0\0\0\0\0\0'; head -1 examples/example.sample; head -3 examples/example.gen; } > $c/fuzz_gen/usual_09
{ printf '\x01\x01\0\0\0\0\0\0'; head -1 examples/example.sample; printf 'S r 1 A G 0.5 0.50000001 .5 5e-1 +0.5 -0.5 0.4999999999999999999999 1e999 nan 0.5x\n'; } > $c/fuzz_gen/edges_05
{ printf '\x00\x00\0\0\0\0\xec\x3f'; head -5 $real/bcftools_test/convert.gs.pl.gen | cut -c1-400; } > $c/fuzz_gen/real_0875

# Strand lines and GEN lines for the orient rewrite: a flag byte (1 --order,
# 2 orientation '-'), then lines read both ways.
{ printf '\x03'; cat examples/example.strand; head -3 examples/example.gen; } > $c/fuzz_strand/order_minus
{ printf '\x00'; printf '10 +\n10 -\n-0 +\n99999999999 -\n5 x\n\n2147483647 -\n'; printf 'S r 1 G A 0.1  0.2\t0.7 1 0\r\n'; } > $c/fuzz_strand/edges
{ printf '\x01'; head -3 $real/genotypeio_tests/test10.gen; } > $c/fuzz_strand/odd_alleles

# Whole runs: mode byte, two gz bits per file, then 0x1e-separated sections
# (extra arguments, then files f1..f5; "@k" names file k).
bundle() {  # NAME MODE BITS EXTRA FILE...
  local name=$1 mode=$2 bits=$3 extra=$4
  shift 4
  {
    printf "\\x$(printf %02x "$mode")\\x$(printf %02x $((bits & 255)))\\x$(printf %02x $((bits >> 8)))"
    printf '%s' "$extra"
    for f in "$@"; do printf '\x1e'; printf '%s' "$f"; done
  } > "$c/fuzz_modes/$name"
}
gen=$(head -3 examples/example.gen)
sample=$(cat examples/example.sample)
ped=$(printf 'F1 I1 0 0 1 2 A A G T\nF2 I2 0 0 2 1 A C 0 0\n')
map=$(printf '1 rs1 0 1000\n1 rs2 0 2000 G T\n')
bundle subset 0 0 "--sample_id @3 --inclusion @4 --start 10000 --end 12000 --missing 0.2 --threshold 0.9" \
  "$gen" "$sample" "ind1 ind3" "rs1002 SNP3"
bundle subset_gz 0 3 "--sample_excl @3 --exclusion @4" "$gen" "$sample" "fam2" "rs1001"
bundle ped_to_gen 1 0 "--family" "$ped" "$map"
bundle ped_to_gen_groups 1 3 "--discrete_phenotype --ostrel1" "$ped" "$map"
bundle gen_to_ped 2 0 "--phenotype phenotype --sex sex --alleles --threshold 0.5" "$gen" "$sample"
bundle gen_to_ped_gz 2 3 "--ped @3" "$gen" "$sample"
bundle merge 3 0 "--threshold 0.5" "$gen" "$(tail -2 examples/example.gen)" "$sample" "$sample"
bundle merge_gz 3 15 "--og m.gen.gz --os m.sample" "$gen" "$gen" "$sample" "$sample"
bundle orient 4 0 "--excl --order" "$gen" "$(cat examples/example.strand)"
bundle orient_gz 4 3 "" "$gen" "$(cat examples/example.strand)"
bundle update 5 0 "--add_pheno_cov @2" "$sample"
bundle update_gz_plain_name 5 2 "" "$sample"
bundle refused 1 0 "--og @1" "$ped" "$map"
du -sh "$c"
