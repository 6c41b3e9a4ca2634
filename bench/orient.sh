#!/usr/bin/env bash
# Orient-mode benchmark: a generated GEN file of 2,000 samples x 20,000 SNPs
# (about 0.5 GB) with a strand entry for every position, half of them "-".
#
#   bash bench/orient.sh [path/to/varnex] [work directory]
#
# Prints wall time and peak memory of:
#   cat input > output                    (the plain reference)
#   varnex -O plain, without and with --order
#   zlib floor: gzread of the .gz input + gzwrite level 6 of the output (C)
#   varnex -O gzip in, gzip out
# The work directory (default $TMPDIR or /tmp) keeps the generated files
# between runs; delete it to start afresh.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
VARNEX=$(cd "$(dirname "${1:-$ROOT/build/varnex}")" && pwd)/$(basename "${1:-$ROOT/build/varnex}")
WORK=${2:-${TMPDIR:-/tmp}/varnex-bench-orient}
mkdir -p "$WORK"
cd "$WORK"

cat > gen.c <<'EOF'
/* Writes bench.gen (SNPS lines of SAMPLES triples) and bench.strand. */
#include <stdio.h>
#include <stdlib.h>
#define SAMPLES 2000
#define SNPS 20000
static unsigned long long state = 88172645463325252ULL;
static unsigned next(void) {
  state ^= state << 13; state ^= state >> 7; state ^= state << 17;
  return (unsigned)(state >> 11);
}
int main(void) {
  static const char* letters = "ACGT";
  FILE* gen = fopen("bench.gen", "w");
  FILE* strand = fopen("bench.strand", "w");
  if (!gen || !strand) return 1;
  static char line[SAMPLES * 20 + 100];
  for (int i = 0; i < SNPS; ++i) {
    int pos = 10000 + 37 * i;
    int a = next() % 4, b = (a + 1 + next() % 3) % 4;
    char* p = line + sprintf(line, "SNP_%d rs%d %d %c %c", i, 100000 + i, pos, letters[a], letters[b]);
    for (int k = 0; k < SAMPLES; ++k) {
      unsigned r = next();
      if (r % 100 < 46) {
        static const char* hard[] = {" 1 0 0", " 0 1 0", " 0 0 1"};
        p += sprintf(p, "%s", hard[(r >> 8) % 3]);
      } else {
        int x = 500 + (r >> 8) % 500, y = (r >> 20) % (1001 - x), z = 1000 - x - y;
        p += z ? sprintf(p, " 0.%03d 0.%03d 0.%03d", x, y, z) : sprintf(p, " 0.%03d 0.%03d 0", x, y);
      }
    }
    *p++ = '\n';
    fwrite(line, 1, p - line, gen);
    fprintf(strand, "%d %c\n", pos, i % 2 ? '+' : '-');
  }
  return fclose(gen) || fclose(strand);
}
EOF

cat > floor.c <<'EOF'
/* The zlib floor: decompress argv[1] with gzread, compress it with gzwrite level 6. */
#include <stdio.h>
#include <zlib.h>
int main(int argc, char** argv) {
  static char buffer[1 << 20];
  if (argc != 3) return 2;
  gzFile in = gzopen(argv[1], "rb");
  gzFile out = gzopen(argv[2], "wb6");
  if (!in || !out) return 1;
  int n;
  while ((n = gzread(in, buffer, sizeof buffer)) > 0)
    if (gzwrite(out, buffer, n) != n) return 1;
  return n < 0 || gzclose(in) != Z_OK || gzclose(out) != Z_OK;
}
EOF

if [ ! -s bench.gen.gz ]; then
  cc -O2 -o gen gen.c
  ./gen
  gzip -6 -c bench.gen > bench.gen.gz
fi
cc -O2 -o floor floor.c -lz

measure() {  # label, command...
  local label=$1
  shift
  sync
  /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" > run.out
  read -r seconds user sys kib < time.txt
  printf "%-34s %7.2f s wall %7.2f s user %6.2f s sys %8d KiB\n" "$label" "$seconds" "$user" "$sys" "$kib"
}

ls -l bench.gen bench.gen.gz bench.strand | awk '{print $5, $9}'
cat bench.gen > /dev/null  # into the page cache
measure "cat input > output" sh -c 'cat bench.gen > cat.out'
measure "varnex -O plain" "$VARNEX" -O --g bench.gen --strand bench.strand --og plain.out
measure "varnex -O plain --order" "$VARNEX" -O --g bench.gen --strand bench.strand --og order.out --order
measure "zlib floor (gzread + gzwrite 6)" ./floor bench.gen.gz floor.out.gz
measure "varnex -O gzip in and out" "$VARNEX" -O --g bench.gen.gz --strand bench.strand --og gz.out.gz
rm -f cat.out plain.out order.out floor.out.gz gz.out.gz
