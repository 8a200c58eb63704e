#!/usr/bin/env bash
# Renders the program's pictures from the SVG sources in src/ into the PNG
# and ICO files that the build embeds and installs. The rendered files are
# kept in the repository, so only whoever changes a picture needs to run
# this (Debian: apt-get install librsvg2-bin imagemagick fonts-liberation).
#
#   icons/NAME-16.png, -32.png, -48.png   button pictures and window icons
#   icons/NAME-64.png, -96.png            the same for screens scaled to 2x
#   icons/NAME.ico                        16, 32 and 48 pixels in one file
#   pictures/banner.png, banner@2x.png    the 298 x 46 title banner
#
# Each picture has a large source (NAME.svg, drawn on a 48 unit grid and
# rendered at 32 pixels and up) and a source fitted to the 16 pixel grid
# (NAME-16.svg), so that the smallest size stays sharp.
set -euo pipefail
cd "$(dirname "$0")"

for tool in rsvg-convert convert; do
    command -v "$tool" >/dev/null || { echo "render.sh: $tool is missing" >&2; exit 1; }
done
[[ "$(fc-match -f '%{family}' 'Liberation Sans:bold')" == *"Liberation Sans"* ]] || echo "render.sh: warning: Liberation Sans Bold not found, the banner will use another font" >&2

mkdir -p icons pictures
for name in quillet open copy save about; do
    rsvg-convert -w 16 -h 16 "src/$name-16.svg" -o "icons/$name-16.png"
    for side in 32 48 64 96; do
        rsvg-convert -w $side -h $side "src/$name.svg" -o "icons/$name-$side.png"
    done
    convert "icons/$name-16.png" "icons/$name-32.png" "icons/$name-48.png" "icons/$name.ico"
done

rsvg-convert -w 298 -h 46 src/banner.svg -o pictures/banner.png
rsvg-convert -w 596 -h 92 src/banner.svg -o pictures/banner@2x.png
echo "render.sh: pictures written to $(pwd)/icons and $(pwd)/pictures"
