#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 5)
# on its seed corpus in fuzz/corpus/<target>. New inputs are kept in a scratch
# copy of the corpus; a crash leaves its reproducer in fuzz/findings/.
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
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
cmake --build build-fuzz -j "$(nproc)" >/dev/null

targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for f in fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
mkdir -p fuzz/findings
work=$(mktemp -d "${TMPDIR:-/tmp}/varnex-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t"
  [ -d "fuzz/corpus/$t" ] && cp -r "fuzz/corpus/$t/." "$work/$t/"
  echo "fuzzing $t for ${seconds}s"
  if ! (cd "$work" && "$OLDPWD/build-fuzz/fuzz/$t" "$work/$t" -max_total_time="$seconds" \
          -timeout=1 -rss_limit_mb=2048 -close_fd_mask=1 \
          -artifact_prefix="$OLDPWD/fuzz/findings/$t-" > "$work/$t.log" 2>&1); then
    echo "FAIL: $t found a crash, hang or leak:"
    tail -40 "$work/$t.log"
    status=1
  else
    tail -1 "$work/$t.log"
  fi
done
exit $status
