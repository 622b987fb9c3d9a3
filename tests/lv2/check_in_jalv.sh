#!/bin/sh
# Morvo.lv2 in a real LV2 host: jalv (Debian's jalv) runs it as a client of a JACK server of its
# own (jackd2's dummy backend, under a private server name, never the user's), jack_transport
# sets the tempo, starts, stops and locates, and jack_midi_dump captures what the plug-in sends.
# In external timing at 140 bpm the captured steps are the ones morvo-host computes with the
# VST 2 library for the same song, and after a relocation they go on step by step from there.
# usage: check_in_jalv.sh BUNDLE_FOLDER MORVO_HOST VST2_LIBRARY
set -u
bundle=$1 morvo_host=$2 vst2=$3
uri=https://halvark.com/plugins/ostrel
name=jalv tools=jalv
. "$(dirname "$0")/jack_server.sh"

# Sixteen steps of values of their own (step N at N/17), four steps a beat, external timing.
settings="-c timing_mode=1 -c sync_value=0.04"
host_settings="--set syncValue=0.04"
for n in $(seq 1 16); do
    value=$(awk "BEGIN { printf \"%.6f\", $n / 17 }")
    settings="$settings -c step_$n=$value"
    host_settings="$host_settings --set step$n=$value"
done
mkfifo "$work/jalv.in"
# shellcheck disable=SC2086 # the settings are words
jalv -n ostrel $settings "$uri" <"$work/jalv.in" >"$work/jalv.log" 2>&1 &
pids="$pids $!"
exec 3>"$work/jalv.in"
waitFor ostrel:notify >/dev/null
printf 'master\ntempo 140\nlocate 0\n' >&4

capture() { # seconds: play from where the transport is, then stop
    jack_midi_dump "dump$$" >"$work/$2.dump" 2>"$work/$2.log" &
    dump=$!
    waitFor "dump$$:input" >/dev/null
    jack_connect ostrel:notify "dump$$:input" || fail "cannot connect the monitor"
    sleep 0.5
    printf 'play\n' >&4
    sleep "$1"
    printf 'stop\n' >&4
    sleep 0.5
    kill "$dump"
    wait "$dump" 2>/dev/null
}
capture 3 first
printf 'locate 480000\n' >&4 # 10 s: beat 23 1/3, step 14
sleep 0.3
capture 2 second

# The captured messages: every one a Control Change of controller 14 (CC Out's default), in
# groups of the 16 channels with one value each; the group values, one per step.
steps() {
    # jack_midi_dump's lines: "TIME: BYTES... description".
    awk -v file="$1" '
        function hex(text,    i, n) {
            n = 0
            for (i = 1; i <= length(text); i++)
                n = n * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
            return n
        }
        $1 ~ /:$/ { status = hex($2); cc = hex($3); value = hex($4)
          if (status != 176 + n % 16 || cc != 14) { print "bad " file ": " $0; exit 1 }
          if (n % 16 == 0) first = value
          else if (value != first) { print "bad " file " group: " $0; exit 1 }
          if (n % 16 == 15) print value
          n++ }
        END { if (n % 16 != 0) print "bad " file ": an incomplete group" }' "$work/$1.dump"
}
first=$(steps first) || fail "$first"
second=$(steps second) || fail "$second"
echo "$first$second" | grep -q bad && fail "$(echo "$first$second" | grep bad)"
count=$(echo "$first" | grep -c .)
[ "$count" -ge 20 ] || fail "only $count steps in 3 s at 140 bpm"

# morvo-host's steps for the same song, from the song's start, but for step 1: the plug-in sent
# it when the transport was located to 0, before the capture listened.
# shellcheck disable=SC2086
expected=$("$morvo_host" "$vst2" --tempo 140 --rate 48000 --block 1024 --timing external \
    --beats 16 $host_settings | awk '$1 ~ /^[0-9.]+$/ && NF >= 6 { print $6 }' |
    tail -n +2 | head -n "$count")
if [ "$first" != "$expected" ]; then
    echo "captured: $(echo $first)"
    echo "expected: $(echo $expected)"
    fail "the steps from the start are not morvo-host's"
fi

# After the relocation: step by step from step 14 on (each value the next step's, 16 wrapping
# to 1), at least a second of them.
values=$(for n in $(seq 1 16); do awk "BEGIN { printf \"%d\\n\", int($n / 17 * 127 + 0.5) }"; done)
order=$(echo "$second" | while read -r value; do echo "$values" | grep -nx "$value" | cut -d: -f1; done)
echo "$order" | awk 'NR == 1 && ($1 < 14 || $1 > 15) { print "starts at step " $1; exit 1 }
    NR > 1 && $1 != prev % 16 + 1 { print "step " $1 " after " prev; exit 1 }
    { prev = $1 } END { if (NR < 6) { print "only " NR " steps"; exit 1 } }' >"$work/order.log" ||
    fail "after the relocation: $(cat "$work/order.log")"
echo "jalv played $count steps as morvo-host computes them, then $(echo "$order" | grep -c .) from step $(echo "$order" | head -n 1) after the relocation"
