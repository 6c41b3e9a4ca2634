#!/usr/bin/env bash
# -P on 2,000 samples x 20,000 SNPs (plain PED/MAP, 1% missing) against the
# zlib floor of reading the PED and of writing a GEN-sized file; also with
# both outputs sent to /dev/null (no disk writes) and with
# --discrete_phenotype. Run by hand: bash bench/ped_to_gen.sh [REPS]
source "$(dirname "$0")/lib.sh"
reps=${1:-3}
bench_gen ped big.ped --samples 2000 --snps 20000 --chrom 1
bench_gen map big.map --snps 20000 --chrom 1
bench_size big.ped big.map
# A GEN-sized file for the write floor: made once by the mode itself.
[ -f floor.gen ] || varnex -P --ped big.ped --map big.map --og floor.gen --os floor.sample --log p.log > /dev/null
bench_size floor.gen
bench_run -n "$reps" \
  zfloor-read "zfloor big.ped" \
  zfloor-write "zfloor floor.gen out.copy" \
  ped_to_gen "varnex -P --ped big.ped --map big.map --og out.gen --os out.sample --log p.log" \
  to_null "varnex -P --ped big.ped --map big.map --og /dev/null --os /dev/null --log p.log" \
  discrete "varnex -P --ped big.ped --map big.map --og grp.gen --os grp.sample --discrete_phenotype --log p.log"
