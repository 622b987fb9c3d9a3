#!/bin/sh
# One scripted song played by morvo-host through the VST 2 library and by morvo-clap-play
# through the CLAP plug-in: the two must send the same messages at the same block offsets, byte
# for byte, and the song must have made the plug-in play in each of its parts.
# usage: same_stream.sh SONG HOST VST2_LIBRARY PLAYER CLAP_LIBRARY [RUNNER]
# RUNNER runs Windows programs (cmake/wine-run.sh); their paths are then given as Wine's Z:.
set -u
song=$1 host=$2 vst2=$3 player=$4 clap=$5 runner=${6:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
path() { if [ -n "$runner" ]; then printf 'Z:%s' "$1" | tr '/' '\\'; else printf '%s' "$1"; fi; }

$runner "$host" "$(path "$vst2")" --song "$(path "$song")" --dump "$(path "$work/vst2.dump")" \
    >"$work/host.txt" 2>&1 || { echo "morvo-host failed:"; cat "$work/host.txt"; exit 1; }
$runner "$player" "$(path "$clap")" "$(path "$song")" "$(path "$work/clap.dump")" \
    >"$work/play.txt" 2>&1 || { echo "morvo-clap-play failed:"; cat "$work/play.txt"; exit 1; }

status=0
if ! cmp -s "$work/vst2.dump" "$work/clap.dump"; then
    echo "the streams differ (VST 2 <, CLAP >):"
    diff "$work/vst2.dump" "$work/clap.dump" | head -20
    status=1
fi
# Each eighth of the song sent something: the comparison covers all its parts.
lines=$(wc -l <"$work/vst2.dump")
last=$(tail -n 1 "$work/vst2.dump" | cut -d' ' -f1)
for eighth in 0 1 2 3 4 5 6 7; do
    from=$((last * eighth / 8)) to=$((last * (eighth + 1) / 8))
    count=$(awk -v from="$from" -v to="$to" '$1 >= from && $1 <= to' "$work/vst2.dump" | wc -l)
    if [ "$count" -eq 0 ]; then
        echo "nothing sent in blocks $from to $to"
        status=1
    fi
done
echo "$lines messages up to block $last, the same through both doors: $([ $status -eq 0 ] && echo yes || echo no)"
exit $status
