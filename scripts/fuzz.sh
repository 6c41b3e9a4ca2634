#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 5)
# on its seed corpus in fuzz/corpus/<target> and the inputs that once found a
# fault, fuzz/regressions/<target>, one target at a time. New inputs
# are kept in build-fuzz/corpus/<target>, so later runs go on from there; a
# crash, a run over 1 s or over 2 GB leaves its reproducer in fuzz/findings/.
# Prints one line per target: runs, coverage (edges, features), corpus size.
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
# Reproduce a finding: build-fuzz/fuzz/<target> fuzz/findings/<file>
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
shift || true

if ! command -v clang++ >/dev/null || ! dpkg -s libclang-rt-14-dev >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq clang libclang-rt-14-dev >/dev/null
fi
CXX=clang++ cmake -S . -B build-fuzz -DVARNEX_FUZZ=ON -DVARNEX_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j "${VARNEX_FUZZ_JOBS:-$(nproc)}" >/dev/null

targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
root=$(pwd)
mkdir -p fuzz/findings
# Scratch files on tmpfs when there is one: a disk that stalls under load
# would pass for a hang of the target.
base=${TMPDIR:-/tmp}
if [ -z "${VARNEX_FUZZ_KEEP_TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then base=/dev/shm; fi
work=$(mktemp -d "$base/varnex-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus"
  [ -d "fuzz/corpus/$t" ] && cp -r "fuzz/corpus/$t/." "$corpus/"
  # Inputs that once found a fault stay in every run.
  [ -d "fuzz/regressions/$t" ] && cp -r "fuzz/regressions/$t/." "$corpus/"
  log=$work/$t.log
  # Scratch files of the targets go to $work, removed at the end; "-" as a
  # name reads an empty standard input.
  if ! (cd "$work" && TMPDIR="$work" "$root/build-fuzz/fuzz/$t" "$root/$corpus" \
          -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -close_fd_mask=1 \
          -print_final_stats=1 -artifact_prefix="$root/fuzz/findings/$t-" < /dev/null > "$log" 2>&1); then
    echo "FAIL: $t found a crash, hang or leak:"
    tail -40 "$log"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  echo "$t: ${seconds}s, ${runs:-?} runs, cov ${cov:-?}, ft ${ft:-?}, corpus $(ls "$corpus" | wc -l)"
  if [ -n "${VARNEX_FUZZ_LOG:-}" ]; then cp "$log" "$VARNEX_FUZZ_LOG.$t"; fi
done
exit $status
