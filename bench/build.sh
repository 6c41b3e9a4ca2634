#!/usr/bin/env bash
# Builds the timing tools into bench/work/build and a Release varnex (without
# the tests) into bench/work/varnex, apart from the developer's own build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S bench -B bench/work/build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build bench/work/build -j 2 >/dev/null
if [ "${BENCH_SKIP_VARNEX:-0}" != 1 ]; then
  cmake -S . -B bench/work/varnex -DCMAKE_BUILD_TYPE=Release -DVARNEX_TESTS=OFF >/dev/null
  cmake --build bench/work/varnex -j 2 --target varnex >/dev/null
fi
