#!/usr/bin/env bash
# Draws the dialog's icons with ImageMagick from the shapes of app/gui/tarvu.svg (a shield with
# the link's two directions) and writes them as 48, 32 and 16 pixel .ico files:
#   tarvu.ico           icon 128, the window's and the notification area's icon
#   tarvu_sent.ico      the notification-area icon while packets are sent (right arrow lit)
#   tarvu_received.ico  the same while datagrams arrive (left arrow lit)
# The .ico files are kept in the repository; run this again only to change them.
set -euo pipefail
cd "$(dirname "$0")"

shield="path 'M32 3 L56 11 L56 30 C56 45 46 55 32 61 C18 55 8 45 8 30 L8 11 Z'"
right="path 'M17 24 H41 V18 L50 27 L41 36 V30 H17 Z'"
left="path 'M47 38 H23 V32 L14 41 L23 50 V44 H47 Z'"

# draw <output> <right arrow fill> <left arrow fill> <left arrow stroke>
draw() {
    local work
    work=$(mktemp --suffix=.png)
    /usr/bin/convert -size 256x256 xc:none \
        -draw "scale 4,4 fill '#2a66bd' stroke '#0f2f63' stroke-width 2.5 stroke-linejoin round $shield" \
        -draw "scale 4,4 fill '$2' $right" \
        -draw "scale 4,4 fill '$3' stroke '$4' stroke-width 0.8 $left" \
        "$work"
    /usr/bin/convert "$work" -define icon:auto-resize=48,32,16 "$1"
    rm -f "$work"
}

draw tarvu.ico '#ffffff' '#ffd23f' '#8a6d00'
draw tarvu_sent.ico '#7fff7f' '#6f7f99' '#3f4f69'
draw tarvu_received.ico '#6f7f99' '#ffe680' '#ff9f00'
