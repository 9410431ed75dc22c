#!/usr/bin/env bash
# Draws the window icon and the banner into src/ui/artwork/ (ImageMagick, from scripts/install-deps.sh --dev).
# The PNG files are kept in the repository; run this only to change the artwork.
set -euo pipefail
out="$(dirname "$0")/../src/ui/artwork"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

# A globe with an arrow pointing up and out: the address found and sent away.
icon() {
    local size=$1 colours=$2 file=$3
    local s=$((size * 8)) # drawn large, then scaled down for smooth edges
    convert -size ${s}x${s} xc:none \
        -fill '#1f5fbf' -stroke '#0b2f6b' -strokewidth $((s / 32)) \
        -draw "roundrectangle $((s / 32)),$((s / 32)) $((s - s / 32 - 1)),$((s - s / 32 - 1)) $((s / 6)),$((s / 6))" \
        -fill none -stroke white -strokewidth $((s / 16)) \
        -draw "circle $((s * 44 / 100)),$((s * 56 / 100)) $((s * 44 / 100)),$((s * 22 / 100))" \
        -draw "ellipse $((s * 44 / 100)),$((s * 56 / 100)) $((s * 14 / 100)),$((s * 34 / 100)) 0,360" \
        -draw "line $((s * 10 / 100)),$((s * 56 / 100)) $((s * 78 / 100)),$((s * 56 / 100))" \
        -fill '#ff9f1a' -stroke '#7a4300' -strokewidth $((s / 40)) \
        -draw "polygon $((s * 80 / 100)),$((s * 6 / 100)) $((s * 96 / 100)),$((s * 30 / 100)) $((s * 86 / 100)),$((s * 30 / 100)) $((s * 86 / 100)),$((s * 46 / 100)) $((s * 74 / 100)),$((s * 46 / 100)) $((s * 74 / 100)),$((s * 30 / 100)) $((s * 64 / 100)),$((s * 30 / 100))" \
        -resize ${size}x${size} -colors "$colours" "PNG32:$out/$file"
}
icon 16 16 veltora-16.png
icon 32 16 veltora-32.png
icon 32 256 veltora-32-256.png
# The sizes the desktop's icon theme asks for (installed under hicolor; dist/unix/veltora.svg is the scalable one).
for size in 48 64 128 256; do
    icon $size 256 veltora-$size.png
done

# The 125 x 32 banner: the name on a blue band with the icon's globe.
convert -size 1000x256 gradient:'#0b3d91'-'#2f8fff' -rotate 90 -resize '1000x256!' \
    -fill none -stroke white -strokewidth 14 \
    -draw "circle 128,128 128,40" -draw "ellipse 128,128 36,88 0,360" -draw "line 40,128 216,128" \
    -fill '#ff9f1a' -stroke none -draw "polygon 210,20 250,76 226,76 226,112 194,112 194,76 170,76" \
    -font "$font" -pointsize 150 -fill white -stroke none -annotate +280+180 'Veltora' \
    -resize 125x32 "PNG24:$out/banner.png"
