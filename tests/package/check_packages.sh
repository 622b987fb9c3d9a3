#!/usr/bin/env bash
# The releases in dist/packages as users get them: each holds exactly its files, and its
# plug-ins and morvo-host work where they land.
# usage: check_packages.sh deb|archives PACKAGES VERSION SOURCE_DIR
#   deb       lintian finds no error; installed with dpkg -i where CI=true (elsewhere unpacked
#             into a temporary root, leaving the system alone), then removed with dpkg -r,
#             which must leave none of its files; its README names only what it installs.
#   archives  the checksums, the tar.gz, and the zip's DLLs under Wine (the caller has set up
#             WINEPREFIX and DISPLAY).
set -euo pipefail
mode=$1 packages=$2 version=$3 source=$4
song=$source/tests/songs/every-door.song
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
fail() {
    echo "FAIL: $*"
    exit 1
}

# The files of a listing on stdin (directories left out) against the expected ones.
same_files() {
    grep -v '/$' | LC_ALL=C sort >"$work/found"
    LC_ALL=C sort <<<"$2" | diff -u - "$work/found" || fail "$1 holds other files than it should"
    echo "$1: $(wc -l <"$work/found") files, as expected"
}

# The VST 2 library read by morvo-host, the LV2 plug-in found by lilv with its version, and one
# song played alike through the VST 2 library and the other doors.
doors_work() {
    local vst2=$1 clap=$2 lv2=$3 host=$4 vst3=$5
    "$host" "$vst2" --info >"$work/info" 2>&1 || { cat "$work/info"; fail "morvo-host --info"; }
    grep -qx 'name          Ostrel' "$work/info" || { cat "$work/info"; fail "morvo-host --info"; }
    lv2ls | grep -qx https://halvark.com/plugins/ostrel || fail "lv2ls does not list the plug-in"
    IFS=. read -r _ minor micro <<<"$version"
    grep -q "lv2:minorVersion $minor ;" "$lv2/Morvo.ttl" &&
        grep -q "lv2:microVersion $micro ;" "$lv2/Morvo.ttl" || fail "the LV2 version"
    sh "$source/tests/songs/same_stream.sh" "$song" - "$host" "$vst2" \
        "$source/build/linux/tests/morvo-clap-play" "$clap" \
        "$source/build/linux/tests/morvo-lv2-play" "$lv2" \
        "$source/build/linux/tests/morvo-vst3-play" "$vst3" || fail "the doors differ"
}

case $mode in
deb)
    deb=$packages/morvo_${version}_amd64.deb
    lintian --fail-on error --display-info "$deb" || fail "lintian finds errors"
    files="/usr/bin/morvo-host /usr/lib/clap/Morvo.clap /usr/lib/lv2/Morvo.lv2/Morvo.ttl
/usr/lib/lv2/Morvo.lv2/Morvo_lv2.so /usr/lib/lv2/Morvo.lv2/manifest.ttl
/usr/lib/lv2/Morvo.lv2/presets.ttl /usr/lib/vst/Morvo.so
/usr/lib/vst3/Morvo.vst3/Contents/x86_64-linux/Morvo.so
/usr/lib/vst3/Morvo.vst3/Contents/Resources/moduleinfo.json /usr/share/doc/morvo/README
/usr/share/doc/morvo/changelog.gz /usr/share/doc/morvo/copyright
/usr/share/lintian/overrides/morvo /usr/share/man/man1/morvo-host.1.gz"
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }' |
        same_files "the .deb" "$(tr ' ' '\n' <<<"$files")"
    depends=$(dpkg-deb -f "$deb" Depends)
    for library in libx11-6 libcairo2; do
        [[ $depends == *$library* ]] || fail "the .deb does not depend on $library: $depends"
    done
    # morvo-host loads JACK for --jack only.
    [[ $depends != *libjack* ]] || fail "the .deb depends on JACK: $depends"
    [[ $(dpkg-deb -f "$deb" Recommends) == *libjack* ]] || fail "the .deb does not recommend JACK"
    # The plug-ins carry libjpeg inside: Debian's name for it resolves nowhere else.
    [[ $depends != *libjpeg* ]] || fail "the .deb depends on libjpeg: $depends"
    root=$work/root
    if [ "${CI:-}" = true ]; then
        ! dpkg-query -W -f='${Status}' morvo 2>/dev/null | grep -q ' installed' ||
            fail "morvo is installed already"
        trap 'as_root dpkg -r morvo >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
        as_root dpkg -i "$deb" || fail "dpkg -i"
        root=
    else
        dpkg-deb -x "$deb" "$root"
        export LV2_PATH=$root/usr/lib/lv2
    fi
    doors_work "$root/usr/lib/vst/Morvo.so" "$root/usr/lib/clap/Morvo.clap" \
        "$root/usr/lib/lv2/Morvo.lv2" "$root/usr/bin/morvo-host" "$root/usr/lib/vst3/Morvo.vst3"
    # The users' README names only what the package installs, nothing of the source tree.
    readme=$root/usr/share/doc/morvo/README
    for path in $(grep -oE '/usr/[[:alnum:]_./-]*[[:alnum:]_/]' "$readme"); do
        [ -e "$root$path" ] || fail "the README names $path, which the package does not install"
    done
    ! grep -nE 'build\.sh|dist/|docs/|tests/' "$readme" || fail "the README names the source tree"
    echo "the README: every path it names is installed"
    if [ "${CI:-}" = true ]; then
        as_root dpkg -r morvo || fail "dpkg -r"
        for file in $files /usr/lib/lv2/Morvo.lv2 /usr/lib/vst3/Morvo.vst3 /usr/share/doc/morvo; do
            [ ! -e "$file" ] || fail "dpkg -r left $file"
        done
        ! dpkg-query -W -f='${Status}' morvo 2>/dev/null | grep -q ' installed' ||
            fail "morvo is still installed"
        echo "dpkg -r morvo: none of its files is left"
    fi
    ;;
