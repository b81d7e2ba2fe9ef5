#!/usr/bin/env bash
# Renders res/pulldex.svg into the Windows icon res/pulldex.ico (16 to 256
# pixels). Run it after changing the SVG; the build uses the committed .ico.
set -euo pipefail
cd "$(dirname "$0")"
command -v rsvg-convert >/dev/null && command -v convert >/dev/null ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends librsvg2-bin imagemagick >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16 24 32 48 64 256; do rsvg-convert -w $size -h $size pulldex.svg -o "$tmp/$size.png"; done
convert "$tmp"/16.png "$tmp"/24.png "$tmp"/32.png "$tmp"/48.png "$tmp"/64.png "$tmp"/256.png pulldex.ico
