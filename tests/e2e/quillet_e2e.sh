#!/usr/bin/env bash
# The real program on a real X server, used as a person would: type the
# sample genome's path, press Enter in the window box, switch the plot,
# step the scroll bar, press Save, answer Qt's save dialog, and check the
# bitmap that lands on disk against what the window shows. First, without
# a display, the program must say so and exit 1.
#
# usage: quillet_e2e.sh <quillet binary> <source dir> <output dir>
# Uses the X display in QUILLET_E2E_DISPLAY when set (1024 x 768); otherwise
# starts its own Xvfb on a free display from :97 up. Exits 77 (skipped) when
# no X server can be had or a tool is missing. Screenshots stay in the
# output dir.
set -uo pipefail

QUILLET=$1
SOURCE=$2
OUT=$3
SKIP=77
DEADLINE=$((SECONDS + 60))

skip() { echo "SKIP: $*"; exit $SKIP; }
fail() {
    echo "FAIL: $*"
    [ -n "${DISPLAY:-}" ] && import -window root "$OUT/failure.png" 2>/dev/null
    [ -s "$OUT/quillet.log" ] && { echo "program output:"; cat "$OUT/quillet.log"; }
    [ -s "${WORK:-/nonexistent}/xvfb.log" ] && { echo "Xvfb output:"; cat "$WORK/xvfb.log"; }
    exit 1
}
step() { echo "-- $*"; }

# ---- Without a display ----
# No display, or one that does not answer: a message that says so and exit
# status 1, never an abort.
said=$(mktemp) || exit 1
for platform in "" "QT_QPA_PLATFORM=xcb" "QT_QPA_PLATFORM=xcb DISPLAY=:4093"; do
    env -i PATH=/usr/bin:/bin $platform timeout 20 "$QUILLET" >"$said" 2>&1
    status=$?
    [ "$status" -eq 1 ] && grep -q "^quillet: the window cannot be opened: " "$said" ||
        { echo "FAIL: ${platform:-no platform} without a display: exit $status: $(cat "$said")"; rm -f "$said"; exit 1; }
done
rm -f "$said"

for tool in Xvfb xdotool import convert identify compare; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (./dev.sh test installs it)"
done
[ -x "$QUILLET" ] || fail "no program at $QUILLET"
rm -rf "$OUT" && mkdir -p "$OUT" || fail "cannot make $OUT"
WORK=$(mktemp -d) || fail "no temporary folder"

source "$(dirname "$0")/common.sh"

# ---- X server ----
if [ -n "${QUILLET_E2E_DISPLAY:-}" ]; then
    export DISPLAY=$QUILLET_E2E_DISPLAY
    xdotool getdisplaygeometry >/dev/null 2>&1 || skip "no X server answers on $DISPLAY"
else
    # The first free display from :97 up (away from the :0 of desktops and
    # the :99 of xvfb-run); a server that finds its display taken after all
    # exits, and the next number is tried.
    # Ours once it answers and the display's lock file holds its process.
    ours() { xdotool getdisplaygeometry >/dev/null 2>&1 && [ "$(tr -d ' ' <"/tmp/.X$1-lock")" = "$XVFB_PID" ]; }
    XVFB_PID=""
    for n in $(seq 97 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        # -noreset: a server that resets when its last client leaves refuses
        # connections meanwhile, and every xdotool call is such a client.
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
        XVFB_PID=$!
        PIDS+=("$XVFB_PID")
        export DISPLAY=":$n"
        until=$((SECONDS + 10))
        until ours "$n"; do
            if ! kill -0 "$XVFB_PID" 2>/dev/null || [ $SECONDS -ge $until ]; then
                kill "$XVFB_PID" 2>/dev/null
                wait "$XVFB_PID" 2>/dev/null
                XVFB_PID=""
                break
            fi
            sleep 0.1
        done
        [ -n "$XVFB_PID" ] && break
    done
    [ -n "$XVFB_PID" ] || { cat "$WORK/xvfb.log"; skip "Xvfb could not be started"; }
fi
read -r SCREEN_W SCREEN_H < <(xdotool getdisplaygeometry)
[ "$SCREEN_W" = 1024 ] && [ "$SCREEN_H" = 768 ] || skip "the display is ${SCREEN_W}x$SCREEN_H, not 1024x768"
echo "display $DISPLAY"

# ---- Start the program ----
export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/runtime XDG_CONFIG_HOME=$WORK/config
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" && chmod 700 "$XDG_RUNTIME_DIR"
QT_QPA_PLATFORM=xcb "$QUILLET" >"$OUT/quillet.log" 2>&1 &
QUILLET_PID=$!
PIDS+=("$QUILLET_PID")

find_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }
window_shown() { [ -n "$(find_window "$1")" ]; }
window_gone() { [ -z "$(find_window "$1")" ]; }
wait_for 20 window_shown '^Quillet V1\.2\.6$' || fail "the main window did not appear"
WID=$(find_window '^Quillet V1\.2\.6$')
eval "$(xdotool getwindowgeometry --shell "$WID")" # X Y WIDTH HEIGHT
echo "main window $WID at $X,$Y size ${WIDTH}x$HEIGHT"
[ "$WIDTH" = 758 ] && [ "$HEIGHT" = 561 ] || fail "client area ${WIDTH}x$HEIGHT, expected 758x561 on 1024x768"

