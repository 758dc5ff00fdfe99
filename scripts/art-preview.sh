#!/usr/bin/env bash
# Puts the generated artwork on one contact sheet, build/art-preview.png, to
# look at it: every bitmap at 1:1, the coil composed with its mask over a
# grey field, and the icon's images. Needs ImageMagick.
# Usage: scripts/art-preview.sh [art directory]   (default build/native/art)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
art=${1:-$root/build/native/art}
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
for f in "$art"/*.bmp; do
  convert "$f" "$tmp/$(basename "${f%.bmp}").png"
done
convert "$art/coil.bmp" "$art/coil_mask.bmp" -alpha off -compose CopyOpacity -composite \
  -background '#606878' -flatten "$tmp/coil_over_grey.png"
convert "$art/tachyrama.ico" -background '#808080' -flatten "$tmp/icon.png" 2>/dev/null ||
  convert "$art/tachyrama.ico[0]" "$tmp/icon.png"
i=0
for f in "$art/tachyrama.ico"; do
  for n in 0 1 2 3 4; do
    convert "$f[$n]" -background '#808080' -flatten "$tmp/icon_$n.png" && i=$((i + 1))
  done
done
montage "$tmp"/*.png -label '%t' -tile 6x -geometry '+6+6' -background '#303030' \
  -fill white "$root/build/art-preview.png"
echo "$root/build/art-preview.png"
