#!/usr/bin/env bash
# Renders the program's icon (src/gui/resources/zadari.svg) in the hicolor theme's fixed sizes
# into packaging/icons/<N>x<N>/zadari.png. The PNGs are kept in the repository so that building
# the package needs no SVG renderer; run this again after changing the SVG (needs librsvg2-bin).
# The 256x256 icon is the window's own src/gui/resources/zadari.png, installed with the window.
set -euo pipefail
cd "$(dirname "$0")"
svg=../src/gui/resources/zadari.svg
for size in 16 22 24 32 48 64 128 512; do
    mkdir -p "icons/${size}x${size}"
    rsvg-convert --width "$size" --height "$size" --format png \
        --output "icons/${size}x${size}/zadari.png" "$svg"
done
