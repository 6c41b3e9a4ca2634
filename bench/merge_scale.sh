#!/usr/bin/env bash
# Merge and orient at scale: many inputs, inputs out of order, repeated strand
# lines. Each case prints CPU seconds (user + system) and peak resident memory
# from /usr/bin/time; give a second binary to time both side by side.
#
#   bench/merge_scale.sh [varnex] [other varnex] [work directory]
#
# Cases (CASES="order many sets strand" by default):
#   order   8 plain inputs x 80,000 lines of 5 individuals, shuffled vs sorted
#           (goal: shuffled within 1.5x of sorted)
#   many    128 shuffled gzip inputs x 2,000 lines x 50 individuals (goal: peak
#           below 64 MiB + 200 bytes per position and input; the run fails when
#           it is above)
#   sets    64 inputs x 5,000 lines x 20 individuals, each lacking a random 10%
#           of the positions, against the same with nothing lacking
#   strand  -O with a strand file of 10M lines over 10,000 positions (goal:
#           below 16 MiB)
set -euo pipefail
VARNEX=$(realpath "${1:-build/varnex}")
OTHER=${2:-}
[ -n "$OTHER" ] && OTHER=$(realpath "$OTHER")
WORK=${3:-build/bench-scale}
mkdir -p "$WORK"
cd "$WORK"

cat > scale_gen.c <<'EOF'
/* scale_gen SEED SAMPLES SNPS SHUFFLE LACK: one GEN file on stdout; SNP i at
   position 1000 + 10 i, triples a function of (sample, i) only; LACK percent of
   the SNPs (chosen by SEED) left out. */
#include <stdio.h>
#include <stdlib.h>
static const char *triples[] = {"1 0 0", "0 1 0", "0 0 1", "0.9 0.1 0", "0.05 0.9 0.05",
  "0 0.2 0.8", "0 0 0", "0.0123 0.9811 0.0066"};
static unsigned mix(unsigned a, unsigned b) {
  unsigned h = a * 2654435761u ^ (b + 0x9e3779b9u + (a << 6) + (a >> 2));
  h ^= h >> 15; h *= 2246822519u; h ^= h >> 13; return h;
}
int main(int argc, char **argv) {
  unsigned seed = atoi(argv[1]), samples = atoi(argv[2]), snps = atoi(argv[3]);
  unsigned shuffle = atoi(argv[4]), lack = atoi(argv[5]), n = 0;
  unsigned *order = malloc(snps * sizeof *order);
  for (unsigned i = 0; i < snps; i++)
    if (mix(seed, i) % 100 >= lack) order[n++] = i;
  srand(seed);
  if (shuffle)
    for (unsigned i = n - 1; i > 0; i--) {
      unsigned j = ((unsigned)rand() * 32768u + (unsigned)rand()) % (i + 1), t = order[i];
      order[i] = order[j]; order[j] = t;
    }
  static char buf[1 << 16];
  setvbuf(stdout, buf, _IOFBF, sizeof buf);
  for (unsigned k = 0; k < n; k++) {
    unsigned i = order[k];
    printf("SNP%u rs%u %u A G", i, i, 1000 + 10 * i);
    for (unsigned s = 0; s < samples; s++) printf(" %s", triples[mix(s + 7 * seed, i) % 8]);
    putchar('\n');
  }
  return 0;
}
EOF
[ -x scale_gen ] || cc -O2 -o scale_gen scale_gen.c

# sample_file NAME PREFIX COUNT: individuals PREFIX0 ... (distinct per input).
sample_file() {
  { echo "ID_1 ID_2 missing"; echo "0 0 0"
    awk -v p="$2" -v n="$3" 'BEGIN { for (s = 0; s < n; s++) printf "%s%d %s%d 0\n", p, s, p, s }'; } > "$1"
}
# timed LABEL CMD...: one run of each binary; prints CPU seconds and peak KiB.
timed() {
  local label=$1; shift
  local bin
  for bin in "$VARNEX" $OTHER; do
    /usr/bin/time -f "%U %S %M" -o time.txt "$bin" "$@" > run.out || { tail -3 run.out; return 1; }
    read -r user sys peak < time.txt
    printf '%-34s %-10s cpu %8.2f s  peak %8d KiB\n' "$label" "$([ "$bin" = "$VARNEX" ] && echo this || echo other)" \
      "$(awk -v a="$user" -v b="$sys" 'BEGIN { print a + b }')" "$peak"
  done
}

