#!/usr/bin/env bash
# Subset mode speed and memory on a generated GEN/SAMPLE pair.
#
#   bash bench/subset.sh [build/varnex] [work directory]
#
# Data: 2,000 samples x 20,000 SNPs (about 0.4 GB of GEN text), four fifths of
# the genotypes hard calls (1 0 0 / 0 1 0 / 0 0 1), one fifth uncertain triples
# with six decimals. Two jobs, each on plain and on gzip input:
#   all   keep every sample and SNP (--start 0)
#   half  keep the even-numbered samples (--sample_id)
# References, measured in the same run:
#   plain: cat input > output
#   gzip:  the zlib floor, gzread of the input plus gzwrite (level 6) of the
#          job's own output, in one C program
# Peak memory is the maximum resident set size reported by /usr/bin/time. On a
# shared machine wall times swing with the load, so the CPU times (user + system)
# and their ratios are printed too.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
varnex=$(cd "$(dirname "${1:-$root/build/varnex}")" && pwd)/$(basename "${1:-$root/build/varnex}")
work=${2:-${TMPDIR:-/tmp}/varnex-bench-subset}
samples=${SAMPLES:-2000}
snps=${SNPS:-20000}
mkdir -p "$work"
cd "$work"

if [ ! -s data.gen ] || [ "$(cat data.shape 2>/dev/null)" != "$samples x $snps" ]; then
  echo "generating $samples samples x $snps SNPs in $work"
  python3 - "$samples" "$snps" <<'EOF'
import random, sys
n, m = int(sys.argv[1]), int(sys.argv[2])
rng = random.Random(20260101)
calls = ["1 0 0", "0 1 0", "0 0 1"]
def uncertain():
    a, b = rng.random(), rng.random()
    lo, hi = min(a, b), max(a, b)
    return "%.6f %.6f %.6f" % (lo, hi - lo, 1 - hi)
pool = [uncertain() for _ in range(5000)]
weights = [0.8 / 3] * 3 + [0.2 / len(pool)] * len(pool)
choices = calls + pool
with open("data.gen", "w") as gen:
    for j in range(m):
        triples = rng.choices(choices, weights=weights, k=n)
        gen.write("SNP%d rs%d %d A G %s\n" % (j, 1000 + j, 10000 + 37 * j, " ".join(triples)))
with open("data.sample", "w") as s:
    s.write("ID_1 ID_2 missing sex phenotype\n0 0 0 D P\n")
    for i in range(n):
        s.write("fam%d ind%d 0 %d %d\n" % (i, i, 1 + i % 2, i % 2))
with open("half.ids", "w") as ids:
    for i in range(0, n, 2):
        ids.write("ind%d\n" % i)
EOF
  gzip -6 -c data.gen > data.gen.gz
  echo "$samples x $snps" > data.shape
fi

if [ ! -x zfloor ]; then
  cat > zfloor.c <<'EOF'
/* zfloor IN.gz EXPECTED OUT.gz: gzread all of IN, then gzwrite EXPECTED at
   level 6 into OUT; the least work a gzip-to-gzip rewrite can do. */
#include <stdio.h>
#include <stdlib.h>
#include <zlib.h>
int main(int argc, char** argv) {
  static char buf[1 << 20];
  if (argc != 4) return 2;
  gzFile in = gzopen(argv[1], "rb");
  if (!in) return 1;
  gzbuffer(in, 1 << 18);
  int got;
  unsigned long total = 0;
  while ((got = gzread(in, buf, sizeof buf)) > 0) total += got;
  gzclose(in);
  FILE* plain = fopen(argv[2], "rb");
  gzFile out = gzopen(argv[3], "wb6");
  if (!plain || !out) return 1;
  gzbuffer(out, 1 << 18);
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, plain)) > 0) gzwrite(out, buf, (unsigned)n);
  fclose(plain);
  return gzclose(out) == Z_OK && total > 0 ? 0 : 1;
}
EOF
  cc -O2 -o zfloor zfloor.c -lz
fi

# one command's wall seconds, CPU seconds and peak kilobytes: "wall cpu rss"
measure() {
  /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" > /dev/null
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' time.txt
}

ls -l data.gen data.gen.gz | awk '{print $5, $9}'
set -- $(measure sh -c 'cat data.gen > cat.out')
t_cat=$1 c_cat=$2
rm -f cat.out
echo "cat input > output: ${t_cat}s wall, ${c_cat}s CPU"

run_job() {
  local label=$1
  shift
  local plain gz
  plain=$(measure "$varnex" -S --g data.gen --og out.gen --log bench.log "$@" --s data.sample --os out.sample)
  gz=$(measure "$varnex" -S --g data.gen.gz --og out.gen.gz --log bench.log "$@" --s data.sample --os out.sample.gz)
  gzip -dc out.gen.gz > expected.gen
  cmp -s expected.gen out.gen || { echo "plain and gzip outputs differ"; exit 1; }
  local floor
  floor=$(measure ./zfloor data.gen.gz expected.gen floor.gz)
  awk -v l="$label" -v p="$plain" -v g="$gz" -v f="$floor" -v tc="$t_cat" -v cc="$c_cat" 'BEGIN {
    split(p, P, " "); split(g, G, " "); split(f, F, " ")
    printf "%-5s plain: %6.2fs wall = %5.2fx cat, %6.2fs CPU = %5.2fx cat, peak %5.1f MiB\n",
           l, P[1], P[1] / tc, P[2], P[2] / cc, P[3] / 1024
    printf "%-5s gzip:  %6.2fs wall = %5.2fx floor (%.2fs), %6.2fs CPU = %5.2fx floor (%.2fs), peak %5.1f MiB\n",
           l, G[1], G[1] / F[1], F[1], G[2], G[2] / F[2], F[2], G[3] / 1024 }'
  rm -f expected.gen floor.gz
}

run_job all --start 0
run_job half --sample_id half.ids
ls -l out.gen | awk '{print "last output:", $5, "bytes"}'
