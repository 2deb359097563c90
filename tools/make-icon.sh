#!/usr/bin/env bash
# Draws the application icon (a spark with the character 汉) and writes res/launcher.ico.
# The icon is committed; run this only to change it.
set -euo pipefail
cd "$(dirname "$0")/.."
font=$(fc-list :lang=zh file | head -n 1 | cut -d: -f1)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16 32 48; do
  convert -size ${size}x${size} xc:none \
    -fill '#d9480f' -draw "roundrectangle 0,0 $((size-1)),$((size-1)) $((size/5)),$((size/5))" \
    -fill '#ffd43b' -draw "circle $((size*3/4)),$((size/4)) $((size*3/4+size/10)),$((size/4))" \
    -font "$font" -pointsize $((size*7/10)) -fill white -gravity center -annotate +0+$((size/16)) '汉' \
    "$tmp/icon-$size.png"
done
convert "$tmp/icon-16.png" "$tmp/icon-32.png" "$tmp/icon-48.png" res/launcher.ico
