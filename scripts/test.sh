#!/usr/bin/env bash
# Installs what is missing, builds everything with -Werror under AddressSanitizer + UBSan and
# runs every test (unit, widget, end-to-end); then builds and runs the fuzz targets (clang), the
# ThreadSanitizer tests and the Debian package's checks. Ends with one line counting every test
# run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# pipefail makes a failing ctest fail the pipe, and set -e then stops the script.
run_ctest() { ctest "$@" 2>&1 | tee -a "$log"; }

cmake --preset ci
cmake --build --preset ci -j "$jobs"
run_ctest --preset ci -j "$jobs"

cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
run_ctest --preset fuzz --no-tests=ignore -j "$jobs"

cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
run_ctest --preset tsan --no-tests=ignore

# The Debian package: the release build of the two programs, then its tests make the .deb, check
# it (lintian, AppStream, desktop entry, manual page), install it with apt, run the installed
# zadari-cli and purge it again (packaging/tests.cmake).
cmake --preset package
cmake --build --preset package -j "$jobs"
run_ctest --preset package

# ctest prints "N% tests passed, F tests failed out of T" per run; add them up.
awk '/tests passed, [0-9]+ tests? failed out of/ {
        for (i = 1; i <= NF; i++) if ($i == "of") total += $(i + 1);
        failed += $4 }
     END { printf "summary: %d passed, %d failed\n", total - failed, failed }' "$log"
