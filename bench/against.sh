#!/bin/sh
# Times this tree's engine against earlier commits' in the same rounds: each commit's files are
# exported into build/against-COMMIT and built with the linux preset's settings (with its own
# benchmark program, as it was), this tree's benchmark program is brought up to date, and
# compare.sh runs them all, this tree's first.
#   bench/against.sh COMMIT... [processes]
set -eu
[ $# -ge 1 ] || { echo "usage: bench/against.sh COMMIT... [processes]" >&2; exit 2; }
cd "$(git rev-parse --show-toplevel)"
runs=9
programs=""
for argument in "$@"; do
    # A number of up to three digits is the processes; anything else names a commit.
    case $argument in
    [0-9] | [0-9][0-9] | [0-9][0-9][0-9]) runs=$argument; continue ;;
    esac
    commit=$(git rev-parse --short "$argument^{commit}")
    tree=build/against-$commit
    if [ ! -x "$tree/build/bench/morvo_bench" ]; then
        rm -rf "$tree/src"
        mkdir -p "$tree/src"
        git archive "$commit" | tar -x -C "$tree/src"
        cmake -S "$tree/src" -B "$tree/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVO_BENCH=ON \
            -DMORVO_TESTS=OFF >/dev/null
        cmake --build "$tree/build" -j2 --target morvo_bench >/dev/null
    fi
    programs="$programs $tree/build/bench/morvo_bench"
done
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target morvo_bench >/dev/null
# shellcheck disable=SC2086 # one path per word
bench/compare.sh build/linux/bench/morvo_bench $programs "$runs"
