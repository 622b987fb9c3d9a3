#!/bin/sh
# Qtractor, a real CLAP host, opens a session with one MIDI track that has Morvo.clap in its
# plug-in chain, on a virtual display of its own and a JACK server of its own (the dummy
# backend), and shows the plug-in's editor: Qtractor's editor window must hold a 626 x 280 child
# window, and each of the 16 step sliders, at the places the editor's layout gives them, must show
# its track with the thumb in the middle, where the default program's value (64 of 127) puts it.
# A change made in the editor must reach Qtractor, which then has a modified session. Then
# Qtractor is asked to exit from its File menu, the session is not saved, and Qtractor must end
# by itself with status 0, with no crash and no complaint about the plug-in in its output.
# Runs on a virtual display of its own (x11/with_xvfb.sh), with Qtractor and JACK set up by
# qtractor_host.sh. Exits with 77 (skipped) when Qtractor or JACK is not installed.
# usage: check_in_qtractor.sh MORVO.clap SEQUENCER_STANDIN.so LAYOUT.cpp SCREENSHOT.png
set -u
standin=$2 tools="xwininfo import convert"
. "$(dirname "$0")/qtractor_host.sh"
library=$(absolute "$1")
layout=$(absolute "$3")
screenshot=$(absolute "$4")
cp "$library" "$CLAP_PATH/Morvo.clap"

# The session: one MIDI track whose chain holds the plug-in, active, with its default program.
write_session "$work/session/morvo.qtr" 120 "" "$(midi_track Morvo "    <plugin type=\"CLAP\">
     <filename>$CLAP_PATH/Morvo.clap</filename>
     <index>0</index>
     <label>Ostrel</label>
     <activated>1</activated>
    </plugin>")"

failed() {
    import -window root "$work/failed.png" 2>/dev/null && cp "$work/failed.png" "$screenshot"
    report_qtractor
    echo "$1 (the display as it was: $screenshot)"
    exit 1
}
start_qtractor "$work/session/morvo.qtr"
sleep 2

# Qtractor reopens no editor with a session: a double click on the plug-in in the track's chain
# (under "Bus" in the first track's row, at a place fixed by Qtractor's own layout) opens it.
editor=""
tries=0
while [ -z "$editor" ]; do
    tries=$((tries + 1))
    [ $tries -gt 3 ] && failed "no editor window after $((tries - 1)) double clicks on the plug-in"
    xdotool mousemove --window "$main" 172 180 click --repeat 2 --delay 80 1
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        editor=$(xdotool search --name '^Ostrel' 2>/dev/null | head -n 1)
        [ -n "$editor" ] && break
        sleep 0.5
    done
done
sleep 2
geometry() { xwininfo -id "$1" | awk -v want="$2" '$0 ~ want { print $NF }'; }
width=$(geometry "$editor" 'Width:') height=$(geometry "$editor" 'Height:')
left=$(geometry "$editor" 'Absolute upper-left X:') top=$(geometry "$editor" 'Absolute upper-left Y:')
if [ "$width" != 626 ] || [ "$height" != 280 ]; then
    failed "Qtractor's editor window is ${width}x$height"
fi
# Qt draws nothing of its own in this window: a child window is the plug-in's editor.
xwininfo -id "$editor" -children | grep -qE '^ +0x[0-9a-f]+ .*: \(.*\) +626x280\+0\+0 ' ||
    failed "Qtractor's editor window holds no 626x280 window of the plug-in"

import -window root "$work/root.png"
convert "$work/root.png" -crop "626x280+$left+$top" +repage "$work/editor.png"
main_left=$(geometry "$main" 'Absolute upper-left X:') main_top=$(geometry "$main" 'Absolute upper-left Y:')
# The picture: Qtractor from its top left corner to a little past the editor, with the track.
main_width=$(geometry "$main" 'Width:') main_height=$(geometry "$main" 'Height:')
crop_width=$((left + width + 16 - main_left)) crop_height=$((top + height + 16 - main_top))
[ $crop_width -gt "$main_width" ] && crop_width=$main_width
[ $crop_height -gt "$main_height" ] && crop_height=$main_height
convert "$work/root.png" -crop "${crop_width}x$crop_height+$main_left+$main_top" +repage "$screenshot"

