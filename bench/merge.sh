#!/usr/bin/env bash
# Merge benchmark: two generated GEN/SAMPLE pairs of 1,000 samples x 20,000
# SNPs each, half of the positions and a quarter of the individuals shared,
# merged plain and gzip, sorted and shuffled. Each run is timed against a zlib
# floor measured in the same run: every input read twice with gzread, and the
# merged text written once (gzwrite level 6 for a gzip output name).
#
#   bench/merge.sh [varnex binary] [work directory]
#
# KINDS=plain (or gz) runs only those merges.
# RUNS=n times every command n times and reports the median, with the
# minimum in brackets (CPU and wall); peak memory is the largest seen.
#
# Goals: sorted runs within 1.3x of the floor; shuffled gzip within 2x of
# sorted gzip; peak memory below 64 MiB + 200 bytes per position and input.
set -euo pipefail
VARNEX=$(realpath "${1:-build/varnex}")
WORK=${2:-build/bench-merge}
SAMPLES=${SAMPLES:-1000}
SNPS=${SNPS:-20000}
RUNS=${RUNS:-1}
mkdir -p "$WORK"
WORK=$(realpath "$WORK")
cd "$WORK"

cat > gen.c <<'EOF'
/* gen SEED FIRST_SAMPLE SAMPLES FIRST_SNP SNPS SHUFFLE: one GEN file on stdout.
   SNP i stands at position 1000 + 10 i; the triple of individual s at SNP i
   depends on (s, i) only, so shared individuals agree at shared positions. */
#include <stdio.h>
#include <stdlib.h>
static const char *triples[] = {"1 0 0", "0 1 0", "0 0 1", "1 0 0", "0 1 0", "0 0 1",
  "0.9 0.1 0", "0.05 0.9 0.05", "0 0.2 0.8", "0.333 0.333 0.334", "0 0 0",
  "0.0123 0.9811 0.0066", "0.98 0.02 0", "1 0 0", "0 0 1", "0 1 0"};
static unsigned mix(unsigned a, unsigned b) {
  unsigned h = a * 2654435761u ^ (b + 0x9e3779b9u + (a << 6) + (a >> 2));
  h ^= h >> 15; h *= 2246822519u; h ^= h >> 13; return h;
}
int main(int argc, char **argv) {
  unsigned first_sample = atoi(argv[2]), samples = atoi(argv[3]);
  unsigned first = atoi(argv[4]), snps = atoi(argv[5]), shuffle = atoi(argv[6]);
  unsigned *order = malloc(snps * sizeof *order);
  for (unsigned i = 0; i < snps; i++) order[i] = first + i;
  srand(atoi(argv[1]));
  if (shuffle)
    for (unsigned i = snps - 1; i > 0; i--) {
      unsigned j = ((unsigned)rand() * 32768u + (unsigned)rand()) % (i + 1), t = order[i];
      order[i] = order[j]; order[j] = t;
    }
  static char buf[1 << 16];
  setvbuf(stdout, buf, _IOFBF, sizeof buf);
  for (unsigned k = 0; k < snps; k++) {
    unsigned i = order[k];
    printf("SNP%u rs%u %u A G", i, i, 1000 + 10 * i);
    for (unsigned s = first_sample; s < first_sample + samples; s++)
      printf(" %s", triples[mix(s, i) % 16]);
    putchar('\n');
  }
  return 0;
}
EOF

cat > floor.c <<'EOF'
/* floor OUT EXPECTED IN...: reads every IN twice with gzread, then writes the
   text of EXPECTED to OUT (gzwrite level 6 when OUT names a gz file). */
#include <stdio.h>
#include <string.h>
#include <zlib.h>
int main(int argc, char **argv) {
  static char buf[1 << 20];
  unsigned long long total = 0;
  for (int pass = 0; pass < 2; pass++)
    for (int i = 3; i < argc; i++) {
      gzFile f = gzopen(argv[i], "rb");
      gzbuffer(f, 256 * 1024);
      int n;
      while ((n = gzread(f, buf, sizeof buf)) > 0) total += n;
      gzclose(f);
    }
  FILE *in = fopen(argv[2], "rb");
  int gz = strstr(argv[1], ".gz") != NULL;
  gzFile out = gzopen(argv[1], gz ? "wb6" : "wT");
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, in)) > 0) gzwrite(out, buf, (unsigned)n);
  gzclose(out);
  fclose(in);
  fprintf(stderr, "floor read %llu bytes\n", total);
  return 0;
}
EOF
cc -O2 -o gen gen.c
cc -O2 -o floor floor.c -lz

