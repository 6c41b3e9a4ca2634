#!/usr/bin/env bash
# Builds (see setup.sh) and runs the whole test suite under CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
ctest --test-dir build --output-on-failure -j "$(nproc)"
