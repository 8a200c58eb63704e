#!/usr/bin/env bash
# The real program used without the mouse's help and the desktop's ways,
# checked through what a screen reader hears: start it with a file on the
# command line, run with Ctrl+R and F5, read the results and the map's
# description over the accessibility bus, step the scroll bar by its arrows
# and its keys and read the value axis, walk the keyboard cursor over the
# map, copy (Ctrl+Shift+C), open and close the Save (Ctrl+S), Open (Ctrl+O)
# and About (F1) windows, and drop a file on the window from another
# program by X drag and drop.
#
# usage: quillet_a11y_e2e.sh <quillet binary> <drag source binary> <source dir> <output dir>
# Starts its own Xvfb, D-Bus session bus and accessibility bus. Exits 77
# (skipped) when a tool is missing or no X server can be had.
set -uo pipefail

QUILLET=$1
DRAGSOURCE=$2
SOURCE=$3
OUT=$4
SKIP=77
DEADLINE=$((SECONDS + 90))
BUS_LAUNCHER=/usr/libexec/at-spi-bus-launcher
PY=/usr/bin/python3
TREE="$SOURCE/tests/e2e/atspi_tree.py"

skip() { echo "SKIP: $*"; exit $SKIP; }
step() { echo "-- $*"; }

for tool in Xvfb xdotool import convert identify xclip dbus-run-session; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (./dev.sh test installs it)"
done
[ -x "$BUS_LAUNCHER" ] || skip "at-spi2-core is not installed"
"$PY" -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is not installed"

# Everything below runs on a private session bus that ends with the script.
if [ -z "${QUILLET_A11Y_SESSION:-}" ]; then
    QUILLET_A11Y_SESSION=1 exec dbus-run-session -- "$0" "$@" 2> >(grep -v 'Failed to set fd limit' >&2)
fi

rm -rf "$OUT" && mkdir -p "$OUT" || { echo "FAIL: cannot make $OUT"; exit 1; }
WORK=$(mktemp -d) || exit 1
fail() {
    echo "FAIL: $*"
    [ -n "${DISPLAY:-}" ] && import -window root "$OUT/failure.png" 2>/dev/null
    [ -n "${DISPLAY:-}" ] && "$PY" "$TREE" Quillet >"$OUT/failure-tree.txt" 2>&1 &&
        { echo "accessibility tree:"; cat "$OUT/failure-tree.txt"; }
    [ -s "$OUT/quillet.log" ] && { echo "program output:"; cat "$OUT/quillet.log"; }
    exit 1
}

source "$(dirname "$0")/common.sh"

# ---- X server on a display it picks itself, and the accessibility bus ----
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$WORK/display" >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
wait_for 10 test -s "$WORK/display" || { cat "$WORK/xvfb.log"; skip "Xvfb could not be started"; }
export DISPLAY=":$(head -n1 "$WORK/display")"
wait_for 10 xdotool getdisplaygeometry || skip "no X server answers on $DISPLAY"
echo "display $DISPLAY"
"$BUS_LAUNCHER" --launch-immediately >"$WORK/bus.log" 2>&1 &
PIDS+=($!)

export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/runtime XDG_CONFIG_HOME=$WORK/config
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1

# ---- Reading the bus ----
# The first object whose role matches the regular expression $1 whole and
# whose name matches the regular expression $2, as
# "role<TAB>name<TAB>description<TAB>text<TAB>states".
bus_line() { "$PY" "$TREE" Quillet 2>/dev/null | awk -F'\t' -v r="^($1)\$" -v n="$2" '$1 ~ r && $2 ~ n { print; exit }'; }
# Role names as AT-SPI spells them: 2.56 renamed "push button" to "button",
# and Qt 6.8 reports a plain frame widget as a panel.
BUTTON='push button|button'
FRAME='frame|panel'
# A top-level window ready for keys: an object of that name is active on the bus
# (only windows are).
window_active() { "$PY" "$TREE" Quillet 2>/dev/null | awk -F'\t' -v n="$1" '$2 ~ n && $5 ~ /(^| )active( |$)/ { f = 1 } END { exit !f }'; }
# Waits until that object's column $3 (2 name, 3 description, 4 text)
# matches the regular expression $4; prints the column.
bus_expect() { # role name-regex column value-regex
    local until=$((SECONDS + 15)) value=""
    while [ $SECONDS -lt $until ] && [ $SECONDS -lt $DEADLINE ]; do
        value=$(bus_line "$1" "$2" | cut -f"$3")
        grep -qE -- "$4" <<<"$value" && { echo "   $1 \"$(bus_line "$1" "$2" | cut -f2)\": $value"; return 0; }
        sleep 0.2
    done
    fail "on the bus, $1 /$2/ column $3 is \"$value\", expected /$4/"
}

