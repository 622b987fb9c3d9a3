#!/bin/sh
# Ardour, a real host, loads the plug-in through its doors, the Linux VST 2 library, the LV2
# bundle and the VST 3 bundle, in a headless session, and each door must give the same events.
# At 120 bpm: Ardour sees "Ostrel" by "Halvark" with 23 parameters and 16 programs, and records
# controller 14 on channels 1 to 16 with the default program's value 64, one step (22050
# samples) apart to within one processing block (the plug-in places its messages at the start of
# the block).
# Then in external timing at 140 bpm, four steps a beat: the steps follow Ardour's song position,
# one after the other, 4725 samples apart; after a relocation to beat 2 they go on from step
# 9; and when Ardour plays its loop range (from 2000 samples into the 5th step to 2000 samples
# into the 9th) the steps go round from step 5 to step 9 and back to step 5 at each loop point,
# 2000 samples after step 9 began and 2725 samples before step 6.
# Ardour offers no control for the two parameters the VST 3 door marks as not automatable, so
# it plays the VST 3 bundle in internal timing only, and sees 21 parameters there; it lists the
# VST 3 program list as presets of the instance.
# usage: check_in_ardour.sh LIBRARY BUNDLE_FOLDER [VST3_BUNDLE]
set -u
library=$1 bundle=$2 vst3=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Ardour's configuration, caches and plug-in folder, all of this run's own; LV2 plug-ins from
# the bundle's folder alone.
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" LXVST_PATH="$work/vst"
LV2_PATH=$(cd "$(dirname "$bundle")" && pwd)
export LV2_PATH
mkdir -p "$XDG_CONFIG_HOME/ardour7/scripts" "$XDG_CACHE_HOME" "$LXVST_PATH"
cp "$library" "$LXVST_PATH/Morvo.so"
# Ardour keeps a cache entry only while it is newer than the library, compared in whole seconds.
touch -d '1 minute ago' "$LXVST_PATH/Morvo.so"
cp "$here/morvo_midi_recorder.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"

# The session reads only the scanner's cache, which is keyed by the absolute path.
LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 /usr/lib/ardour7/ardour-vst-scanner -q \
    "$LXVST_PATH/Morvo.so" || { echo "Ardour's scanner refused the library"; exit 1; }
# VST 3 bundles only from ~/.vst3 and the system's folders: a home of this run's own.
if [ -n "$vst3" ]; then
    export HOME="$work/home"
    mkdir -p "$HOME/.vst3"
    cp -r "$vst3" "$HOME/.vst3/Morvo.vst3"
    find "$HOME/.vst3" -exec touch -d '1 minute ago' {} +
    LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 /usr/lib/ardour7/ardour-vst3-scanner -q \
        "$HOME/.vst3/Morvo.vst3" || { echo "Ardour's scanner refused the VST 3 bundle"; exit 1; }
fi
play() { # door timing seconds
    rm -rf "$work/session"
    timeout 120 ardour7-lua "$here/play_in_ardour.lua" "$work/session" "$3" "$1" "$2" \
        >"$work/$1-$2.txt" 2>&1
    status=$?
    if [ $status -ne 0 ] || grep -q '^Error' "$work/$1-$2.txt"; then
        cat "$work/$1-$2.txt"
        echo "the Ardour session ($1, $2 timing) failed ($status)"
        exit 1
    fi
}

# Both timings: Control Change 14, the 16 channel messages of each step together at one sample.
steps='
    /^plugin / {
        plugin = substr($0, 8)
        next
    }
    /^relocated / { relocated = $2 }
    /^looped / { looped = $2; loopStart = $3; loopEnd = $4 }
    /^event / && $4 == 14 && $3 >= 176 && $3 <= 191 {
        if (n % 16 == 0) { start[n / 16] = $2; value[n / 16] = $5 }
        if ($2 != start[int(n / 16)]) { bad = bad "step " int(n / 16) + 1 " spread over samples\n" }
        if ($3 != 176 + n % 16) { bad = bad "message " n + 1 " on the wrong channel\n" }
        if ($5 != value[int(n / 16)]) { bad = bad "message " n + 1 " has value " $5 "\n" }
        n++
    }
    function finish() {
        steps = int(n / 16)
        if (plugin != "Ostrel|Halvark|" (door == "vst3" ? 21 : 23) "|16")
            bad = bad "Ardour saw the plug-in as " plugin "\n"
        if (n % 16 != 0) bad = bad "an incomplete step of " n % 16 " messages\n"
    }
    function near(gap, want) { return gap >= want - block && gap <= want + block }
