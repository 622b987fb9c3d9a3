#!/bin/sh
# The Windows morvo-host's MIDI out devices under Wine: --list-midi lists what the system has
# (Wine may have none), and --midi-out with a device that is not there ends with an error that
# names it and lists the devices, before anything plays.
# usage: midi_out.sh WINE_RUN WINDOWS_HOST WINDOWS_LIBRARY
set -u
wine_run=$1 host=$2 library=$3
status=0
list=$("$wine_run" "$host" --list-midi)
code=$?
echo "$list"
[ "$code" -eq 0 ] || { echo "FAIL: --list-midi ended with $code"; status=1; }
echo "$list" | grep -Eq '^(MIDI out devices:|no MIDI out devices)$' ||
    { echo "FAIL: --list-midi printed no list"; status=1; }

library=Z:$(printf '%s' "$library" | tr '/' '\\')
for device in "No Such Synth" 97; do
    out=$("$wine_run" "$host" "$library" --live --beats 1 --midi-out "$device")
    code=$?
    echo "$out"
    [ "$code" -ne 0 ] || { echo "FAIL: --midi-out '$device' ended with 0"; status=1; }
    echo "$out" | grep -q "^morvo-host: no MIDI out device '$device'$" ||
        { echo "FAIL: the error does not name '$device'"; status=1; }
    echo "$out" | grep -Eq '^(MIDI out devices:|no MIDI out devices)$' ||
        { echo "FAIL: the error lists no devices"; status=1; }
    echo "$out" | grep -q "beat" && { echo "FAIL: it played"; status=1; }
done
exit "$status"
