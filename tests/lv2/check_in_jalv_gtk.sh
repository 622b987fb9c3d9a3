#!/bin/sh
# Morvo.lv2's editor in a real LV2 host's window: jalv.gtk3 (Debian's jalv) on the display it is
# given (tests/x11/with_xvfb.sh gives a virtual one), on a JACK server of its own with the dummy
# backend. The editor shows at its size inside jalv's window (photographed), and a click on the
# first step's lower arrow reaches the plug-in: the values it sends for that step change.
# usage: check_in_jalv_gtk.sh BUNDLE_FOLDER SCREENSHOT
set -u
bundle=$1 screenshot=$2
uri=https://halvark.com/plugins/ostrel
[ -n "${DISPLAY:-}" ] || { echo "needs a display (run through tests/x11/with_xvfb.sh)"; exit 1; }
name=jalv-gtk tools="jalv.gtk3 xdotool xwininfo import"
. "$(dirname "$0")/jack_server.sh"

# Four steps a beat at 140 bpm, the plug-in's own clock.
jalv.gtk3 --jack-name=ostrel --control=sync_value=0.04 "$uri" >"$work/jalv.log" 2>&1 &
pids="$pids $!"
notify=$(waitFor '.*:notify') || fail "no MIDI output port"
jack_midi_dump "dump$$" >"$work/steps.dump" 2>"$work/dump.log" &
pids="$pids $!"
waitFor "dump$$:input" >/dev/null
jack_connect "$notify" "dump$$:input" || fail "cannot connect the monitor ($notify)"
printf 'master\ntempo 140\nlocate 0\nplay\n' >&4

# The editor: a window of 626 x 280 inside jalv's window, named after the plug-in.
tries=0
while :; do
    host=$(xdotool search --name '^Ostrel$' 2>/dev/null | head -n 1)
    editor=""
    [ -n "$host" ] && editor=$(xwininfo -tree -id "$host" 2>/dev/null |
        awk '/ 626x280\+/ { id = $1 } END { print id }')
    [ -n "$editor" ] && break
    tries=$((tries + 1))
    [ "$tries" -gt 100 ] && fail "no editor of 626 x 280 in jalv's window"
    sleep 0.1
done
sleep 1
mkdir -p "$(dirname "$screenshot")"
import -window "$host" "$screenshot" 2>"$work/import.log" || fail "no screenshot"
xwininfo -id "$editor" | grep -q 'Map State: IsViewable' || fail "the editor is not shown"

# The first step's lower arrow: the step's value moves down a position.
xdotool mousemove --window "$editor" 36 217 sleep 0.2 mousedown 1 sleep 0.1 mouseup 1
sleep 1.5
printf 'stop\n' >&4
sleep 0.3

# Each step sends one value on the 16 channels; before the click every step sent 64.
values=$(awk '$1 ~ /:$/ && $2 == "b0" { print $4 }' "$work/steps.dump")
[ "$(echo "$values" | grep -c .)" -ge 8 ] || fail "too few steps: $(echo $values)"
echo "$values" | grep -qvx 40 || fail "the click did not reach the plug-in: $(echo $values)"
echo "$values" | head -n 1 | grep -qx 40 || fail "the first step was not 64: $(echo $values)"
echo "jalv.gtk3 shows the editor ($screenshot); after the click step 1 sends $(echo "$values" |
    grep -vx 40 | head -n 1) (hex) instead of 40"
