#!/usr/bin/env bash
# Draws the Windows program's bitmaps and icon (platform/windows/art/) with
# ImageMagick from the same character art the terminal shows: one cell is
# 8 pixels wide, in DejaVu Sans Mono. Run it when that art changes; the
# pictures are kept in the tree so that the build needs no ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/../platform/windows/art"
face='#c0c0c0'

# draw FILE WIDTH HEIGHT ROW...: the rows split the height evenly.
draw() {
    local file=$1 width=$2 height=$3
    shift 3
    local row_height=$((height / $#)) y=0 arguments=()
    for row in "$@"; do
        arguments+=(-annotate "+0+$((y + row_height * 3 / 4))" "$row")
        y=$((y + row_height))
    done
    convert -size "${width}x${height}" "xc:$face" -font DejaVu-Sans-Mono -density 72 -pointsize 13.29 \
        -fill black "${arguments[@]}" -type palette -compress none "BMP3:$file"
}

draw animation.bmp 96 40 "  ▐▌·▐▌·▐▌  " "╰▁▁╯╰██╯╰▁▁╯"
draw drive_types.bmp 160 16 "▭FD ▤HD ⇆NET◉CD ▦RAM"
draw tiles.bmp 128 144 "[A:][B:][C:][D:]" "[E:][F:][G:][H:]" "[I:][J:][K:][L:]" "[M:][N:][O:][P:]" \
    "[Q:][R:][S:][T:]" "[U:][V:][W:][X:]" "[Y:][Z:]        " " ─▶ ╭─DURANDEX─╮" "    ╰──────────╯"

# The icon: the pestle over its mortar, at 32 and 16 pixels.
convert -size 32x32 xc:none -fill '#505050' -draw 'roundrectangle 4,18 27,29 4,4' \
    -fill '#a0a0a0' -draw 'polygon 13,2 19,2 18,20 14,20' \
    \( +clone -resize 16x16 \) durandex.ico
