#!/usr/bin/env bash
# Installs what is missing, builds everything with -Werror under AddressSanitizer + UBSan and
# runs every test (unit, widget, end-to-end); then builds and runs the fuzz targets (clang) and
# the ThreadSanitizer tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

cmake --preset ci
cmake --build --preset ci -j "$jobs"
ctest --preset ci -j "$jobs"

cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz

cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan --no-tests=ignore
