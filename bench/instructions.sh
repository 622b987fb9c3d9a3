#!/bin/sh
# Instructions a frame, counted by callgrind, for each path through each door: the record's own
# cases (bench_process.cpp), the same through the guest, the CLAP door (bench_clap.cpp), the
# LV2 door (bench_lv2.cpp) and the VST 3 door (bench_vst3.cpp), and Morvo.lv2 under lv2bench (no transport) beside QMidiArp's LV2
# sequencer and LFO. A count does not move with the machine's speed of the moment, so it shows what a
# change does to a path where timings cannot: a path dearer than the running one stands out.
# The morvo_bench cases count what the block function does (callgrind collects inside it
# alone), divided by its calls and the block's 512 frames; the lv2bench ones take the
# difference between two runs of different lengths, so that loading counts for nothing.
#   bench/instructions.sh [morvo_bench] [LV2 folder holding Morvo.lv2]
set -eu
bench=${1:-build/linux/bench/morvo_bench}
bundles=$(cd "${2:-build/linux/lv2}" && pwd) # lilv takes absolute folders only
[ -x "$bench" ] || { echo "instructions.sh: no benchmark program at $bench" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "instructions.sh: needs valgrind" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Ir collected in the functions named by PATTERN, and their calls, from a callgrind file
# written with its names in full.
count() {
    awk -v pattern="$2" '
        /^summary:/ { total = $2 }
        /^cfn=/ { target = index($0, pattern) > 0 }
        /^calls=/ { if (target) { split($1, c, "="); calls += c[2] } target = 0 }
        END { printf "%d %d\n", total, calls }' "$1"
}

printf "%-28s %14s\n" "case" "instr/frame"
for case in $("$bench" --benchmark_list_tests | grep -v '^Floor'); do
    case $case in
    *ThroughGuest) function='guest::Guest::run' ;;
    *ThroughClap) function='clap_door::Slots::process' ;;
    *ThroughLv2) function='lv2_door::(anonymous namespace)::run(' ;;
    *ThroughVst3) function='vst3_door::Slots::process(' ;;
    *) function='APlugin::processReplacing' ;;
    esac
    valgrind --tool=callgrind --callgrind-out-file="$out/$case" --compress-strings=no \
        "--toggle-collect=$function*" "$bench" "--benchmark_filter=^$case\$" \
        --benchmark_min_time=0.05 >/dev/null 2>&1
    count "$out/$case" "$function" | awk -v name="$case" '
        { if ($2 > 0) printf "%-28s %14.2f\n", name, $1 / ($2 * 512); else printf "%-28s %14s\n", name, "-" }'
done

export LV2_PATH="$bundles:/usr/lib/lv2"
if ! command -v lv2bench >/dev/null; then
    echo "instructions.sh: no lv2bench (lilv-utils): the LV2 counts are left out" >&2
    exit 0
fi
frames=44100
echo
printf "%-40s %8s %14s\n" "LV2 plug-in, no transport" "block" "instr/frame"
for uri in https://halvark.com/plugins/ostrel $(lv2ls | grep -i qmidiarp | grep -i -e seq -e lfo); do
    for block in 64 512 4096; do
        refs() {
            valgrind --tool=callgrind --callgrind-out-file=/dev/null lv2bench -b "$block" -n "$1" "$uri" 2>&1 |
                awk '/ refs:/ { gsub(",", "", $4); print $4 }'
        }
        short=$(refs "$frames")
        long=$(refs $((frames * 2)))
        printf "%-40s %8d %14.2f\n" "$uri" "$block" "$(echo "($long - $short) / $frames" | bc -l)"
    done
done