# The step sliders where the layout puts them (par00 to par15: left, top, width, height). The
# arrow buttons are squares at the ends; between them the track is a checkered pattern, in which
# no two pixels above one another are alike, and the thumb is a plain square: the longest run of
# alike pixels down the slider's middle column is inside the thumb.
sliders=$(awk -F'[=,]' '/name = "par(0[0-9]|1[0-5])"/ {
        for (i = 1; i < NF; i++) {
            f = $i; gsub(/[ .]/, "", f)
            if (f == "left" || f == "top" || f == "width" || f == "height") v[f] = $(i + 1) + 0
        }
        printf "%d %d %d %d\n", v["left"], v["top"], v["width"], v["height"]
    }' "$layout")
[ "$(echo "$sliders" | wc -l)" -eq 16 ] || failed "the layout in $layout names $(echo "$sliders" | wc -l) step sliders"
convert "$work/editor.png" txt:- | awk -v sliders="$sliders" -v value=64 -v range=127 '
    { split($1, xy, /[,:]/); pixel[xy[1], xy[2]] = $3 }
    END {
        n = split(sliders, f, /[ \n]+/)
        for (s = 0; s < n / 4; s++) {
            x = f[4 * s + 1] + int(f[4 * s + 3] / 2)
            first = f[4 * s + 2] + f[4 * s + 3]; last = f[4 * s + 2] + f[4 * s + 4] - f[4 * s + 3] - 1
            run = 0; best = 0; end = 0; changes = 0
            for (y = first; y < last; y++) {
                if (pixel[x, y] == pixel[x, y + 1]) {
                    if (++run > best) { best = run; end = y + 1 }
                } else { run = 0; changes++ }
            }
            thumb = end - best / 2
            # The thumb travels the track less its own length; the value sets where along it.
            want = first + best / 2 + (last - first - best) * (1 - value / range)
            if (best < 5) bad = bad "step " s + 1 ": no thumb on the track\n"
            else if (thumb - want > 2 || want - thumb > 2)
                bad = bad "step " s + 1 ": the thumb is at " thumb ", not near " want "\n"
            if (changes < (last - first - best) / 2) bad = bad "step " s + 1 ": no checkered track\n"
        }
        if (bad != "") { printf "%s", bad; exit 1 }
        printf "the editor shows %d step sliders, each thumb at the value %d of %d\n", n / 4, value, range
    }' || failed "the editor in Qtractor does not show the step sliders"

# Two clicks on step 1's up arrow in the plug-in's editor: the change goes to Qtractor as
# automation, and Qtractor marks the session modified.
# shellcheck disable=SC2046 # the four numbers of its line, one argument each
set -- $(echo "$sliders" | head -n 1)
xdotool mousemove --window "$editor" $(($1 + $3 / 2)) $(($2 + $3 / 2)) click 1 sleep 0.3 click 1
modified=""
tries=0
until [ -n "$modified" ]; do
    tries=$((tries + 1))
    [ $tries -gt 20 ] && failed "a change in the plug-in's editor did not reach Qtractor"
    sleep 0.5
    case "$(xdotool getwindowname "$main")" in *'[modified]'*) modified=yes ;; esac
done
saved=$(cksum <"$work/session/morvo.qtr")

# Exit from the File menu (Qtractor has no key for it). Qtractor asks whether to save the
# modified session: Save, Discard, Cancel, with Save first; the answer is Discard.
timeout 10 xdotool windowfocus --sync "$main" key alt+f
sleep 1
xdotool key x
tries=0
while kill -0 "$host" 2>/dev/null; do
    tries=$((tries + 1))
    [ $tries -gt 40 ] && failed "Qtractor did not exit within 20 seconds of being asked"
    if [ $((tries % 4)) -eq 0 ]; then
        question=""
        for window in $(xdotool search --onlyvisible --class qtractor 2>/dev/null); do
            case "$(xdotool getwindowname "$window" 2>/dev/null)" in Warning*) question=$window ;; esac
        done
        [ -n "$question" ] && timeout 10 xdotool windowfocus --sync "$question" key Tab space
    fi
    sleep 0.5
done
wait "$host"
status=$?
host=""
report_qtractor
[ $status -eq 0 ] || { echo "Qtractor exited with status $status"; exit 1; }
[ "$(cksum <"$work/session/morvo.qtr")" = "$saved" ] || { echo "Qtractor saved the session"; exit 1; }
complained && { echo "Qtractor complained about the plug-in"; exit 1; }
echo "Qtractor showed the editor of Morvo.clap and exited with status 0 (screenshot: $screenshot)"
