#!/usr/bin/env bash
# Subset mode (-S) against its floors, on 2,000 samples x 20,000 SNPs with a
# fifth of the genotypes uncertain (bench/README.md has the harness).
#
#   bash bench/subset.sh [REPS]
#   VARNEX=build/varnex BENCH_SKIP_VARNEX=1 bash bench/subset.sh 1
#
# Two jobs: "all" keeps every sample and SNP (--start 0: every position is
# above it), "half" keeps every other sample by --sample_id. Floors:
#   plain  cat input > output
#   gzip   zlib alone: gzread of the input, then gzwrite (level 6) of the
#          job's own output (made by a plain run first, read back plain)
source "$(dirname "$0")/lib.sh"
reps=${1:-1}
shape=(--samples 2000 --snps 20000 --uncertain 0.2)
bench_gen gen big.gen "${shape[@]}"
bench_gen gen big.gen.gz "${shape[@]}"
bench_gen sample big.sample --samples 2000
bench_gen sample-list half.txt --samples 2000 --every 2
bench_size big.gen big.gen.gz

all_plain="varnex -S --g big.gen --start 0 --og all.gen --log subset.log"
half_plain="varnex -S --g big.gen --s big.sample --sample_id half.txt --og half.gen --os half.sample --log subset.log"
# The outputs that the gzip floors write.
eval "$all_plain" > /dev/null
eval "$half_plain" > /dev/null
bench_size all.gen half.gen

bench_run -n "$reps" \
  cat "cat big.gen > cat.out" \
  all "$all_plain" \
  half "$half_plain"
bench_run -n "$reps" \
  zfloor-all "zfloor big.gen.gz && zfloor all.gen floor.gen.gz" \
  all-gz "varnex -S --g big.gen.gz --start 0 --og all.gen.gz --log subset.log"
bench_run -n "$reps" \
  zfloor-half "zfloor big.gen.gz && zfloor half.gen floor.gen.gz" \
  half-gz "varnex -S --g big.gen.gz --s big.sample --sample_id half.txt --og half.gen.gz --os half.sample.gz --log subset.log"
rm -f cat.out floor.gen.gz
