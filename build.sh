#!/usr/bin/env bash
# Builds every Morvo artefact, then plays the demo (./build.sh demo) or runs every test
# (./build.sh test). Installs what is missing with apt-get first, so it works on a fresh
# Debian 12 machine as root.
set -euo pipefail
cd "$(dirname "$0")"

jobs=$(nproc)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the named Debian packages that are not installed yet.
install_missing() {
    local missing=()
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "== installing ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
    fi
}

build_tools=(cmake make g++ binutils clang-format libgtest-dev libgmock-dev googletest libbenchmark-dev)

build_all() {
    install_missing "${build_tools[@]}"
    for preset in "$@"; do
        echo "== building $preset"
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" -j "$jobs"
    done
}

# Runs one preset's tests and adds its counts to the totals.
passed=0
failed=0
run_tests() {
    local preset=$1 log
    log=$(mktemp)
    echo "== testing $preset"
    ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$log" || true
    local line total fails
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
    rm -f "$log"
    if [ -z "$line" ]; then
        echo "== $preset: no test summary"
        failed=$((failed + 1))
        return
    fi
    fails=$(sed -E 's/.*tests passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - fails))
    failed=$((failed + fails))
}

case "${1:-}" in
demo)
    build_all linux
    ./dist/linux-x86_64/morvo-host dist/linux-x86_64/Morvo.so
    ;;
test)
    build_all linux linux-sanitize
    run_tests linux
    run_tests linux-sanitize
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    ;;
*)
    echo "usage: ./build.sh demo|test" >&2
    exit 2
    ;;
esac
