#!/usr/bin/env bash
# Renders the program icon dist/orlenway.svg into the PNG sizes of the icon theme
# (app/icons/png/orlenway-<size>.png). The PNGs are committed, so a build needs no SVG
# renderer; run this after changing the SVG (needs rsvg-convert, Debian librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p app/icons/png
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" dist/orlenway.svg -o "app/icons/png/orlenway-$size.png"
done
