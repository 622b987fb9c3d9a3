#!/bin/sh
# A long offline render with every file morvo-host writes: its peak memory (which must not grow
# with the song's length) and its time per beat. The files go to a scratch folder and are
# removed afterwards.
# usage: bench/long_render.sh MORVO_HOST LIBRARY [BEATS]   (default 100000 beats at 32 steps a beat)
set -eu
host=$1 library=$2 beats=${3:-100000}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for length in $((beats / 10)) "$beats"; do
    /usr/bin/time -f "%e %M" -o "$scratch/time" "$host" "$library" --beats "$length" \
        --set syncValue=0.32 --mid "$scratch/a.mid" --svg "$scratch/a.svg" \
        --events "$scratch/a.txt" --dump "$scratch/a.dump" >"$scratch/table.txt"
    read -r seconds kilobytes <"$scratch/time"
    bytes=$(cat "$scratch"/a.* "$scratch/table.txt" | wc -c)
    awk -v b="$length" -v s="$seconds" -v k="$kilobytes" -v w="$bytes" 'BEGIN {
        printf "%7d beats: %6.1f s, %6.3f ms a beat, peak %6.1f MB, %6.0f MB written\n",
            b, s, 1000 * s / b, k / 1024, w / 1048576 }'
done
