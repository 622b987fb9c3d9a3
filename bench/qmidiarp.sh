#!/bin/sh
# Morvo.lv2 against the nearest open peer, QMidiArp's LV2 step sequencer and LFO (Debian's
# qmidiarp, installed by this script when it is missing), with lv2bench and no transport, at
# blocks of 64, 512 and 4096 frames. The three plug-ins run interleaved in every round, so that
# the machine's speed of the moment moves them alike; each ratio is the median over the rounds
# of Morvo's time over the peer's in the same round.
#   bench/qmidiarp.sh [LV2 folder holding Morvo.lv2] [rounds]
set -eu
bundles=$(cd "${1:-build/linux/lv2}" && pwd) # lilv takes absolute folders only
rounds=${2:-7}
frames=2205000
morvo=https://halvark.com/plugins/ostrel
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
for block in 64 512 4096; do
    round=1
    while [ "$round" -le "$rounds" ]; do
        for uri in "$morvo" "$seq" "$lfo"; do
            seconds=$(lv2bench -b "$block" -n "$frames" "$uri" 2>/dev/null | tail -n 1 | cut -d ' ' -f 1)
            echo "$block $round $uri $seconds"
        done
        round=$((round + 1))
    done
done | awk -v frames="$frames" -v morvo="$morvo" -v seq="$seq" -v lfo="$lfo" '
    function median(list, n,    i, j, t) {
        for (i = 2; i <= n; ++i)
            for (j = i; j > 1 && list[j - 1] > list[j]; --j) { t = list[j]; list[j] = list[j - 1]; list[j - 1] = t }
        return n % 2 ? list[(n + 1) / 2] : (list[n / 2] + list[n / 2 + 1]) / 2
    }
    { t[$1, $2, $3] = $4; blocks[$1] = 1; if ($2 > last) last = $2 }
    END {
        printf "%6s %12s %12s %12s %10s %10s\n", "block", "Morvo ns/f", "seq ns/f", "lfo ns/f", "Morvo/seq", "Morvo/lfo"
        for (b = 64; b <= 4096; b *= 8) {
            for (r = 1; r <= last; ++r) {
                m[r] = t[b, r, morvo]; s[r] = t[b, r, seq]; l[r] = t[b, r, lfo]
                rs[r] = m[r] / s[r]; rl[r] = m[r] / l[r]
            }
            printf "%6d %12.2f %12.2f %12.2f %10.2f %10.2f\n", b, median(m, last) * 1e9 / frames,
                median(s, last) * 1e9 / frames, median(l, last) * 1e9 / frames, median(rs, last), median(rl, last)
        }
    }'
