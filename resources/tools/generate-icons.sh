#!/usr/bin/env bash
# Draws the PNG icons from their SVG sources (needs rsvg-convert, Debian's librsvg2-bin):
#   desktop/icons/app.korimado.Korimado.svg -> desktop/icons/hicolor/<size>/apps/*.png and AppIcon.png
#   tools/icons/<name>.svg                  -> Icons/<name>.png, the sidebar's own file icons
# Run it after changing a source; the PNGs are committed.
set -euo pipefail
resources=$(cd "$(dirname "$0")/.." && pwd)
command -v rsvg-convert >/dev/null || { echo "generate-icons: rsvg-convert is missing (apt-get install librsvg2-bin)" >&2; exit 1; }

app="$resources/desktop/icons/app.korimado.Korimado.svg"
for size in 16 22 24 32 48 64 128 256; do
  folder="$resources/desktop/icons/hicolor/${size}x${size}/apps"
  mkdir -p "$folder"
  rsvg-convert -w "$size" -h "$size" "$app" -o "$folder/app.korimado.Korimado.png"
done
cp "$resources/desktop/icons/hicolor/256x256/apps/app.korimado.Korimado.png" "$resources/AppIcon.png"

mkdir -p "$resources/Icons"
for source in "$resources"/tools/icons/*.svg; do
  rsvg-convert -w 48 -h 48 "$source" -o "$resources/Icons/$(basename "$source" .svg).png"
done
