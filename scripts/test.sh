#!/usr/bin/env bash
# The whole test suite: the Release build's tests, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, again under
# ThreadSanitizer, and a short run of every
# fuzz target. Installs what is missing first (see setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEX_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$(nproc)" >/dev/null
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"

# Merges read and outputs are written by threads of their own.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARNEX_SANITIZE_THREAD=ON >/dev/null
cmake --build build-tsan -j "$(nproc)" >/dev/null
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$(nproc)"

bash scripts/fuzz.sh "${VARNEX_FUZZ_SECONDS:-5}"
