#!/bin/sh
# Times this tree's engine against earlier commits' in the same rounds, two ways: linked into
# each one's own benchmark program (compare.sh), and as each one's shipped VST 2 library loaded
# by a host of its own that answers with constants (morvo_library_host, internal and external
# timing). Where the code falls moves a loop that calls its host at every sample by a cycle a
# sample, and a program linked with the engine lays it out otherwise than the library does, so
# the two can disagree; both count. Each commit's files are exported into build/against-COMMIT
# and built with the linux preset's settings; this tree's programs are brought up to date, and
# this tree runs first.
#   bench/against.sh COMMIT... [processes]
set -eu
[ $# -ge 1 ] || { echo "usage: bench/against.sh COMMIT... [processes]" >&2; exit 2; }
cd "$(git rev-parse --show-toplevel)"
runs=9
programs=""
libraries=""
for argument in "$@"; do
    # A number of up to three digits is the processes; anything else names a commit.
    case $argument in
    [0-9] | [0-9][0-9] | [0-9][0-9][0-9]) runs=$argument; continue ;;
    esac
    commit=$(git rev-parse --short "$argument^{commit}")
    tree=build/against-$commit
    if [ ! -x "$tree/build/bench/morvo_bench" ] || [ ! -f "$tree/build/Morvo.so" ]; then
        rm -rf "$tree/src"
        mkdir -p "$tree/src"
        git archive "$commit" | tar -x -C "$tree/src"
        cmake -S "$tree/src" -B "$tree/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVO_BENCH=ON \
            -DMORVO_TESTS=OFF "-DMORVO_LIBJPEG_SOURCE=$PWD/build/third_party/libjpeg-turbo" >/dev/null
        cmake --build "$tree/build" -j2 --target morvo_bench Morvo >/dev/null
    fi
    programs="$programs $tree/build/bench/morvo_bench"
    libraries="$libraries $tree/build/Morvo.so"
done
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target morvo_bench morvo_library_host Morvo >/dev/null
# shellcheck disable=SC2086 # one path per word
bench/compare.sh build/linux/bench/morvo_bench $programs "$runs"
for timing in "" --external; do
    echo
    # shellcheck disable=SC2086
    build/linux/bench/morvo_library_host $timing --rounds "$runs" build/linux/Morvo.so $libraries
done