for c in ${CASES:-order many sets strand}; do
  case $c in
    order)
      gens_sorted=(); gens_shuffled=(); samples=()
      for g in 0 1 2 3 4 5 6 7; do
        [ -s o$g.sorted.gen ] || ./scale_gen $((g + 1)) 5 80000 0 0 > o$g.sorted.gen
        [ -s o$g.shuffled.gen ] || ./scale_gen $((g + 1)) 5 80000 1 0 > o$g.shuffled.gen
        sample_file o$g.sample "o${g}_" 5
        gens_sorted+=(o$g.sorted.gen); gens_shuffled+=(o$g.shuffled.gen); samples+=(o$g.sample)
      done
      timed "8 plain x 80,000, sorted" -M --g "${gens_sorted[@]}" --s "${samples[@]}" --og o.gen --os o.sample --log o.log
      timed "8 plain x 80,000, shuffled" -M --g "${gens_shuffled[@]}" --s "${samples[@]}" --og s.gen --os s.sample --log o.log
      cmp -s o.gen s.gen || echo "OUTPUTS DIFFER"
      ;;
    many)
      gens=(); samples=()
      for g in $(seq 0 127); do
        [ -s m$g.gen.gz ] || ./scale_gen $((g + 1)) 50 2000 1 0 | gzip -1 > m$g.gen.gz
        sample_file m$g.sample "m${g}_" 50
        gens+=(m$g.gen.gz); samples+=(m$g.sample)
      done
      timed "128 shuffled gzip x 2,000 x 50" -M --g "${gens[@]}" --s "${samples[@]}" --og m.gen.gz --os m.sample --log m.log
      # 2,000 positions, each in 128 inputs.
      budget=$((64 * 1024 + 200 * 2000 * 128 / 1024))
      echo "budget: $budget KiB"
      /usr/bin/time -f "%M" -o time.txt "$VARNEX" -M --g "${gens[@]}" --s "${samples[@]}" --og m.gen.gz --os m.sample --log m.log > /dev/null
      [ "$(cat time.txt)" -le "$budget" ] || { echo "ABOVE BUDGET: $(cat time.txt) KiB"; exit 1; }
      ;;
    sets)
      full=(); lacking=(); samples=()
      for g in $(seq 0 63); do
        [ -s f$g.gen ] || ./scale_gen $((g + 1)) 20 5000 0 0 > f$g.gen
        [ -s l$g.gen ] || ./scale_gen $((g + 1)) 20 5000 0 10 > l$g.gen
        sample_file f$g.sample "f${g}_" 20
        full+=(f$g.gen); lacking+=(l$g.gen); samples+=(f$g.sample)
      done
      timed "64 x 5,000, nothing lacking" -M --g "${full[@]}" --s "${samples[@]}" --og f.gen --os f.sample --log f.log
      timed "64 x 5,000, 10% lacking" -M --g "${lacking[@]}" --s "${samples[@]}" --og l.gen --os l.sample --log f.log
      ;;
    strand)
      [ -s st.gen ] || ./scale_gen 1 10 10000 0 0 > st.gen
      [ -s st.strand ] || awk 'BEGIN { for (i = 0; i < 10000000; i++) printf "%d %s\n", 1000 + 10 * (i % 10000), (i % 3) ? "+" : "-" }' > st.strand
      timed "strand 10M lines, 10,000 positions" -O --g st.gen --strand st.strand --og st.out --log st.log
      ;;
  esac
done
rm -f o.gen s.gen m.gen.gz f.gen l.gen st.out run.out
