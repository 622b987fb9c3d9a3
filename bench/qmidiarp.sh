#!/bin/sh
# Morvo against the nearest open peer, QMidiArp's LV2 step sequencer and LFO (Debian's qmidiarp,
# installed by this script when it is missing). Each round runs, one after the other:
#   - lv2bench on Morvo.lv2 and on the two peers, no transport, at blocks of 64, 512 and 4096;
#   - morvo_bench's cases through every door (the guest, CLAP, LV2, VST 3) at blocks of 512, running
#     with a transport and on the quiet paths (stopped, no tempo, a host's transport standing).
# The machine's speed of the moment then moves them alike; each ratio is the median over the
# rounds of Morvo's time a frame over the peer's in the same round (at 512 frames for the cases).
#   bench/qmidiarp.sh [LV2 folder holding Morvo.lv2] [rounds] [morvo_bench]
set -eu
bundles=$(cd "${1:-build/linux/lv2}" && pwd) # lilv takes absolute folders only
rounds=${2:-7}
bench=${3:-build/linux/bench/morvo_bench}
frames=2205000
morvo=https://halvark.com/plugins/ostrel
cases='^(Stopped|InternalRunning|ExternalRunning|NoTempo|HostStopped)Through(Guest|Clap|Lv2|Vst3)$'
[ -x "$bench" ] || { echo "qmidiarp.sh: no benchmark program at $bench" >&2; exit 1; }
if ! lv2ls 2>/dev/null | grep -qi qmidiarp; then
    echo "== installing qmidiarp" >&2
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        qmidiarp lilv-utils >/dev/null
fi
seq=$(lv2ls | grep -i 'qmidiarp' | grep -i 'seq' | head -n 1)
lfo=$(lv2ls | grep -i 'qmidiarp' | grep -i 'lfo' | head -n 1)
[ -n "$seq" ] && [ -n "$lfo" ] || { echo "qmidiarp.sh: no QMidiArp LV2 plug-ins" >&2; exit 1; }
export LV2_PATH="$bundles:/usr/lib/lv2"
# Lines of "ROUND BLOCK NAME NS-A-FRAME": the plug-ins by URI, the cases by name at block 512.
round=1
while [ "$round" -le "$rounds" ]; do
    for block in 64 512 4096; do
        for uri in "$morvo" "$seq" "$lfo"; do
            seconds=$(lv2bench -b "$block" -n "$frames" "$uri" 2>/dev/null | tail -n 1 | cut -d ' ' -f 1)
            echo "$round $block $uri $(echo "$seconds * 1000000000 / $frames" | bc -l)"
        done
    done
    "$bench" "--benchmark_filter=$cases" --benchmark_min_time=0.1 --benchmark_format=csv 2>/dev/null |
        awk -F, -v round="$round" '$1 ~ /^"/ { name = $1; gsub(/"/, "", name); print round, 512, name, $NF * 1e9 }'
    round=$((round + 1))
done | awk -v morvo="$morvo" -v seq="$seq" -v lfo="$lfo" '
    function median(list, n,    i, j, t) {
        for (i = 2; i <= n; ++i)
            for (j = i; j > 1 && list[j - 1] > list[j]; --j) { t = list[j]; list[j] = list[j - 1]; list[j - 1] = t }
        return n % 2 ? list[(n + 1) / 2] : (list[n / 2] + list[n / 2 + 1]) / 2
    }
    # One row: the median time a frame of `name` at `block`, and its ratios to the two peers.
    function row(label, name, block,    r, m, s, l, rs, rl) {
        for (r = 1; r <= last; ++r) {
            m[r] = t[r, block, name]; s[r] = t[r, block, seq]; l[r] = t[r, block, lfo]
            rs[r] = m[r] / s[r]; rl[r] = m[r] / l[r]
        }
        printf "%-30s %6d %10.2f %10.2f %10.2f\n", label, block, median(m, last), median(rs, last), median(rl, last)
    }
    { t[$1, $2, $3] = $4; if ($1 > last) last = $1; if ($2 == 512 && $3 !~ /:/ && !($3 in seen)) { seen[$3] = 1; names[++count] = $3 } }
    END {
        for (b = 64; b <= 4096; b *= 8) { s = 0; l = 0
            for (r = 1; r <= last; ++r) { ss[r] = t[r, b, seq]; ll[r] = t[r, b, lfo] }
            printf "QMidiArp at %4d frames: seq %.2f ns a frame, lfo %.2f\n", b, median(ss, last), median(ll, last)
        }
        printf "\n%-30s %6s %10s %10s %10s   (%d rounds)\n", "Morvo", "block", "ns/frame", "x seq", "x lfo", last
        for (b = 64; b <= 4096; b *= 8) row("Morvo.lv2, no transport", morvo, b)
        for (i = 1; i <= count; ++i) row(names[i], names[i], 512)
    }'
