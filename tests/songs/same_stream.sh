#!/bin/sh
# One scripted song played by morvo-host through the VST 2 library and by a host of our own
# through each other door (morvo-clap-play with Morvo.clap, morvo-lv2-play with Morvo.lv2,
# morvo-vst3-play with Morvo.vst3): all must send the same messages at the same block offsets,
# byte for byte, and the song must have made the plug-in play in each of its parts.
# usage: same_stream.sh SONG RUNNER HOST VST2_LIBRARY [PLAYER PLUGIN]...
# RUNNER runs Windows programs (cmake/wine-run.sh), their paths then given as Wine's Z:; "-"
# runs them as they are.
set -u
song=$1 runner=$2 host=$3 vst2=$4
shift 4
[ "$runner" = - ] && runner=""
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
path() { if [ -n "$runner" ]; then printf 'Z:%s' "$1" | tr '/' '\\'; else printf '%s' "$1"; fi; }

$runner "$host" "$(path "$vst2")" --song "$(path "$song")" --dump "$(path "$work/vst2.dump")" \
    >"$work/host.txt" 2>&1 || { echo "morvo-host failed:"; cat "$work/host.txt"; exit 1; }
status=0
lines=$(wc -l <"$work/vst2.dump")
while [ $# -ge 2 ]; do
    player=$1 plugin=$2
    shift 2
    door=$(basename "$plugin")
    $runner "$player" "$(path "$plugin")" "$(path "$song")" "$(path "$work/door.dump")" \
        >"$work/play.txt" 2>&1 || { echo "$(basename "$player") failed:"; cat "$work/play.txt"; exit 1; }
    if cmp -s "$work/vst2.dump" "$work/door.dump"; then
        echo "$door: the same $lines messages as the VST 2 library"
    else
        echo "$door: the stream differs from the VST 2 library's (VST 2 <, $door >):"
        diff "$work/vst2.dump" "$work/door.dump" | head -20
        status=1
    fi
done
# Each eighth of the song sent something: the comparison covers all its parts.
last=$(tail -n 1 "$work/vst2.dump" | cut -d' ' -f1)
for eighth in 0 1 2 3 4 5 6 7; do
    from=$((last * eighth / 8)) to=$((last * (eighth + 1) / 8))
    if ! awk -v from="$from" -v to="$to" '$1 >= from && $1 <= to { found = 1 } END { exit !found }' \
        "$work/vst2.dump"; then
        echo "nothing sent in blocks $from to $to"
        status=1
    fi
done
exit $status
