#!/bin/sh
# Prints each benchmark's ns per sample and its ratio to the floor, as medians over several
# processes. One process settles into one of a few speeds (where its code and data fall against
# the CPU's predictors, and what shares the core), so a median within one process is not enough.
#   bench/compare.sh [benchmark program] [processes]
set -eu
bench=${1:-build/linux/bench/morvo_bench}
runs=${2:-9}
[ -x "$bench" ] || { echo "compare.sh: no benchmark program at $bench" >&2; exit 1; }

results=$(mktemp)
trap 'rm -f "$results"' EXIT
i=0
while [ "$i" -lt "$runs" ]; do
    # Repetitions interleaved at random, so a slow spell of the machine hits every case alike.
    "$bench" --benchmark_min_time=0.1 --benchmark_repetitions=5 \
        --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
        --benchmark_format=csv 2>/dev/null |
        awk -F, '$1 ~ /_median"$/ { name = $1; gsub(/"|_median/, "", name); print name, $NF * 1e9 }' \
            >>"$results"
    i=$((i + 1))
done

sort -k1,1 -k2,2g "$results" | awk -v runs="$runs" '
    { values[$1, ++count[$1]] = $2; if (!($1 in seen)) { seen[$1] = 1; order[++names] = $1 } }
    function median(name,   n) {
        n = count[name]
        return n % 2 ? values[name, (n + 1) / 2] : (values[name, n / 2] + values[name, n / 2 + 1]) / 2
    }
    END {
        floor = median("FloorCopyAndCallback")
        printf "%-26s %10s %8s %16s   (%d processes)\n", "case", "ns/sample", "x floor", "min .. max", runs
        for (k = 1; k <= names; ++k) {
            name = order[k]
            printf "%-26s %10.2f %8.2f %7.2f .. %5.2f\n", name, median(name), median(name) / floor,
                   values[name, 1], values[name, count[name]]
        }
    }'
