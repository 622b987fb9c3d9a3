#!/bin/sh
# What the CLAP and VST 3 doors cost on the running cases: each case's ns per sample through the
# door (bench_clap.cpp: the library's clap_entry, a transport event a block, the MIDI pushed to a
# host's list; bench_vst3.cpp: Morvo.vst3 loaded as hosts load it, a process context a block, the
# Control Change events in the host's list) against the same case through the guest alone (the
# host of the record every door and morvo-host share: the door's own cost is the difference),
# and, for reference, CLAP against the record in bench_process.cpp's host, which answers the
# time requests with constants. Each ratio is the median of the ratios within each process (the
# cases run in the same process, their repetitions interleaved at random, so a process's own
# speed does not move it) over several processes. Fails when a door costs a running case more
# than 5 % over the guest alone; Stopped is shown for reference.
#   bench/clap.sh [benchmark program] [processes]
set -eu
runs=9
bench=build/linux/bench/morvo_bench
limit=1.05
for argument in "$@"; do
    case $argument in
    *[!0-9]*) bench=$argument ;;
    *) runs=$argument ;;
    esac
done
[ -x "$bench" ] || { echo "clap.sh: no benchmark program at $bench" >&2; exit 1; }

results=$(mktemp)
trap 'rm -f "$results"' EXIT
i=0
while [ "$i" -lt "$runs" ]; do
    "$bench" --benchmark_filter='^(Stopped|InternalRunning|ExternalRunning|Internal250Pending)(Through(Clap|Guest|Vst3))?$' \
        --benchmark_min_time=0.1 --benchmark_repetitions=5 \
        --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
        --benchmark_format=csv 2>/dev/null |
        awk -F, -v run="$i" '$1 ~ /_median"$/ {
            name = $1; gsub(/"|_median/, "", name); print name, $NF * 1e9, run }' >>"$results"
    i=$((i + 1))
done

awk -v runs="$runs" -v limit="$limit" '
function median(list, n,   i, j, t) {
    for (i = 2; i <= n; ++i)
        for (j = i; j > 1 && list[j - 1] > list[j]; --j) { t = list[j]; list[j] = list[j - 1]; list[j - 1] = t }
    return n % 2 ? list[(n + 1) / 2] : (list[n / 2] + list[n / 2 + 1]) / 2
}
# The median over the processes of a door case against the guest case in the same process.
function against(name, door,   n, r, ratio) {
    n = 0
    for (r = 0; r < runs; ++r)
        if (((name door, r) in value) && value[name "ThroughGuest", r] > 0)
            ratio[++n] = value[name door, r] / value[name "ThroughGuest", r]
    return n > 0 ? median(ratio, n) : -1
}
{ value[$1, $3] = $2 }
END {
    printf "%-20s %9s %9s %9s %9s %11s %11s %12s   (%d processes)\n", "case", "record ns", "guest ns", "CLAP ns", "VST3 ns", "CLAP/guest", "VST3/guest", "CLAP/record", runs
    split("InternalRunning ExternalRunning Internal250Pending Stopped", cases, " ")
    over = 0
    for (k = 1; k <= 4; ++k) {
        name = cases[k]; n = 0; nv = 0
        for (r = 0; r < runs; ++r) {
            if (!((name, r) in value) || !((name "ThroughClap", r) in value) ||
                !((name "ThroughGuest", r) in value)) continue
            ++n
            vst[n] = value[name, r]; guest[n] = value[name "ThroughGuest", r]
            clap[n] = value[name "ThroughClap", r]
            reference[n] = vst[n] > 0 ? clap[n] / vst[n] : 0
            if ((name "ThroughVst3", r) in value) vst3[++nv] = value[name "ThroughVst3", r]
        }
        if (n == 0) { printf "%-20s no figures\n", name; over = 1; continue }
        v = median(vst, n); g = median(guest, n); c = median(clap, n); ref = median(reference, n)
        mc = against(name, "ThroughClap"); mv = against(name, "ThroughVst3")
        running = name != "Stopped"
        flag = running ? "" : "  (not running: for reference)"
        if (running && (mc > limit || mv > limit)) { flag = "  over " limit; over = 1 }
        v3 = "-"; if (nv > 0) v3 = sprintf("%.3f", median(vst3, nv))
        r3 = "-"; if (mv >= 0) r3 = sprintf("%.3f", mv)
        printf "%-20s %9.3f %9.3f %9.3f %9s %11.3f %11s %12.3f%s\n", name, v, g, c, v3, mc, r3, ref, flag
    }
    exit over
}' "$results"
