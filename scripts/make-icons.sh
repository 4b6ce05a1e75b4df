#!/bin/sh
# Regenerates the raster icons from resources/update.svg (needs librsvg2-bin, icoutils).
set -eu
cd "$(dirname "$0")/../resources"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# 20, 40, 64 and 96: what 125 % to 200 % displays ask for the 16, 32 and 48 icons.
for s in 16 20 24 32 40 48 64 96 128 256; do
    rsvg-convert -w $s -h $s update.svg -o "$tmp/$s.png"
done
icotool -c -o update.ico "$tmp/16.png" "$tmp/20.png" "$tmp/24.png" "$tmp/32.png" "$tmp/40.png" "$tmp/48.png" "$tmp/64.png" "$tmp/96.png" "$tmp/128.png" -r "$tmp/256.png"
icotool -c -o update-small.ico "$tmp/16.png" "$tmp/32.png"
cp "$tmp/256.png" update.png
cp update.ico windows/update.ico