half=$((SNPS / 2)); quarter=$((SAMPLES / 4))
sample_file() { # sample_file NAME FIRST COUNT
  { echo "ID_1 ID_2 missing pheno"; echo "0 0 0 P"
    awk -v f="$2" -v n="$3" 'BEGIN { for (s = f; s < f + n; s++) printf "fam%d ind%d 0 %d\n", s, s, s % 2 }'; } > "$1"
}
sample_file a.sample 0 "$SAMPLES"
sample_file b.sample $((SAMPLES - quarter)) "$SAMPLES"
for order in sorted shuffled; do
  shuffle=0; [ $order = shuffled ] && shuffle=1
  [ -s a.$order.gen ] || ./gen 1 0 "$SAMPLES" 0 "$SNPS" $shuffle > a.$order.gen
  [ -s b.$order.gen ] || ./gen 2 $((SAMPLES - quarter)) "$SAMPLES" "$half" "$SNPS" $shuffle > b.$order.gen
  [ -s a.$order.gen.gz ] || gzip -6 -c a.$order.gen > a.$order.gen.gz
  [ -s b.$order.gen.gz ] || gzip -6 -c b.$order.gen > b.$order.gen.gz
done
ls -l a.*.gen b.*.gen a.*.gen.gz b.*.gen.gz | awk '{ printf "%12d %s\n", $5, $9 }'

positions=$((SNPS + half))
budget=$((64 * 1024 + 200 * positions * 2 / 1024))
echo "memory budget: $budget KiB (64 MiB + 200 B x $positions positions x 2 inputs)"
# Wall seconds and CPU seconds (user + system): on a shared machine the CPU
# ratio is the steadier one.
# median_min FILE: "median (min)" of the numbers in FILE, one a line.
median_min() {
  sort -g "$1" | awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    if (NR == 1) printf "%.2f", m; else printf "%.2f(%.2f)", m, v[1] }'
}
median() { sort -g "$1" | awk '{ v[NR] = $1 } END { printf "%.2f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%-16s %15s %15s %7s %15s %15s %7s %10s\n' run varnex_s floor_s ratio varnex_cpu floor_cpu ratio maxrss_KiB
declare -A took cputook
for kind in ${KINDS:-plain gz}; do
  z=; [ "$kind" = gz ] && z=.gz
  for order in sorted shuffled; do
    out=merged.$order.gen$z
    : > v_wall; : > v_cpu; : > f_wall; : > f_cpu; rss=0
    for ((run = 0; run < RUNS; run++)); do
      rm -f "$out" merged.sample
      /usr/bin/time -f "%e %U %S %M" -o time.txt "$VARNEX" -M --g a.$order.gen$z b.$order.gen$z \
        --s a.sample b.sample --og "$out" --os merged.sample --log bench.log > /dev/null
      read -r secs user sys peak < time.txt
      echo "$secs" >> v_wall; awk -v a="$user" -v b="$sys" 'BEGIN { print a + b }' >> v_cpu
      [ "$peak" -gt "$rss" ] && rss=$peak
      if [ -n "$z" ]; then gzip -dc "$out" > expected.txt; else cp "$out" expected.txt; fi
      /usr/bin/time -f "%e %U %S" -o floor.txt ./floor floor.out$z expected.txt a.$order.gen$z b.$order.gen$z 2>/dev/null
      read -r fsecs fuser fsys < floor.txt
      echo "$fsecs" >> f_wall; awk -v a="$fuser" -v b="$fsys" 'BEGIN { print a + b }' >> f_cpu
    done
    secs=$(median v_wall); cpu=$(median v_cpu); fsecs=$(median f_wall); fcpu=$(median f_cpu)
    name="${z:-.plain}"; name="${name#.} $order"
    took[$name]=$secs; cputook[$name]=$cpu
    printf '%-16s %15s %15s %7s %15s %15s %7s %10s\n' "$name" "$(median_min v_wall)" "$(median_min f_wall)" \
      "$(awk -v a="$secs" -v b="$fsecs" 'BEGIN { printf "%.2f", a / b }')" "$(median_min v_cpu)" "$(median_min f_cpu)" \
      "$(awk -v a="$cpu" -v b="$fcpu" 'BEGIN { printf "%.2f", a / b }')" "$rss"
  done
done
if [ -n "${took[gz sorted]:-}" ]; then
  cmp -s <(gzip -dc merged.sorted.gen.gz) merged.shuffled.gen && echo "sorted and shuffled outputs identical" \
    || echo "OUTPUTS DIFFER"
  echo "shuffled gzip / sorted gzip: wall $(awk -v a="${took[gz shuffled]}" -v b="${took[gz sorted]}" 'BEGIN { printf "%.2f", a / b }')," \
    "cpu $(awk -v a="${cputook[gz shuffled]}" -v b="${cputook[gz sorted]}" 'BEGIN { printf "%.2f", a / b }')"
fi
cmp -s merged.sorted.gen merged.shuffled.gen || echo "PLAIN OUTPUTS DIFFER"
