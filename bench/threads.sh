#!/usr/bin/env bash
# Gzip jobs on one thread and on every core, each against its zlib floor
# measured in the same run (2,000 samples x 20,000 SNPs, a fifth uncertain).
#
#   bash bench/threads.sh [ROW...]        # default: every row
#   REPS=3 THREADS=2 bash bench/threads.sh subset bgzf-input
#
# Rows (goal in brackets, wall time, every core unless said):
#   subset      -S gzip in and out                [<= 0.55x zfloor]
#   subset-bgzf -S gzip in, --bgzf out             [<= 0.30x zfloor]
#   orient      -O gzip in and out                [<= 0.55x zfloor]
#   merge       -M two sorted gzip inputs, gzip out [<= 0.6x zfloor]
#   gen-to-ped  -G gzip in and out                [<= plain run + zfloor-out / N]
#   gen-to-ped-bgen -G from 8-bit zlib BGEN, one thread [cpu <= 1.3x -G from plain GEN]
#   ped-to-gen  -P gzip in and out                [<= plain run + zfloor-out / N]
#   bgzf-input  -S reading BGZF, almost no output [<= 0.7x the one-member input]
# Every row also runs --threads 1 (today's one-thread figures). zfloor =
# gzread of the input(s) + gzwrite at level 6 of the job's own output.
source "$(dirname "$0")/lib.sh"
reps=${REPS:-1}
all_cores=${THREADS:+--threads $THREADS}
rows=("$@")
[ ${#rows[@]} -gt 0 ] || rows=(subset subset-bgzf orient merge gen-to-ped gen-to-ped-bgen ped-to-gen bgzf-input)
shape=(--samples 2000 --snps 20000 --uncertain 0.2)
log="--log threads.log"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg), CPUs: $(nproc)"

gen_inputs() {
  bench_gen gen big.gen "${shape[@]}"
  bench_gen gen big.gen.gz "${shape[@]}"
}

for row in "${rows[@]}"; do
  echo "== $row"
  case $row in
    subset|subset-bgzf)
      gen_inputs
      [ -f all.gen ] || varnex -S --g big.gen --start 0 --og all.gen $log > /dev/null
      bgzf=; [ $row = subset-bgzf ] && bgzf=--bgzf
      bench_run -n "$reps" \
        zfloor "zfloor big.gen.gz && zfloor all.gen floor.gen.gz" \
        one-thread "varnex -S --g big.gen.gz --start 0 --og out.gen.gz --threads 1 $bgzf $log" \
        every-core "varnex -S --g big.gen.gz --start 0 --og out.gen.gz $all_cores $bgzf $log"
      ;;
    orient)
      gen_inputs
      bench_gen strand big.strand "${shape[@]}" --cover 1
      [ -f orient.gen ] || varnex -O --g big.gen --strand big.strand --og orient.gen $log > /dev/null
      bench_run -n "$reps" \
        zfloor "zfloor big.gen.gz && zfloor orient.gen floor.gen.gz" \
        one-thread "varnex -O --g big.gen.gz --strand big.strand --og out.gen.gz --threads 1 $log" \
        every-core "varnex -O --g big.gen.gz --strand big.strand --og out.gen.gz $all_cores $log"
      ;;
    merge)
      half=(--samples 2000 --snps 10000 --uncertain 0.2)
      bench_gen gen m1.gen.gz "${half[@]}" --pos-start 10000
      bench_gen gen m2.gen.gz "${half[@]}" --pos-start 2000000
      bench_gen sample m.sample --samples 2000
      [ -f merged.gen ] || varnex -M --g m1.gen.gz m2.gen.gz --s m.sample m.sample --og merged.gen --os merged.sample $log > /dev/null
      bench_run -n "$reps" \
        zfloor "zfloor m1.gen.gz && zfloor m2.gen.gz && zfloor merged.gen floor.gen.gz" \
        one-thread "varnex -M --g m1.gen.gz m2.gen.gz --s m.sample m.sample --og out.gen.gz --os out.sample --threads 1 $log" \
        every-core "varnex -M --g m1.gen.gz m2.gen.gz --s m.sample m.sample --og out.gen.gz --os out.sample $all_cores $log"
      ;;
    gen-to-ped)
      gen_inputs
      bench_gen sample big.sample --samples 2000
      [ -f plain.ped ] || varnex -G --g big.gen --s big.sample --ped plain.ped --map plain.map $log > /dev/null
      bench_run -n "$reps" \
        plain "varnex -G --g big.gen --s big.sample --ped plain.ped --map plain.map $log" \
        zfloor-out "zfloor plain.ped floor.ped.gz" \
        one-thread "varnex -G --g big.gen.gz --s big.sample --ped out.ped.gz --map out.map.gz --threads 1 $log" \
        every-core "varnex -G --g big.gen.gz --s big.sample --ped out.ped.gz --map out.map.gz $all_cores $log"
      ;;
    gen-to-ped-bgen)
      gen_inputs
      bench_gen sample big.sample --samples 2000
      [ big.bgen -nt big.gen ] || varnex -S --g big.gen --start 0 --og big.bgen $log > /dev/null
      bench_run -n "$reps" \
        plain "varnex -G --g big.gen --s big.sample --ped plain.ped --map plain.map $log" \
        bgen "varnex -G --g big.bgen --s big.sample --ped bgen.ped --map bgen.map $log"
      ;;
    ped-to-gen)
      bench_gen ped big.ped "${shape[@]}"
      bench_gen ped big.ped.gz "${shape[@]}"
      bench_gen map big.map "${shape[@]}"
      [ -f p2g.gen ] || varnex -P --ped big.ped --map big.map --og p2g.gen --os p2g.sample $log > /dev/null
      bench_run -n "$reps" \
        plain "varnex -P --ped big.ped --map big.map --og p2g.gen --os p2g.sample $log" \
        zfloor-out "zfloor p2g.gen floor.gen.gz" \
        one-thread "varnex -P --ped big.ped.gz --map big.map --og out.gen.gz --os out.sample.gz --threads 1 $log" \
        every-core "varnex -P --ped big.ped.gz --map big.map --og out.gen.gz --os out.sample.gz $all_cores $log"
      ;;
    bgzf-input)
      gen_inputs
      [ -f big.bgzf.gen.gz ] || varnex -S --g big.gen.gz --start 0 --og big.bgzf.gen.gz --bgzf $log > /dev/null
      # No position reaches the start: the job is the reading.
      bench_run -n "$reps" \
        one-member "varnex -S --g big.gen.gz --start 2000000000 --og out.gen.gz $all_cores $log" \
        bgzf-one-thread "varnex -S --g big.bgzf.gen.gz --start 2000000000 --og out.gen.gz --threads 1 $log" \
        bgzf "varnex -S --g big.bgzf.gen.gz --start 2000000000 --og out.gen.gz $all_cores $log"
      ;;
    *) echo "unknown row: $row" >&2; exit 2 ;;
  esac
done
rm -f out.gen.gz out.sample out.sample.gz out.ped.gz out.map.gz floor.gen.gz floor.ped.gz