find_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1; }
window_shown() { [ -n "$(find_window "$1")" ]; }
window_gone() { [ -z "$(find_window "$1")" ]; }
px() { echo $(( ($1 + 7) / 15 )); }
click_at() { xdotool mousemove --window "$WID" "$1" "$2" click 1; }
# Clicks a caption that takes no input or focus, so that the main window is
# active and keys go to it (there is no window manager to activate it).
rest() { click_at "$(px 6000)" "$(px 2600)"; }

# ---- quillet FILE ----
step "start the program with the sample genome on the command line"
LAMBDA="$SOURCE/samples/lambda_virus.fa"
"$QUILLET" "$LAMBDA" >"$OUT/quillet.log" 2>&1 &
QUILLET_PID=$!
PIDS+=("$QUILLET_PID")
wait_for 20 window_shown '^Quillet V1\.2\.6$' || fail "the main window did not appear"
WID=$(find_window '^Quillet V1\.2\.6$')
eval "$(xdotool getwindowgeometry --shell "$WID")" # X Y WIDTH HEIGHT
bus_expect text '^FASTA file$' 4 "^$LAMBDA\$"
bus_expect text '^Window\(bp\)$' 4 '^100$'
bus_expect text '^Step\(bp\)$' 4 '^50$'
bus_expect "$BUTTON" '^Run$' 3 '^Run the analysis \(Ctrl\+R, F5\)$'
bus_expect "$BUTTON" '^Color$' 3 '^Choose the colour of the curve'

# ---- Ctrl+R, then F5 with a new window size ----
step "Ctrl+R runs; the results are on the bus"
rest
xdotool key ctrl+r
bus_expect label '^Total bases' 2 '^Total bases \(bp\): 48502$'
bus_expect label '^Average G' 2 '^Average G\+C \(%\): 49\.9$'
bus_expect text '^Sequence Name:$' 4 'Enterobacteria phage lambda'
bus_expect "$FRAME" '^Map$' 3 '^G\+C content map of .*lambda.*: 969 windows of 100 bp, step 50 bp\. Lowest [0-9.]+% at window [0-9]+ \(bases [0-9]+ to [0-9]+\); highest'
step "F5 runs again with the window size typed"
click_at "$(px $((5400 + 1200 + 735 / 2)))" "$(px $((960 + 440 + 270 / 2)))"
xdotool key --clearmodifiers ctrl+a BackSpace
xdotool type --delay 2 1000
xdotool key F5
bus_expect "$FRAME" '^Map$' 3 ': 951 windows of 1000 bp, step 50 bp\..* Value axis 30%, 40%, 50%, 60%, 70% from bottom to top, reference line at 50%\.$'

# ---- The genome overview ----
step "Ctrl+G opens the overview, whose rows describe themselves"
rest
xdotool key ctrl+g
wait_for 15 window_shown '^Overview of lambda_virus' || fail "Ctrl+G showed no overview"
bus_expect filler '^Overview rows$' 3 '^Overview of lambda_virus\.fa: 1 of 1 records, longest first; G\+C \(%\)\. Row 1: gi\|9626243\|ref\|NC_001416\.1\|, 48,502 bp, average G\+C 49\.90 %, G\+C \(%\) from 30\.6 to 61\.3\.$'
OVERVIEW=$(find_window '^Overview of lambda_virus')
xdotool mousemove --window "$OVERVIEW" 20 20
wait_for 15 window_active '^Overview of lambda_virus' || fail "the overview never became the active window"
xdotool key Escape
wait_for 10 window_gone '^Overview of lambda_virus' || fail "Escape did not close the overview"

# ---- The scroll bar moves the value axis ----
PIC_X=$(px 240); PIC_Y=$(px 3240); PIC_W=$(px 10575); PIC_H=$(px 4695)
labels_sum() { # the value-axis label column of the map on screen
    import -window root "$OUT/labels.png" &&
        convert "$OUT/labels.png" -crop "28x$((PIC_H - 8))+$((X + PIC_X + 4))+$((Y + PIC_Y + 4))" +repage -depth 8 rgb:- | md5sum
}
MIDDLE_LABELS=$(labels_sum)
arrow() { # up|down
    local y=$([ "$1" = down ] && echo $((3240 + 4695 - 120)) || echo $((3240 + 120)))
    click_at "$(px $((10800 + 175)))" "$(px $y)"
}
step "the scroll bar's down arrow raises the value axis by ten points"
arrow down
bus_expect "$FRAME" '^Map$' 3 'Value axis 40%, 50%, 60%, 70%, 80% from bottom to top, reference line at 60%\.$'
[ "$(labels_sum)" != "$MIDDLE_LABELS" ] || fail "the labels on screen did not change"
arrow up
bus_expect "$FRAME" '^Map$' 3 'Value axis 30%, 40%, 50%, 60%, 70% from bottom to top, reference line at 50%\.$'
wait_for 5 test "$(labels_sum)" = "$MIDDLE_LABELS" || fail "the labels on screen are not the middle ones again"
arrow up
bus_expect "$FRAME" '^Map$' 3 'Value axis 20%, 30%, 40%, 50%, 60% from bottom to top, reference line at 40%\.$'
step "the clicked scroll bar has the focus and takes Down and Home"
xdotool key Down
bus_expect "$FRAME" '^Map$' 3 'Value axis 30%, 40%, 50%, 60%, 70% from bottom to top, reference line at 50%\.$'
xdotool key Home
bus_expect "$FRAME" '^Map$' 3 'Value axis 10%, 20%, 30%, 40%, 50% from bottom to top, reference line at 30%\.$'

