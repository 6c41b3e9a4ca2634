#!/usr/bin/env bash
# -U against the zlib floor: prints a large SAMPLE file (2 million rows),
# gzip-compressed and plain. Run by hand: bash bench/update.sh [REPS]
source "$(dirname "$0")/lib.sh"
reps=${1:-3}
bench_gen sample rows.sample.gz --samples 2000000 --level 6
bench_gen sample rows.sample --samples 2000000
bench_size rows.sample.gz rows.sample
bench_run -n "$reps" \
  zfloor-gz "zfloor rows.sample.gz" \
  update-gz "varnex -U --s rows.sample.gz --log update.log > /dev/null" \
  zfloor-plain "zfloor rows.sample" \
  update-plain "varnex -U --s rows.sample --log update.log > /dev/null"
