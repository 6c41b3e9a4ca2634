# Helpers for bench/<mode>.sh scripts. Source it, then:
#
#   bench_gen gen  big.gen.gz --samples 2000 --snps 40000 --uncertain 0.2
#   bench_gen sample big.sample --samples 2000
#   bench_run -n 3 \
#     zfloor "zfloor big.gen.gz out.gen.gz" \
#     subset "varnex -S --g big.gen.gz --start 1 --og out.gen.gz"
#
# Everything runs in bench/work/data (kept between runs; generated files are
# made again only when their options change). `varnex`, `zfloor`,
# `gen_workload` and `benchrun` are on PATH; VARNEX=path picks another binary.
set -euo pipefail
BENCH_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BENCH_WORK="$BENCH_ROOT/bench/work"
BENCH_DATA="$BENCH_WORK/data"

bash "$BENCH_ROOT/bench/build.sh"
mkdir -p "$BENCH_DATA" "$BENCH_WORK/bin"
ln -sf "${VARNEX:-$BENCH_WORK/varnex/varnex}" "$BENCH_WORK/bin/varnex"
export PATH="$BENCH_WORK/bin:$BENCH_WORK/build:$PATH"
cd "$BENCH_DATA"

# bench_gen KIND NAME [gen_workload options]: makes NAME in the data directory
# unless it exists already with the same options.
bench_gen() {
  local kind=$1 name=$2
  shift 2
  local stamp=".$name.options"
  local want="$kind $*"
  if [ -f "$name" ] && [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
    return 0
  fi
  rm -f "$stamp"
  echo "generating $name ($want)"
  gen_workload "$kind" "$@" "$name"
  echo "$want" > "$stamp"
}

# bench_run [benchrun options] LABEL CMD ...: times the commands side by side.
bench_run() { benchrun "$@"; }

# bench_size NAME...: prints the size of each file in MiB.
bench_size() {
  local f
  for f in "$@"; do
    stat -c '%s %n' "$f" | awk '{ printf "%-32s %9.1f MiB\n", $2, $1 / 1048576 }'
  done
}
