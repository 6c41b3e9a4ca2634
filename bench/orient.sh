#!/usr/bin/env bash
# -O on a 2000 x 20000 GEN file (about 0.5 GB) with a strand entry for every
# position, half of them "-": plain input against `cat input > output`, with
# and without --order; gzip input and output against the zlib floor.
# Run by hand: bash bench/orient.sh [REPS]
source "$(dirname "$0")/lib.sh"
reps=${1:-3}
size=(--samples 2000 --snps 20000 --uncertain 0.5)
bench_gen gen orient.gen "${size[@]}"
bench_gen gen orient.gen.gz "${size[@]}" --level 6
bench_gen strand orient.strand "${size[@]}" --cover 1
bench_size orient.gen orient.gen.gz orient.strand
echo "strand entries: $(wc -l < orient.strand), of them \"-\": $(grep -c -- '-$' orient.strand)"
bench_run -n "$reps" \
  cat "cat orient.gen > cat.out" \
  orient "varnex -O --g orient.gen --strand orient.strand --og plain.out --log orient.log" \
  orient-order "varnex -O --g orient.gen --strand orient.strand --og order.out --order --log orient.log"
bench_run -n "$reps" \
  zfloor-gz "zfloor orient.gen.gz floor.out.gz" \
  orient-gz "varnex -O --g orient.gen.gz --strand orient.strand --og out.gen.gz --log orient.log"
rm -f cat.out plain.out order.out floor.out.gz out.gen.gz