# ---- The keyboard cursor over the map ----
step "Home, Right and End walk the cursor line over the map"
click_at "$(px 3000)" "$(px 5000)" # focuses the map
rest
xdotool key Home
bus_expect label '^Position' 2 '^Position 500$'
bus_expect "$FRAME" '^Map$' 3 ' Cursor at Window 1 of 951, bases 1 to 1000: G\+C content [0-9.]+%\.$'
xdotool key Right
bus_expect label '^Position' 2 '^Position 550$'
bus_expect "$FRAME" '^Map$' 3 ' Cursor at Window 2 of 951, bases 51 to 1050: '
xdotool key End
bus_expect label '^Position' 2 '^Position 48000$'
bus_expect "$FRAME" '^Map$' 3 ' Cursor at Window 951 of 951, bases 47501 to 48500: '

# ---- Copy, Save, Open and About from the keyboard ----
step "Ctrl+Shift+C copies the map"
xdotool key ctrl+shift+c
wait_for 10 sh -c 'xclip -selection clipboard -t TARGETS -o | grep -qx image/png' || fail "no picture on the clipboard"
xclip -selection clipboard -t image/png -o >"$OUT/copied.png" || fail "the clipboard did not give the picture"
[ "$(identify -format '%wx%h' "$OUT/copied.png")" = "$((PIC_W - 4))x$((PIC_H - 4))" ] || fail "copied picture size"

dialog_by_key() { # key title-regex
    rest
    xdotool key "$1"
    wait_for 15 window_shown "$2" || fail "$1 showed no window /$2/"
    local dlg
    dlg=$(find_window "$2")
    xdotool mousemove --window "$dlg" 20 20
    # Shown is not yet ready: a slow build maps the dialog before it takes keys.
    wait_for 15 window_active "$2" || fail "$1 showed /$2/, but it never became the active window"
    xdotool key Escape
    wait_for 10 window_gone "$2" || fail "Escape did not close /$2/"
    echo "   $1 showed and Escape closed \"$(xdotool getwindowname "$dlg" 2>/dev/null || echo "$2")\""
}
step "Ctrl+S, Ctrl+O and F1 open their windows"
dialog_by_key ctrl+s '^Save G\+C content map$'
dialog_by_key F1 '^About$'
dialog_by_key ctrl+o '^Open DNA data in FASTA format$'
bus_expect text '^FASTA file$' 4 '^$' # a cancelled Open empties the box, as it always did

# ---- Drop a file from another program ----
step "drop the sample genome on the window from another program"
"$DRAGSOURCE" "$LAMBDA" >"$OUT/dragsource.log" 2>&1 &
DRAG_PID=$!
PIDS+=("$DRAG_PID")
wait_for 10 window_shown '^drag source$' || fail "the drag source did not appear"
xdotool mousemove 60 30 mousedown 1
for p in "150 200" "300 300" "$((X + PIC_X + 200)) $((Y + PIC_Y + 100))" "$((X + PIC_X + 210)) $((Y + PIC_Y + 110))"; do
    sleep 0.3
    xdotool mousemove $p
done
sleep 0.5
xdotool mouseup 1
wait_for 10 grep -q . "$OUT/dragsource.log" || fail "the drag did not end"
grep -qx copied "$OUT/dragsource.log" || fail "the drop was refused: $(cat "$OUT/dragsource.log")"
bus_expect text '^FASTA file$' 4 "^$LAMBDA\$"
bus_expect text '^Window\(bp\)$' 4 '^100$'
bus_expect text '^Step\(bp\)$' 4 '^50$'

kill -0 "$QUILLET_PID" 2>/dev/null || fail "the program ended"
import -window root "$OUT/end.png"
echo "PASS in $SECONDS s"
