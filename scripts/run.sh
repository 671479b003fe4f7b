#!/usr/bin/env bash
# Installs what is missing, builds Zadari and starts the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target zadari
exec ./build/release/zadari "$@"
