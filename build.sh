#!/usr/bin/env bash
# Builds every Morvo artefact, then plays the demo (./build.sh demo), makes the release packages
# in dist/packages (./build.sh package) or makes and runs every test, the packages' included
# (./build.sh test). Installs what is missing with apt-get first, so it works on a fresh
# Debian 12 machine as root.
set -euo pipefail
cd "$(dirname "$0")"

jobs=$(nproc)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# apt-get as root, waiting for the package manager's lock instead of failing: on a new machine
# an unattended upgrade often holds it. Installs wait inside dpkg (DPkg::Lock::Timeout); the
# package lists' lock is not covered by that, so a refused call is tried again while the
# refusal is about the lock, for up to ten minutes.
apt_get() {
    local waited=0 log status
    log=$(mktemp)
    while true; do
        status=0
        as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@" \
            2>"$log" || status=$?
        if [ $status -eq 0 ] || ! grep -qE 'Could not get lock|Unable to lock|Unable to acquire' "$log" ||
            [ $waited -ge 600 ]; then
            cat "$log" >&2
            rm -f "$log"
            return $status
        fi
        [ $waited -eq 0 ] && echo "== waiting for the package manager's lock (another installation is running)" >&2
        sleep 5
        waited=$((waited + 5))
    done
}

# Installs the named Debian packages that are not installed yet (name:i386 for 32-bit ones).
install_missing() {
    local missing=()
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "== installing ${missing[*]}"
        if [[ " ${missing[*]}" == *":i386"* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
            as_root dpkg --add-architecture i386
        fi
        # jackd2 asks whether to raise the real-time limits: answered before it asks.
        if [[ " ${missing[*]} " == *" jackd2 "* ]]; then
            echo "jackd2 jackd/tweak_rt_limits boolean false" | as_root debconf-set-selections
        fi
        apt_get update -qq
        apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
}

# libjack-jackd2-dev: morvo-host --jack; jackd2: its test runs a JACK server with the dummy
# backend and JACK's own tools (jack_midi_dump, jack_midiseq, jack_transport, jack_lsp).
# libx11-dev and libcairo2-dev: the Linux editor draws with cairo on Xlib; libxtst-dev, xvfb,
# xauth and the fonts: its test drives it with real pointer and key events on a virtual display.
# util-linux's unshare: morvo-host's file test mounts a small file system of its own; time: the
# long render's benchmark reads its peak memory.
build_tools=(util-linux time cmake make g++ binutils clang-format libgtest-dev libgmock-dev googletest
    libbenchmark-dev libjpeg-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 nasm dpkg-dev locales
    pkg-config libx11-dev libcairo2-dev libxtst-dev xvfb xauth fonts-liberation fonts-dejavu-core
    libjack-jackd2-dev jackd2 lv2-dev sordi liblilv-dev lilv-utils)
# fonts-wine and fonts-liberation: the fonts Wine recommends, as a user's Wine has them (Wine
# then gives Liberation Sans for "MS Sans Serif").
wine_tools=(wine wine32:i386 wine64 xvfb xauth fonts-wine fonts-liberation)
# lv2-dev (the LV2 headers and lv2_validate), sordi (the validator lv2_validate runs),
# liblilv-dev and lilv-utils (the LV2 test host and lv2info): the LV2 bundle and its tests.
# Qtractor hosts Morvo.clap, and jalv Morvo.lv2, on JACK's dummy backend; xdotool, xwininfo
# (x11-utils) and ImageMagick open, click and photograph their editors.
real_host_tools=(ardour qtractor jalv jackd2 xvfb xdotool x11-utils imagemagick)
fuzz_tools=(clang-14 libclang-rt-14-dev)
# CPack computes the Debian package's dependencies with file and dpkg-shlibdeps (dpkg-dev, among
# the build tools); lintian judges the package in the test command.
package_tools=(file dpkg-dev)
# debootstrap makes the minimal Debian 12 the .deb is installed into with apt-get.
package_check_tools=(lintian debootstrap)
# LMMS with its Wine VST server (32-bit; lmms:i386 replaces an amd64 lmms), and what opens and
# photographs the plug-in's editor in LMMS's window.
windows_host_tools=(lmms:i386 lmms-vst-server:i386 xdotool imagemagick)

# libjpeg for the Windows builds: Debian ships it for mingw in no package, so the build makes
# it from Debian's own source package of libjpeg-turbo, fetched once into build/third_party.
fetch_libjpeg_source() {
    local dir=build/third_party/libjpeg-turbo
    [ -f "$dir/CMakeLists.txt" ] && return
    if ! apt-cache showsrc libjpeg-turbo 2>/dev/null | grep -q '^Package:'; then
        echo "== adding deb-src entries that mirror the machine's deb entries"
        # Every entry that gives binary packages gets a source twin, whichever archive or
        # mirror it names: deb822 stanzas whose Types list "deb", and one-line "deb" entries.
        local deb822=/etc/apt/sources.list.d/morvo-deb-src.sources
        local one_line=/etc/apt/sources.list.d/morvo-deb-src.list
        local stanzas=() lists=()
        for file in /etc/apt/sources.list.d/*.sources; do
            [ -f "$file" ] && [ "$file" != "$deb822" ] && stanzas+=("$file")
        done
        for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [ -f "$file" ] && [ "$file" != "$one_line" ] && lists+=("$file")
        done
        if [ ${#stanzas[@]} -gt 0 ]; then
            awk 'BEGIN { RS = ""; ORS = "\n\n" }
                 { binary = 0
                   n = split($0, lines, "\n")
                   for (i = 1; i <= n; i++)
                       if (lines[i] ~ /^Types:/) {
                           m = split(substr(lines[i], 7), types, /[[:space:]]+/)
                           for (j = 1; j <= m; j++) if (types[j] == "deb") binary = 1
                       }
                   if (binary) { sub(/Types:[^\n]*/, "Types: deb-src"); print } }' \
                "${stanzas[@]}" | as_root tee "$deb822" >/dev/null
        fi
        if [ ${#lists[@]} -gt 0 ]; then
            { grep -hE '^[[:space:]]*deb[[:space:]]' "${lists[@]}" || true; } |
                sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' | as_root tee "$one_line" >/dev/null
        fi
        apt_get update -qq
    fi
    echo "== fetching the libjpeg-turbo source package"
    rm -rf build/third_party/fetch
    mkdir -p build/third_party/fetch
    (cd build/third_party/fetch && apt-get source -qq libjpeg-turbo >/dev/null)
    rm -rf "$dir"
    mv build/third_party/fetch/libjpeg-turbo-*/ "$dir"
    rm -rf build/third_party/fetch
}

build_all() {
    install_missing "${build_tools[@]}"
    fetch_libjpeg_source
    for preset in "$@"; do
        echo "== building $preset"
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" -j "$jobs"
    done
}

# Runs one preset's tests and adds its counts to the totals, taken from ctest's own JUnit
# report; a run that fails with no failing test in it (ctest itself stopped, a missing
# report) counts as one failure.
passed=0
failed=0
run_tests() {
    local preset=$1 report status=0 field total fails skipped disabled
    report="$PWD/build/$preset/ctest-report.xml"
    rm -f "$report"
    echo "== testing $preset"
    ctest --preset "$preset" -j "$jobs" --output-junit "$report" || status=$?
    if [ ! -s "$report" ]; then
        echo "== $preset: ctest wrote no report (exit status $status)"
        failed=$((failed + 1))
        return
    fi
    field() { grep -m 1 -oE "^[[:space:]]*$1=\"[0-9]+\"" "$report" | grep -oE '[0-9]+'; }
    total=$(field tests) fails=$(field failures) skipped=$(field skipped) disabled=$(field disabled)
    passed=$((passed + total - fails - skipped - disabled))
    failed=$((failed + fails))
    if [ "$status" -ne 0 ] && [ "$fails" -eq 0 ]; then
        echo "== $preset: ctest ended with exit status $status"
        failed=$((failed + 1))
    fi
    if [ "$((skipped + disabled))" -gt 0 ]; then
        echo "== $preset: $skipped skipped, $disabled disabled"
    fi
}

# The libFuzzer harnesses (tests/fuzz): the VST 2 record's and the CLAP, LV2 and VST 3 doors'.
# Each replays its committed seed corpus, then fuzzes for 15 s (the minute shared between the
# four) into a scratch corpus under build/fuzz, leaving the committed corpus as it is. Each run
# counts as one test.
fuzz_seconds=15
run_fuzz() {
    install_missing "${fuzz_tools[@]}"
    echo "== building fuzz"
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz -j "$jobs"
    fuzz_one morvo_fuzz tests/fuzz/corpus build/fuzz/corpus
    fuzz_one morvo_fuzz_clap tests/fuzz/corpus-clap build/fuzz/corpus-clap
    fuzz_one morvo_fuzz_lv2 tests/fuzz/corpus-lv2 build/fuzz/corpus-lv2
    fuzz_one morvo_fuzz_vst3 tests/fuzz/corpus-vst3 build/fuzz/corpus-vst3
}

# One harness: its program's name, its seed corpus and its scratch corpus.
fuzz_one() {
    local fuzzer=build/fuzz/tests/fuzz/$1 seeds=$2 scratch=$3 log=build/fuzz/$1-replay.log
    local options=(-timeout=10 -artifact_prefix=build/fuzz/)
    echo "== fuzz: $1 replaying $seeds"
    if timeout 300 "$fuzzer" "${options[@]}" -runs=0 "$seeds" >"$log" 2>&1; then
        grep -E '^#[0-9]+[[:space:]]+DONE' "$log" || true
        passed=$((passed + 1))
    else
        tail -n 40 "$log"
        echo "== fuzz: the seed corpus fails (log: $log)"
        failed=$((failed + 1))
    fi
    echo "== fuzz: $1 $fuzz_seconds s into $scratch"
    log=build/fuzz/$1.log
    rm -rf "$scratch"
    mkdir -p "$scratch"
    if timeout 300 "$fuzzer" "${options[@]}" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
        "$scratch" "$seeds" >"$log" 2>&1; then
        passed=$((passed + 1))
    else
        tail -n 40 "$log"
        echo "== fuzz: a finding (log: $log; the input is in build/fuzz/)"
        failed=$((failed + 1))
    fi
    grep -E ' cov: ' "$log" | tail -n 1 || true
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' \
        "$log" || true
    echo "corpus: $(find "$scratch" -type f | wc -l) inputs in $scratch"
}

# The releases, made by CPack from the install rules (cmake/Package.cmake) of the linux tree (the
# .deb and the tar.gz) and of the win32 and win64 trees (the zip), with their checksums.
project_version() {
    sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux/CMakeCache.txt
}
make_packages() {
    local version out=dist/packages
    install_missing "${package_tools[@]}"
    version=$(project_version)
    echo "== packaging Morvo $version into $out"
    rm -rf "$out"
    mkdir -p "$out"
    (cd build/linux && cpack -G "DEB;TGZ" >cpack.log 2>&1) || { cat build/linux/cpack.log; return 1; }
    (cd build/win64 && cpack -G ZIP >cpack.log 2>&1) || { cat build/win64/cpack.log; return 1; }
    local made=("morvo_${version}_amd64.deb" "Morvo-$version-linux-x86_64.tar.gz"
        "Morvo-$version-windows.zip")
    cp "build/linux/${made[0]}" "build/linux/${made[1]}" "build/win64/${made[2]}" "$out/"
    (cd "$out" && sha256sum "${made[@]}" >SHA256SUMS && ls -l "${made[@]}" SHA256SUMS)
}

# The packages' checks (tests/package/check_packages.sh): each mode counts as one test.
check_packages() {
    echo "== checking the packages: $1"
    if bash tests/package/check_packages.sh "$1" "$PWD/dist/packages" "$(project_version)" "$PWD"; then
        passed=$((passed + 1))
    else
        echo "== packages: the $1 check fails"
        failed=$((failed + 1))
    fi
}

# The .deb installed with apt-get into a minimal Debian 12 made by debootstrap from this
# machine's mirror (tests/package/install_in_debian.sh), as root: one test. debootstrap keeps
# its downloads in build/debootstrap-cache; the system is made anew each run.
install_in_debian() {
    echo "== installing the .deb into a minimal Debian 12"
    if as_root bash tests/package/install_in_debian.sh "$PWD/dist/packages" "$(project_version)" \
        "$PWD/build/debootstrap-cache"; then
        passed=$((passed + 1))
    else
        echo "== packages: the install into a minimal Debian 12 fails"
        failed=$((failed + 1))
    fi
}

# Wine for the Windows tests: a fresh prefix for this run, a virtual display started before the
# wine server (the server keeps the display it started with), and the server started here,
# outside the test runner, which would otherwise wait on the pipes the server inherits.
xvfb_pid=""
start_wine() {
    install_missing "${wine_tools[@]}" "${windows_host_tools[@]}"
    export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    timeout 30 wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    local display=:97
    while [ -e "/tmp/.X${display#:}-lock" ]; do display=":$((${display#:} + 1))"; done
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=$display
    trap stop_wine EXIT
    echo "== preparing a Wine prefix"
    timeout 300 wineboot -i >/dev/null 2>&1 || true
    timeout 120 wineserver -w || true
    wineserver -p
    timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    # A crashing test program ends with an error instead of waiting in the debugger.
    for view in 'Software' 'Software\Wow6432Node'; do
        timeout 60 wine reg delete "HKLM\\$view\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug" \
            /v Debugger /f </dev/null >/dev/null 2>&1 || true
    done
}

stop_wine() {
    timeout 30 wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}

case "${1:-}" in
demo)
    build_all linux win32 win64
    # The 16 steps rising from 0 to 1, four steps a beat, for four beats.
    rising=()
    for step in $(seq 1 16); do
        rising+=(--set "step$step=$(awk "BEGIN { printf \"%.4f\", ($step - 1) / 15 }")")
    done
    echo
    ./dist/linux-x86_64/morvo-host dist/linux-x86_64/Morvo.so "${rising[@]}" \
        --set syncValue=0.04 --beats 4 --mid morvo-demo.mid --svg morvo-demo.svg
    echo
    echo "wrote morvo-demo.mid (import it into any DAW) and morvo-demo.svg (open it in a browser)"
    ;;
package)
    build_all linux win32 win64
    make_packages
    ;;
test)
    build_all linux linux-sanitize linux-thread win32 win64
    make_packages
    install_missing "${real_host_tools[@]}" "${package_check_tools[@]}"
    run_tests linux
    check_packages deb
    install_in_debian
    run_tests linux-sanitize
    run_tests linux-thread
    run_fuzz
    start_wine
    run_tests win32
    run_tests win64
    check_packages archives
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    ;;
*)
    echo "usage: ./build.sh demo|package|test" >&2
    exit 2
    ;;
esac