'

internal() { # door
    awk -v block=1024 -v door="$1" "$steps"'
    END {
        finish()
        if (steps < 5) bad = bad "only " steps " steps in 3 seconds\n"
        for (i = 1; i < steps; i++) {
            if (value[i] != 64) bad = bad "step " i + 1 " has value " value[i] "\n"
            if (!near(start[i] - start[i - 1], 22050))
                bad = bad "steps " i " and " i + 1 " are " start[i] - start[i - 1] " samples apart\n"
        }
        if (bad != "") { printf "%s: %s", door, bad; exit 1 }
        printf "Ardour played %s (%s): %d steps of controller 14 on 16 channels, 22050 samples apart\n", plugin, door, steps
    }' "$work/$1-internal.txt"
}

# External timing: step s has the value s/15 of 127, so each value names its step.
external() { # door
    awk -v block=1024 -v steplength=4725 -v target=8 -v door="$1" "$steps"'
    END {
        finish()
        for (s = 0; s < 16; s++) stepOf[int(s / 15 * 127 + 0.5)] = s
        for (i = 0; i < steps; i++) {
            if (!(value[i] in stepOf)) { bad = bad "step " i + 1 " has value " value[i] "\n"; continue }
            step[i] = stepOf[value[i]]
        }
        # The loop range in steps, and where its ends fall within them.
        first = int(loopStart / steplength) % 16
        last = int((loopEnd - 1) / steplength) % 16
        intoLast = loopEnd - int((loopEnd - 1) / steplength) * steplength
        toNext = (int(loopStart / steplength) + 1) * steplength - loopStart
        # Step 1 goes out before the roll, while the recording track does not listen yet.
        if (step[0] > 1) bad = bad "the first step recorded is " step[0] + 1 ", not 1 or 2\n"
        jump = entry = -1
        wraps = 0
        for (i = 1; i < steps; i++) {
            gap = start[i] - start[i - 1]
            # The relocation and the loop request each send the step Ardour moved to first,
            # whichever step came before it.
            if (jump < 0 && step[i] == target && start[i] >= relocated && start[i] < looped) {
                jump = i
                continue
            }
            if (entry < 0 && step[i] == first && start[i] >= looped) {
                entry = i
                continue
            }
            if (entry >= 0 && (step[i] - first + 16) % 16 > (last - first + 16) % 16)
                bad = bad "step " step[i] + 1 " at sample " start[i] " in the loop\n"
            if (step[i] == (step[i - 1] + 1) % 16) {
                # The first step recorded and the ones a relocation sent wait for the roll; the
                # step after a loop point comes when the loop start is one step on.
                want = wrapped[i - 1] ? toNext : steplength
                if (i > 1 && i - 1 != jump && i - 1 != entry && !near(gap, want))
                    bad = bad "steps " step[i - 1] + 1 " and " step[i] + 1 " are " gap " samples apart\n"
            } else if (entry >= 0 && step[i] == first && step[i - 1] == last) {
                wraps++
                wrapped[i] = 1
                if (!near(gap, intoLast))
                    bad = bad "the loop point came " gap " samples after step " last + 1 "\n"
            } else {
                bad = bad "step " step[i] + 1 " follows step " step[i - 1] + 1 " at sample " start[i] "\n"
            }
        }
        if (steps < 20) bad = bad "only " steps " steps\n"
        if (jump < 0) bad = bad "no relocation to step " target + 1 " after sample " relocated "\n"
        if (jump >= 0 && (jump < 5 || (entry < 0 ? steps : entry) - jump < 5))
            bad = bad jump " steps before the relocation and " (entry < 0 ? steps : entry) - jump " after it\n"
        if (entry < 0) bad = bad "the loop never began with step " first + 1 " after sample " looped "\n"
        if (wraps < 2) bad = bad "the loop went round " wraps " times\n"
        if (bad != "") { printf "%s: %s", door, bad; exit 1 }
        printf "Ardour played %s (%s) in external timing at 140 bpm: %d steps in turn, %d samples apart, relocated to step %d after %d steps, looped %d times from step %d to step %d\n", plugin, door, steps, steplength, target + 1, jump, wraps, first + 1, last + 1
    }' "$work/$1-external.txt"
}

failed=0
for door in vst2 lv2; do
    play $door internal 3
    play $door external 4.4
    internal $door || failed=1
    external $door || failed=1
done
if [ -n "$vst3" ]; then
    play vst3 internal 3
    internal vst3 || failed=1
fi
exit $failed
