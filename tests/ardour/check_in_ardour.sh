#!/bin/sh
# Ardour, a real host, loads the Linux library in a headless session and plays it at 120 bpm:
# it must see "Ostrel" by "Halvark" with 23 parameters and 16 programs, and record controller 14
# on channels 1 to 16 with the default program's value 64, one step (22050 samples) apart to
# within one processing block (the plug-in places its messages at the start of the block).
# usage: check_in_ardour.sh LIBRARY
set -u
library=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Ardour's configuration, caches and plug-in folder, all of this run's own.
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" LXVST_PATH="$work/vst"
mkdir -p "$XDG_CONFIG_HOME/ardour7/scripts" "$XDG_CACHE_HOME" "$LXVST_PATH"
cp "$library" "$LXVST_PATH/Morvo.so"
# Ardour keeps a cache entry only while it is newer than the library, compared in whole seconds.
touch -d '1 minute ago' "$LXVST_PATH/Morvo.so"
cp "$here/morvo_midi_recorder.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"

# The session reads only the scanner's cache, which is keyed by the absolute path.
LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 /usr/lib/ardour7/ardour-vst-scanner -q \
    "$LXVST_PATH/Morvo.so" || { echo "Ardour's scanner refused the library"; exit 1; }
timeout 120 ardour7-lua "$here/play_in_ardour.lua" "$work/session" 3 >"$work/out.txt" 2>&1
status=$?
if [ $status -ne 0 ] || grep -q '^Error' "$work/out.txt"; then
    cat "$work/out.txt"
    echo "the Ardour session failed ($status)"
    exit 1
fi

awk -v block=1024 '
    /^plugin / {
        plugin = substr($0, 8)
        next
    }
    /^event / && $4 == 14 && $3 >= 176 && $3 <= 191 {
        # Control Change 14: group the 16 channel messages of each step.
        if (n % 16 == 0) { start[n / 16] = $2 }
        if ($2 != start[int(n / 16)]) { bad = bad "step " int(n / 16) + 1 " spread over samples\n" }
        if ($3 != 176 + n % 16) { bad = bad "message " n + 1 " on the wrong channel\n" }
        if ($5 != 64) { bad = bad "message " n + 1 " has value " $5 "\n" }
        n++
    }
    END {
        if (plugin != "Ostrel|Halvark|23|16") bad = bad "Ardour saw the plug-in as " plugin "\n"
        steps = int(n / 16)
        if (n % 16 != 0) bad = bad "an incomplete step of " n % 16 " messages\n"
        if (steps < 5) bad = bad "only " steps " steps in 3 seconds\n"
        for (i = 1; i < steps; i++) {
            gap = start[i] - start[i - 1]
            if (gap < 22050 - block || gap > 22050 + block)
                bad = bad "steps " i " and " i + 1 " are " gap " samples apart\n"
        }
        if (bad != "") { printf "%s", bad; exit 1 }
        printf "Ardour played %s: %d steps of controller 14 on 16 channels, 22050 samples apart\n", plugin, steps
    }' "$work/out.txt"
