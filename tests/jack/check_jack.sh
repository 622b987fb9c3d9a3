#!/usr/bin/env bash
# morvo-host --jack on a JACK server of its own (the dummy backend, under a private name, never
# started by JACK itself), captured and driven by JACK's own tools: the client and its ports;
# a run captured by jack_midi_dump, with notes played into it by jack_midiseq, against what the
# offline morvo-host computes for the same song; the transport's start, stop and locate with
# external timing; a timebase master's tempo and bar-beat-tick position; no allocation in the
# process callback; no server, and a server that goes away.
# usage: check_jack.sh MORVO_HOST MORVO_HOST_COUNTED LIBRARY WORK_DIR
set -u
host=$1 counted=$2 library=$3 work=$4
. "$(dirname "$0")/private_shm.sh"
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
export JACK_DEFAULT_SERVER=morvo-test-$$ JACK_NO_START_SERVER=1
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}
pids=()
stop_all() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
}
trap stop_all EXIT

# 48 kHz, blocks of 256; at 117.1875 bpm a beat is 24576 samples (96 blocks), and a timebase
# master's ticks (1920 a beat) advance by a whole 20 a block. Four steps a beat: 6144 samples.
tempo=117.1875 step_length=6144
# Sixteen different values, so that each message tells its step: round(127 (i-1)/15).
song=(--set syncValue=0.04)
for i in $(seq 1 16); do
    song+=(--set "step$i=$(awk "BEGIN { printf \"%.6f\", ($i - 1) / 15 }")")
done
step_of_value() { awk -v v="$1" 'BEGIN { for (i = 1; i <= 16; ++i) if (int(127 * (i - 1) / 15 + 0.5) == v) print i }'; }

# Waits until PORT exists (up to 10 s).
wait_for_port() {
    for _ in $(seq 1 100); do
        jack_lsp 2>/dev/null | grep -qx "$1" && return 0
        sleep 0.1
    done
    fail "port $1 did not appear"
    return 1
}

# The steps of a jack_midi_dump capture, one line each: the frame and the step, for each run of
# the 16 channel messages of one step at one frame.
steps_of_capture() {
    awk 'function hex(t) { return index("0123456789abcdef", substr(t, 1, 1)) * 16 + index("0123456789abcdef", substr(t, 2, 1)) - 17 }
         $2 ~ /^b/ { frame = $1; sub(":", "", frame); if ($2 == "b0") { first = frame; value = hex($4); n = 0 }
         if (frame == first && hex($4) == value) ++n; if (n == 16 && $2 == "bf") print frame, value }' "$1" |
        while read -r frame value; do echo "$frame $(step_of_value "$value")"; done
}

# ---- no server: one line on stderr, a non-zero exit, within a second.
started=$(date +%s%N)
"$host" "$library" --jack >no-server.out 2>no-server.err
status=$?
elapsed=$((($(date +%s%N) - started) / 1000000))
echo "no server: exit $status after $elapsed ms: $(cat no-server.err)"
[ "$status" -ne 0 ] || fail "no server: exit status 0"
[ "$(wc -l <no-server.err)" -eq 1 ] || fail "no server: not one line: $(cat no-server.err)"
grep -q "no JACK server is running" no-server.err || fail "no server: unclear message"
[ "$elapsed" -lt 1000 ] || fail "no server: $elapsed ms"

# ---- the server, in synchronous mode: each cycle's MIDI is read in that cycle, where JACK's
# asynchronous default hands a late client's output to the next one, a block off.
jackd -S -d dummy -r 48000 -p 256 >jackd.log 2>&1 &
jackd_pid=$!
pids+=("$jackd_pid")
wait_for_port system:playback_1 || exit 1

# ---- a run of 8 beats with reset notes coming in, captured, against the offline computation.
jack_midi_dump -a capture >capture.txt 2>/dev/null &
pids+=($!)
wait_for_port capture:input
# Note 14 (reset) 1000 samples into every 10007, note 60 between: at ever other offsets inside
# blocks. At 120 bpm a step (6000 samples) ends at ever other offsets too, so a note delivered
# at another offset changes when the steps after it are sent.
jack_midiseq notes 10007 1000 14 100 5000 60 100 >/dev/null 2>&1 &
pids+=($!)
wait_for_port notes:out
"$host" "$library" --jack --client morvo-test --bpm 120 "${song[@]}" --beats 8 \
    --connect-out capture:input --connect-in notes:out --events jack.txt >run.txt 2>run.err &
run_pid=$!
wait_for_port morvo-test:midi_out
ports=$(jack_lsp morvo-test | sort | tr '\n' ' ')
[ "$ports" = "morvo-test:audio_in_1 morvo-test:audio_in_2 morvo-test:audio_out_1 morvo-test:audio_out_2 morvo-test:midi_in morvo-test:midi_out " ] ||
    fail "the client's ports: $ports"
jack_lsp -c morvo-test:midi_out | grep -q "capture:input" || fail "--connect-out made no connection"
wait "$run_pid" || fail "the captured run ended with exit status $? ($(cat run.err))"
sleep 0.2

# The notes the run delivered, at their samples, to the offline run.
notes=()
while read -r sample _ status note _; do
    notes+=(--note "$((16#$note))@$(awk "BEGIN { printf \"%.9f\", $sample / 24000 }")")
done < <(awk '$2 == "in" && $3 ~ /^9/' jack.txt)
[ ${#notes[@]} -ge 30 ] || fail "too few notes reached the plug-in: $((${#notes[@]} / 2))"
"$host" "$library" --rate 48000 --block 256 --tempo 120 "${song[@]}" --beats 8 "${notes[@]}" \
    --events offline.txt >offline.out || fail "the offline run failed"
# Captured frames from the first captured message on, against the offline samples.
awk '$2 ~ /^[89a-f]/ { sub(":", "", $1); if (first == "") first = $1; print $1 - first, toupper($2), toupper($3), toupper($4) }' \
    capture.txt >captured.txt
awk '$2 == "out" { print $1, $3, $4, $5 }' offline.txt >computed.txt
awk '$2 == "in" && $3 ~ /^9/ { print $1, $4 }' jack.txt >jack-notes.txt
awk '$2 == "in" { print $1, $4 }' offline.txt >offline-notes.txt
captured=$(wc -l <captured.txt) computed=$(wc -l <computed.txt)
differing=$(diff captured.txt computed.txt | grep -c '^[<>]')
xruns=$(sed -n 's/^played .* \([0-9]*\) xruns\{0,1\}$/\1/p' run.txt)
echo "captured $captured messages, computed $computed, lines differing: $differing; $xruns xruns"
[ "$computed" -gt 250 ] || fail "the offline run computed only $computed messages"
if [ "$xruns" = 0 ]; then
    cmp -s captured.txt computed.txt || fail "captured and computed differ: $(diff captured.txt computed.txt | head -5)"
else
    # A late cycle (an xrun) may shift the capture's clock by whole blocks; the messages and
    # their order stay, and no frame moves by more than a block for each xrun.
    paste -d ' ' captured.txt computed.txt | awk -v most=$((xruns * 256)) '
        $2 $3 $4 != $6 $7 $8 || ($1 - $5) % 256 != 0 || ($1 - $5) * ($1 - $5) > most * most { bad = 1 }
        END { exit bad }' && [ "$captured" = "$computed" ] ||
        fail "captured and computed differ beyond $xruns xruns: $(diff captured.txt computed.txt | head -5)"
fi
cmp -s jack-notes.txt offline-notes.txt || fail "the notes: $(diff jack-notes.txt offline-notes.txt | head -4)"
grep -q "note 14 sent to the plug-in" run.txt || fail "the incoming notes were not shown"

# ---- external timing: the transport's start, stop and locate.
jack_midi_dump -a external >external.txt 2>/dev/null &
pids+=($!)
wait_for_port external:input
"$counted" "$library" --jack --client morvo-external --timing external --bpm $tempo "${song[@]}" \
    --connect-out external:input >external-run.txt 2>&1 &
run_pid=$!
wait_for_port morvo-external:midi_out
sleep 0.3
located=$((step_length * 37 + step_length / 2)) # inside step 6 of 16
{
    echo "locate 0"
    sleep 0.2
    echo play
    sleep 1
    echo stop
    sleep 0.6
    echo "locate $located"
    sleep 0.3
    echo play
    sleep 0.8
    echo stop
    sleep 0.2
    echo quit
} | jack_transport >/dev/null 2>&1
kill -TERM "$run_pid"
wait "$run_pid" || fail "the external run ended with exit status $?"
grep -q "allocations in the process callback: 0$" external-run.txt ||
    fail "allocations in the process callback: $(grep allocations external-run.txt)"
steps_of_capture external.txt >external-steps.txt
# Step 1 at once (the song stands at 0), then rolling from 0: steps 2, 3, 4, ..., one step length
# apart; then straight to step 6 (none while stopped), then on from there, one step length apart.
awk -v apart="$step_length" '
    NR == 1 { if ($2 != 1) print "the first step is " $2 ", not 1"; last = -1; expect = 2; next }
    NR == 2 { if ($2 != 2) print "the first step rolling is " $2 ", not 2"; last = $1; expect = 3; next }
    phase == 0 && $2 == expect { if ($1 - last != apart) print "steps " $1 - last " apart"; last = $1; expect = expect % 16 + 1; ++rolled; next }
    phase == 0 { if ($2 != 6) print "after the stop and the locate: step " $2 ", not 6"; phase = 1; expect = 7; last = -1; next }
    $2 == expect { if (last >= 0 && $1 - last != apart) print "after the locate, steps " $1 - last " apart"; last = $1; expect = expect % 16 + 1; ++after; next }
    { print "after the locate: step " $2 ", not " expect }
    END { if (rolled < 5 || after < 4 || phase != 1) print "too few steps: " rolled " before the stop, " after " after the locate" }
' external-steps.txt >external-faults.txt
echo "external timing: $(wc -l <external-steps.txt) steps"
[ ! -s external-faults.txt ] || fail "external timing: $(head -3 external-faults.txt)"

# ---- a timebase master: its tempo for internal timing, its bars and beats for external timing;
# the host's own tempo (58.59375 bpm, 12288 samples a step) would give other step lengths. The
# master is located to bar 1, beat 3 (JACK counts both from 1): song position 2, step 9 of 16,
# played with 5 steps (so that a bar, 16 steps, is not a whole number of rounds): step 4.
clients=()
for timing in internal external; do
    jack_midi_dump -a "master-$timing" >"master-$timing.txt" 2>/dev/null &
    pids+=($!)
    wait_for_port "master-$timing:input"
    rounds=()
    [ $timing = external ] && rounds=(--set endStep=0.05)
    "$counted" "$library" --jack --client "morvo-$timing" --timing $timing --bpm 58.59375 "${song[@]}" \
        "${rounds[@]}" --connect-out "master-$timing:input" >"master-$timing-run.txt" 2>&1 &
    clients+=($!)
    wait_for_port "morvo-$timing:midi_out"
done
sleep 0.6 # long enough for two steps at the host's own tempo
{
    echo master
    echo "tempo $tempo"
    echo "locate $((2 * step_length * 4))"
    sleep 0.3
    echo play
    sleep 1.5
    # The clients end while the master still rolls.
    kill -TERM "${clients[@]}"
    sleep 0.5
    echo stop
    echo quit
} | jack_transport >/dev/null 2>&1
for client in "${clients[@]}"; do wait "$client" || fail "a client of the master's ended with $?"; done
for timing in internal external; do
    grep -q "allocations in the process callback: 0$" "master-$timing-run.txt" ||
        fail "allocations in the process callback, $timing timing"
    steps_of_capture "master-$timing.txt" >"master-$timing-steps.txt"
    # The last four steps are one step length of the master's tempo apart.
    apart=$(tail -n 5 "master-$timing-steps.txt" | awk 'NR > 1 { printf "%d ", $1 - last } { last = $1 }')
    echo "timebase master, $timing timing: steps $apart apart"
    [ "$apart" = "$step_length $step_length $step_length $step_length " ] ||
        fail "timebase master, $timing timing: steps $apart apart, not $step_length"
done

# Stopped at bar 1, beat 3: step 4; rolling on from there: step 5 one step length later.
located=$(awk -v apart="$step_length" 'NR > 1 && $1 - last == apart { print before, previous, $2; exit }
    { before = previous; previous = $2; last = $1 }' master-external-steps.txt)
[ "$located" = "4 5 1" ] || fail "the timebase master's bar 1, beat 3: steps $located, not 4 5 1"
first=$(head -n 2 master-internal-steps.txt | awk 'NR > 1 { print $1 - last } { last = $1 }')
[ "$first" = 12288 ] || fail "before the timebase master, steps $first apart, not 12288"

# ---- the server goes away: the client says so and ends, no hang.
"$host" "$library" --jack --client morvo-orphan >orphan.out 2>orphan.err &
run_pid=$!
wait_for_port morvo-orphan:midi_out
kill -TERM "$jackd_pid"
for _ in $(seq 1 50); do
    kill -0 "$run_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$run_pid" 2>/dev/null; then
    fail "the client hangs after the server went away"
    kill -KILL "$run_pid"
fi
wait "$run_pid"
status=$?
[ "$status" -ne 0 ] || fail "the server went away: exit status 0"
grep -q "the JACK server went away" orphan.err || fail "the server went away: $(cat orphan.err)"

[ "$failed" -eq 0 ] && echo "all JACK checks passed"
exit "$failed"