archives)
    (cd "$packages" && sha256sum -c SHA256SUMS) || fail "the checksums"
    [ "$(wc -l <"$packages/SHA256SUMS")" -eq 3 ] || fail "SHA256SUMS does not name three packages"
    top=Morvo-$version-linux-x86_64
    tar tzf "$packages/$top.tar.gz" | same_files "the tar.gz" "$(printf "$top/%s\n" INSTALL.txt \
        README.md copyright morvo-host vst/Morvo.so clap/Morvo.clap lv2/Morvo.lv2/Morvo.ttl \
        lv2/Morvo.lv2/Morvo_lv2.so lv2/Morvo.lv2/manifest.ttl lv2/Morvo.lv2/presets.ttl \
        vst3/Morvo.vst3/Contents/x86_64-linux/Morvo.so \
        vst3/Morvo.vst3/Contents/Resources/moduleinfo.json)"
    tar xzf "$packages/$top.tar.gz" -C "$work"
    LV2_PATH=$work/$top/lv2 doors_work "$work/$top/vst/Morvo.so" "$work/$top/clap/Morvo.clap" \
        "$work/$top/lv2/Morvo.lv2" "$work/$top/morvo-host" "$work/$top/vst3/Morvo.vst3"

    top=Morvo-$version-windows
    cd "$work"
    cmake -E tar tf "$packages/$top.zip" | same_files "the zip" "$(printf "$top/%s\n" INSTALL.txt \
        morvo-host.exe "CLAP 64-bit hosts/Morvo.clap" "VST2 32-bit hosts/Morvo.dll" \
        "VST2 64-bit hosts/Morvo.dll" VST3/Morvo.vst3/Contents/Resources/moduleinfo.json \
        VST3/Morvo.vst3/Contents/x86-win/Morvo.vst3 VST3/Morvo.vst3/Contents/x86_64-win/Morvo.vst3)"
    cmake -E tar xf "$packages/$top.zip"
    for bits in 32 64; do
        "$source/cmake/wine-run.sh" "$source/build/win$bits/tests/morvo_library_tests.exe" \
            "$work/$top/VST2 $bits-bit hosts/Morvo.dll" >"$work/load" 2>&1 ||
            { cat "$work/load"; fail "the zip's $bits-bit DLL does not load under Wine"; }
        echo "the zip's $bits-bit DLL: $(grep -E '^\[  PASSED  \]' "$work/load")"
    done
    sh "$source/tests/songs/same_stream.sh" "$song" "$source/cmake/wine-run.sh" \
        "$work/$top/morvo-host.exe" "$work/$top/VST2 64-bit hosts/Morvo.dll" \
        "$source/build/win64/tests/morvo-clap-play.exe" "$work/$top/CLAP 64-bit hosts/Morvo.clap" \
        "$source/build/win64/tests/morvo-vst3-play.exe" "$work/$top/VST3/Morvo.vst3" \
        "$source/build/win32/tests/morvo-vst3-play.exe" "$work/$top/VST3/Morvo.vst3" ||
        fail "the zip's morvo-host.exe, CLAP plug-in and VST 3 bundle"
    ;;
*) fail "usage: check_packages.sh deb|archives PACKAGES VERSION SOURCE_DIR" ;;
esac
