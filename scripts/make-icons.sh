#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG. The PNGs are committed,
# so building needs no SVG renderer; run this after editing the SVG.
set -euo pipefail
cd "$(dirname "$0")/../data/icons/hicolor"
command -v rsvg-convert >/dev/null || { echo "needs rsvg-convert (apt-get install librsvg2-bin)" >&2; exit 1; }
for size in 16 24 32 48 64 128 256; do
    mkdir -p "${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" scalable/apps/org.ondril.Ondril.svg -o "${size}x${size}/apps/org.ondril.Ondril.png"
done
