#!/usr/bin/env bash
# GEN to PED speed and peak memory on a generated workload (not a test).
#
#   bash bench/gen_to_ped.sh [varnex binary] [work directory]
#
# Generates (once, kept in the work directory) a plain GEN file of N samples x
# M SNPs (default 2,000 x 20,000, chromosome 1) with imputed-style
# probabilities, in two versions: every genotype callable at 0.9, and 10% of
# them not (one "Missing data at locus" line each). Times `varnex -G` on both
# with /usr/bin/time -v; plink1.9 and plink2 run on the same files when they are
# installed. The limit on peak memory is N x M / 4 bytes plus 16 MiB.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
VARNEX=$(cd "$(dirname "${1:-$ROOT/build/varnex}")" && pwd)/$(basename "${1:-$ROOT/build/varnex}")
WORK=${2:-${TMPDIR:-/tmp}/varnex-bench-gen-to-ped}
N=${N:-2000}
M=${M:-20000}
mkdir -p "$WORK"
cd "$WORK"

if [ ! -x make_gen ]; then
  cat > make_gen.cpp <<'EOF'
// make_gen SAMPLES SNPS MISSING_PERCENT SEED > file.gen
#include <cstdio>
#include <cstdlib>
#include <random>
int main(int argc, char** argv) {
  long n = std::atol(argv[1]), m = std::atol(argv[2]);
  int missing = std::atoi(argv[3]);
  std::mt19937_64 r(std::atoll(argv[4]));
  const char* bases = "ACGT";
  static char line[1 << 24];
  for (long k = 0; k < m; ++k) {
    int a = r() % 4, b = (a + 1 + r() % 3) % 4;
    char* p = line + std::sprintf(line, "1 rs%ld %ld %c %c", 1000 + k, 10000 + 37 * k, bases[a], bases[b]);
    for (long j = 0; j < n; ++j) {
      unsigned long x = r();
      int g = x % 3;
      double v[3];
      if (static_cast<int>((x >> 8) % 100) < missing) {  // nothing reaches 0.9
        v[0] = 0.05 + (x >> 16) % 4000 / 10000.0;
        v[1] = 0.05 + (x >> 32) % 4000 / 10000.0;
        v[2] = 1 - v[0] - v[1];
      } else if ((x >> 8) % 10 < 3) {  // a hard call
        v[0] = v[1] = v[2] = 0;
        v[g] = 1;
      } else {
        double top = 0.9 + (x >> 16) % 1000 / 10000.0;
        v[g] = top;
        v[(g + 1) % 3] = (1 - top) * ((x >> 32) % 10) / 10.0;
        v[(g + 2) % 3] = 1 - top - v[(g + 1) % 3];
      }
      for (double d : v) {
        if (d < 0.00005) p += std::sprintf(p, " 0");
        else if (d > 0.99995) p += std::sprintf(p, " 1");
        else p += std::sprintf(p, " %.4f", d);
      }
    }
    *p++ = '\n';
    std::fwrite(line, 1, p - line, stdout);
  }
}
EOF
  g++ -O2 -o make_gen make_gen.cpp
fi

if [ ! -f "b0.gen" ] || [ "$(head -n 1 b0.gen | wc -w)" -ne $((5 + 3 * N)) ] || [ "$(wc -l < b0.gen)" -ne "$M" ]; then
  echo "generating $N samples x $M SNPs..."
  ./make_gen "$N" "$M" 0 1 > b0.gen
  ./make_gen "$N" "$M" 10 1 > b10.gen
  { echo "ID_1 ID_2 missing sex pheno"; echo "0 0 0 D P"
    for ((j = 1; j <= N; j++)); do echo "fam$j ind$j 0 $((j % 2 + 1)) $((j % 3))"; done; } > b.sample
fi
ls -l b0.gen b10.gen

measure() {  # label, command...
  local label=$1
  shift
  /usr/bin/time -f '%e %U %S %M' -o time.txt "$@" > out.txt || { echo "$label failed"; tail -5 out.txt; return; }
  read -r wall user sys rss < time.txt
  printf '%-40s %6.2f s wall  %6.2f s cpu  %6.1f MB peak\n' "$label" "$wall" \
    "$(echo "$user + $sys" | bc -l)" "$(echo "$rss / 1024" | bc -l)"
}

echo "limit on peak memory: $(echo "($N * $M / 4 + 16 * 1048576) / 1048576" | bc -l | cut -c1-6) MB"
echo "(wall time suffers from other processes on a shared machine; cpu = user + system)"
for run in 1 2 3; do
  measure "varnex -G (no missing)" "$VARNEX" -G --g b0.gen --s b.sample --ped v0.ped --map v0.map
  measure "varnex -G (10% missing)" "$VARNEX" -G --g b10.gen --s b.sample --ped v10.ped --map v10.map
  # The same file with every call made: what the messages cost, alone.
  measure "varnex -G (10% file, threshold 0)" "$VARNEX" -G --g b10.gen --s b.sample --ped v10.ped \
    --map v10.map --threshold 0
done
if command -v plink1.9 > /dev/null; then
  measure "plink1.9 (no missing)" plink1.9 --gen b0.gen --sample b.sample --hard-call-threshold 0.1 \
    --recode --threads 1 --out p19
fi
if command -v plink2 > /dev/null; then
  measure "plink2 (no missing)" plink2 --gen b0.gen ref-first --sample b.sample \
    --hard-call-threshold 0.1 --export ped --threads 1 --out p2
fi
