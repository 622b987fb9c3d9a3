#!/bin/sh
# Prints each benchmark's ns per sample, the median over several processes with its range, and
# its ratio to the floor, the median of the ratios within each process. One process settles into
# one of a few speeds (where its code and data fall against the CPU's predictors, and what
# shares the core), so neither a median within one process nor a ratio of medians is enough.
# Given several programs (two builds of the engine), it runs them in turn within each round, so
# a slow spell of the machine hits them alike, and prints a table for each.
#   bench/compare.sh [benchmark program ...] [processes]
set -eu
runs=9
programs=""
for argument in "$@"; do
    case $argument in
    *[!0-9]*) programs="$programs $argument" ;;
    *) runs=$argument ;;
    esac
done
[ -n "$programs" ] || programs=build/linux/bench/morvo_bench
for bench in $programs; do
    [ -x "$bench" ] || { echo "compare.sh: no benchmark program at $bench" >&2; exit 1; }
done

results=$(mktemp)
trap 'rm -f "$results"' EXIT
i=0
while [ "$i" -lt "$runs" ]; do
    p=0
    for bench in $programs; do
        # Repetitions interleaved at random, so a slow spell of the machine hits every case alike.
        "$bench" --benchmark_min_time=0.1 --benchmark_repetitions=5 \
            --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
            --benchmark_format=csv 2>/dev/null |
            awk -F, -v run="$i" -v program="$p" '$1 ~ /_median"$/ {
                name = $1; gsub(/"|_median/, "", name); print program, name, $NF * 1e9, run }' >>"$results"
        p=$((p + 1))
    done
    i=$((i + 1))
done

# Per program and case: the median ns per sample over the processes with its range, and the
# median of its ratio to the floor measured in the same process, which a process's own speed
# does not move.
p=0
for bench in $programs; do
    [ "$p" -eq 0 ] || echo
    awk -v runs="$runs" -v program="$p" -v title="$bench" '
    function key(name) { return (name ~ /^Floor/ ? "0" : "1") name }
    function median(list, n,   i, j, t) {
        for (i = 2; i <= n; ++i)
            for (j = i; j > 1 && list[j - 1] > list[j]; --j) { t = list[j]; list[j] = list[j - 1]; list[j - 1] = t }
        return n % 2 ? list[(n + 1) / 2] : (list[n / 2] + list[n / 2 + 1]) / 2
    }
    $1 != program { next }
    { value[$2, $4] = $3; if (!($2 in seen)) { seen[$2] = 1; order[++names] = $2 }
      if ($2 == "FloorCopyAndCallback") floor[$4] = $3 }
    END {
        print title
        printf "%-26s %10s %14s %16s   (%d processes)\n", "case", "ns/sample", "x floor", "min .. max", runs
        # The floors first, then the cases by name.
        for (i = 2; i <= names; ++i)
            for (j = i; j > 1 && key(order[j - 1]) > key(order[j]); --j) {
                t = order[j]; order[j] = order[j - 1]; order[j - 1] = t
            }
        for (k = 1; k <= names; ++k) {
            name = order[k]; n = 0; m = 0
            for (r = 0; r < runs; ++r) {
                if (!((name, r) in value)) continue
                ns[++n] = value[name, r]
                if (r in floor && floor[r] > 0) ratio[++m] = value[name, r] / floor[r]
            }
            mid = median(ns, n); low = ns[1]; high = ns[n]
            printf "%-26s %10.2f %14.2f %7.2f .. %5.2f\n", name, mid, median(ratio, m), low, high
        }
        m = 0
        for (r = 0; r < runs; ++r)
            if (("Internal250Pending", r) in value && ("InternalRunning", r) in value)
                ratio[++m] = value["Internal250Pending", r] / value["InternalRunning", r]
        if (m > 0) printf "250 pending against none, the same process: %.2f\n", median(ratio, m)
    }' "$results"
    p=$((p + 1))
done