# Design positions are in twips, 15 to a pixel; the window has its design
# size on this screen.
px() { echo $(( ($1 + 7) / 15 )); }
click_at() { # x y in window pixels
    xdotool mousemove --window "$WID" "$1" "$2" click 1
}
# The picture box: outer (240, 3240) 10575 x 4695 twips; the drawing is
# its inside, inset by the border.
PIC_X=$(px 240); PIC_Y=$(px 3240); PIC_W=$(px 10575); PIC_H=$(px 4695)

shot() { # name -> file with the window's client area
    import -window root "$OUT/$1-screen.png" &&
        convert "$OUT/$1-screen.png" -crop "${WIDTH}x$HEIGHT+$X+$Y" +repage "$OUT/$1.png"
}
picture_colours() { # screenshot name -> number of colours in the picture box
    convert "$OUT/$1.png" -crop "$((PIC_W - 8))x$((PIC_H - 8))+$((PIC_X + 4))+$((PIC_Y + 4))" +repage -format %k info:
}
picture_sum() {
    convert "$OUT/$1.png" -crop "$((PIC_W - 8))x$((PIC_H - 8))+$((PIC_X + 4))+$((PIC_Y + 4))" +repage -depth 8 rgb:- | md5sum | cut -c1-32
}
# Waits until the picture box differs from the given checksum (the map was
# redrawn) and is not blank.
wait_redrawn() { # before-sum name
    local until=$((SECONDS + 15))
    while [ $SECONDS -lt $until ] && [ $SECONDS -lt $DEADLINE ]; do
        shot "$2" || return 1
        if [ "$(picture_sum "$2")" != "$1" ] && [ "$(picture_colours "$2")" -gt 2 ]; then
            return 0
        fi
        sleep 0.2
    done
    return 1
}

shot start || fail "no screenshot"
[ "$(picture_colours start)" -le 2 ] || fail "the picture is not blank at start"
BLANK=$(picture_sum start)

# ---- Path, then Enter in the window box ----
step "type the path into the file box"
# Text1 at (240, 280) inside Frame2 at (240, 960), 4575 x 270.
click_at "$(px $((240 + 240 + 4575 / 2)))" "$(px $((960 + 280 + 270 / 2)))"
xdotool key --clearmodifiers ctrl+a BackSpace
xdotool type --delay 2 "$SOURCE/samples/lambda_virus.fa"
step "press Enter in the window box"
# Text_WS at (1200, 440) inside Frame1 at (5400, 960), 735 x 270.
click_at "$(px $((5400 + 1200 + 735 / 2)))" "$(px $((960 + 440 + 270 / 2)))"
xdotool key Return
wait_redrawn "$BLANK" run || fail "no map after Run"
RUN=$(picture_sum run)

# ---- Switch the plot ----
step "switch the plot to G-C/G+C"
# Combo1 at (9240, 2400), 1695 wide: click its text, then Down picks the
# next entry.
click_at "$(px $((9240 + 1695 / 3)))" "$(px $((2400 + 150)))"
xdotool key Down
wait_redrawn "$RUN" skew || fail "the plot did not switch"
SKEW=$(picture_sum skew)

# ---- Step the scroll bar ----
step "step the scroll bar"
# VScroll1 at (10800, 3240), 350 x 4695: the arrow at its bottom end.
click_at "$(px $((10800 + 175)))" "$(px $((3240 + 4695 - 120)))"
wait_redrawn "$SKEW" scrolled || fail "the scroll bar did not change the scale"
SCROLLED=$(picture_sum scrolled)

