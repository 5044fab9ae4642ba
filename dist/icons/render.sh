#!/bin/sh
# Renders the icon's PNG sizes from tq5900k.svg (needs rsvg-convert, Debian
# librsvg2-bin). The PNGs are kept in the repository so a build needs neither.
set -eu
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" tq5900k.svg -o "tq5900k-$size.png"
done
