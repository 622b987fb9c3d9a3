#!/bin/sh
# Ardour, a real host, loads the Linux library in a headless session and plays it at 120 bpm:
# it must see "Ostrel" by "Halvark" with 23 parameters and 16 programs, and record controller 14
# on channels 1 to 16 with the default program's value 64, one step (22050 samples) apart to
# within one processing block (the plug-in places its messages at the start of the block).
# Then in external timing at 140 bpm, four steps a beat: the steps follow Ardour's song position,
# one after the other, 4725 samples apart, and after a relocation to beat 2.125 go on from step
# 9.
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
play() {
    rm -rf "$work/session"
    timeout 120 ardour7-lua "$here/play_in_ardour.lua" "$work/session" 3 "$1" >"$work/$1.txt" 2>&1
    status=$?
    if [ $status -ne 0 ] || grep -q '^Error' "$work/$1.txt"; then
        cat "$work/$1.txt"
        echo "the Ardour session ($1 timing) failed ($status)"
        exit 1
    fi
}
play internal
play external

# Both: Control Change 14, the 16 channel messages of each step together at one sample.
steps='
    /^plugin / {
        plugin = substr($0, 8)
        next
    }
    /^relocated / { relocated = $2 }
    /^event / && $4 == 14 && $3 >= 176 && $3 <= 191 {
        if (n % 16 == 0) { start[n / 16] = $2; value[n / 16] = $5 }
        if ($2 != start[int(n / 16)]) { bad = bad "step " int(n / 16) + 1 " spread over samples\n" }
        if ($3 != 176 + n % 16) { bad = bad "message " n + 1 " on the wrong channel\n" }
        if ($5 != value[int(n / 16)]) { bad = bad "message " n + 1 " has value " $5 "\n" }
        n++
    }
    function finish() {
        steps = int(n / 16)
        if (plugin != "Ostrel|Halvark|23|16") bad = bad "Ardour saw the plug-in as " plugin "\n"
        if (n % 16 != 0) bad = bad "an incomplete step of " n % 16 " messages\n"
    }
    function near(gap, want) { return gap >= want - block && gap <= want + block }
'

awk -v block=1024 "$steps"'
    END {
        finish()
        if (steps < 5) bad = bad "only " steps " steps in 3 seconds\n"
        for (i = 1; i < steps; i++) {
            if (value[i] != 64) bad = bad "step " i + 1 " has value " value[i] "\n"
            if (!near(start[i] - start[i - 1], 22050))
                bad = bad "steps " i " and " i + 1 " are " start[i] - start[i - 1] " samples apart\n"
        }
        if (bad != "") { printf "%s", bad; exit 1 }
        printf "Ardour played %s: %d steps of controller 14 on 16 channels, 22050 samples apart\n", plugin, steps
    }' "$work/internal.txt" || exit 1

# External timing: step s has the value s/15 of 127, so each value names its step.
awk -v block=1024 -v steplength=4725 -v target=8 "$steps"'
    END {
        finish()
        for (s = 0; s < 16; s++) stepOf[int(s / 15 * 127 + 0.5)] = s
        jump = -1
        for (i = 0; i < steps; i++) {
            if (!(value[i] in stepOf)) { bad = bad "step " i + 1 " has value " value[i] "\n"; continue }
            step[i] = stepOf[value[i]]
        }
        # Step 1 goes out before the roll, while the recording track does not listen yet.
        if (step[0] > 1) bad = bad "the first step recorded is " step[0] + 1 ", not 1 or 2\n"
        for (i = 1; i < steps; i++) {
            gap = start[i] - start[i - 1]
            if (step[i] == (step[i - 1] + 1) % 16) {
                # The first step recorded and the one the relocation sent wait for the roll.
                if (i > 1 && i - 1 != jump && !near(gap, steplength))
                    bad = bad "steps " step[i - 1] + 1 " and " step[i] + 1 " are " gap " samples apart\n"
            } else if (jump < 0 && step[i] == target && start[i] >= relocated) {
                jump = i
            } else {
                bad = bad "step " step[i] + 1 " follows step " step[i - 1] + 1 " at sample " start[i] "\n"
            }
        }
        if (steps < 10) bad = bad "only " steps " steps in 3 seconds\n"
        if (jump < 0) bad = bad "no relocation to step " target + 1 " after sample " relocated "\n"
        if (jump >= 0 && (jump < 5 || steps - jump < 5))
            bad = bad jump " steps before the relocation and " steps - jump " after it\n"
        if (bad != "") { printf "%s", bad; exit 1 }
        printf "Ardour played %s in external timing at 140 bpm: %d steps in turn, %d samples apart, relocated to step %d after %d steps\n", plugin, steps, steplength, target + 1, jump
    }' "$work/external.txt"