# ---- Save through Qt's dialog ----
step "press Save and answer the dialog"
TARGET="$WORK/saved map.bmp"
click_at "$(px $((8910 + 970 / 2)))" "$(px $((100 + 830 / 2)))"
wait_for 15 window_shown '^Save G\+C content map$' || fail "no save dialog"
DLG=$(find_window '^Save G\+C content map$')
eval "$(xdotool getwindowgeometry --shell "$DLG" | sed 's/^/DLG_/')"
echo "save dialog $DLG at $DLG_X,$DLG_Y size ${DLG_WIDTH}x$DLG_HEIGHT"
# Keys go to the window under the pointer: rest it on the dialog. The file
# name box has the focus, holding the proposed name.
xdotool mousemove --window "$DLG" $((DLG_WIDTH / 2)) $((DLG_HEIGHT / 2))
shot dialog
xdotool key --clearmodifiers ctrl+a BackSpace
xdotool type --delay 2 "$TARGET"
xdotool key Return
wait_for 15 test -s "$TARGET" || fail "no file saved at $TARGET"
wait_for 10 window_gone '^Save G\+C content map$' || fail "the save dialog stayed open"
cp "$TARGET" "$OUT/saved.bmp"

# ---- The bitmap on disk ----
step "check the saved bitmap"
read -r FORMAT BMP_W BMP_H < <(identify -format '%m %w %h\n' "$TARGET") || fail "not a picture"
echo "saved $FORMAT ${BMP_W}x$BMP_H"
case $FORMAT in BMP | BMP2 | BMP3) ;; *) false ;; esac || fail "saved as $FORMAT, not BMP"
# The inside of the picture box: its outer size less a 2 px border each side.
[ "$BMP_W" = $((PIC_W - 4)) ] && [ "$BMP_H" = $((PIC_H - 4)) ] || fail "size ${BMP_W}x$BMP_H"

pixel() { convert "$TARGET" -format "%[pixel:p{$1,$2}]" info:; }
BACKGROUND=$(pixel 2 2)
AXIS=$(pixel "$(px 600)" "$(px 2000)")
echo "background $BACKGROUND, value axis $AXIS"
[ "$AXIS" != "$BACKGROUND" ] || fail "no value axis at x = 600 twips"
# The curve has the plot colour, which the colour swatch Text4 shows: at
# (4680, 440) inside Frame1 at (5400, 960), 735 x 270.
SWATCH=$(convert "$OUT/scrolled.png" -format \
    "%[pixel:p{$(px $((5400 + 4680 + 735 / 2))),$(px $((960 + 440 + 270 / 2)))}]" info:)
echo "plot colour $SWATCH"
[ "$SWATCH" != "$BACKGROUND" ] && [ "$SWATCH" != "$AXIS" ] || fail "no plot colour in the swatch"
HISTOGRAM=$(convert "$TARGET" -depth 8 -format %c histogram:info:) || fail "no histogram"
grep -qF ": ${SWATCH#srgb}" <<<"$HISTOGRAM" || fail "no curve in the plot colour"

# The file is what the window shows (the window is still there, unchanged).
shot after
[ "$(picture_sum after)" = "$SCROLLED" ] || fail "Save changed the map"
convert "$OUT/after.png" -crop "${BMP_W}x$BMP_H+$((PIC_X + 2))+$((PIC_Y + 2))" +repage "$OUT/shown.png"
DIFF=$(compare -metric AE "$OUT/shown.png" "$TARGET" null: 2>&1) || true
[ "$DIFF" = 0 ] || fail "the saved bitmap differs from the window in $DIFF pixels"
kill -0 "$QUILLET_PID" 2>/dev/null || fail "the program ended"

# ---- The same genome gzip-compressed ----
step "run on the gzip-compressed genome"
gzip -c "$SOURCE/samples/lambda_virus.fa" >"$WORK/lambda_virus.fa.gz" || fail "gzip failed"
click_at "$(px $((240 + 240 + 4575 / 2)))" "$(px $((960 + 280 + 270 / 2)))"
xdotool key --clearmodifiers ctrl+a BackSpace
xdotool type --delay 2 "$WORK/lambda_virus.fa.gz"
click_at "$(px $((5400 + 1200 + 735 / 2)))" "$(px $((960 + 440 + 270 / 2)))"
xdotool key Return
# A run in G-C/G+C mode puts the scale back to its first position: the map
# is the plain file's map before the scroll bar was stepped.
wait_redrawn "$SCROLLED" gz || fail "no map after the run on the gzip file"
[ "$(picture_sum gz)" = "$SKEW" ] || fail "the gzip file's map differs from the plain file's"
kill -0 "$QUILLET_PID" 2>/dev/null || fail "the program ended"
echo "PASS in $SECONDS s"
