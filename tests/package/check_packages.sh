#!/usr/bin/env bash
# The releases in dist/packages as users get them.
# usage: check_packages.sh deb|archives PACKAGES VERSION SOURCE_DIR
#   deb       lintian finds no error; the package holds exactly its files; installed (dpkg -i
#             where CI=true; elsewhere unpacked with dpkg-deb -x into a temporary root, leaving
#             the system alone), lv2ls lists the LV2 plug-in, morvo-host --info reads the VST 2
#             library, and one song plays the same through the installed VST 2 and CLAP
#             libraries; where CI=true, dpkg -r then leaves none of its files.
#   archives  the checksums hold; the tar.gz and the zip hold exactly their files; the tar.gz's
#             morvo-host and plug-ins work; the zip's DLLs load under Wine through the load test
#             and its morvo-host.exe and CLAP plug-in play the song alike (the caller has set up
#             WINEPREFIX and DISPLAY).
set -euo pipefail
mode=$1 packages=$2 version=$3 source=$4
song=$source/tests/songs/every-door.song
uri=https://halvark.com/plugins/ostrel
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

fail() {
    echo "FAIL: $*"
    exit 1
}

# The files of a listing (directories left out), sorted, against the expected ones.
same_files() {
    local what=$1 expected=$2
    grep -v '/$' | LC_ALL=C sort >"$work/found"
    LC_ALL=C sort <<<"$expected" >"$work/expected"
    diff -u "$work/expected" "$work/found" >"$work/diff" ||
        { cat "$work/diff"; fail "$what holds other files than it should"; }
    echo "$what: $(wc -l <"$work/found") files, as expected"
}

# What every installed copy must do. ROOT holds usr/..., or is / for the real installation.
installed_files_work() {
    local vst2=$1 clap=$2 lv2=$3 host=$4
    "$host" "$vst2" --info >"$work/info" 2>&1 || { cat "$work/info"; fail "morvo-host --info"; }
    grep -qx 'name          Ostrel' "$work/info" && grep -qx 'vendor        Halvark' "$work/info" ||
        { cat "$work/info"; fail "morvo-host --info does not show the plug-in"; }
    lv2ls | grep -qx "$uri" || fail "lv2ls does not list $uri"
    IFS=. read -r _ minor micro <<<"$version"
    grep -q "lv2:minorVersion $minor ;" "$lv2/Morvo.ttl" &&
        grep -q "lv2:microVersion $micro ;" "$lv2/Morvo.ttl" ||
        fail "the LV2 bundle does not carry version $version"
    sh "$source/tests/clap/same_stream.sh" "$song" "$host" "$vst2" \
        "$source/build/linux/tests/morvo-clap-play" "$clap" || fail "the installed doors differ"
    echo "morvo-host --info, lv2ls and the CLAP host work on these files"
}

deb_files="./usr/bin/morvo-host
./usr/lib/clap/Morvo.clap
./usr/lib/lv2/Morvo.lv2/Morvo.ttl
./usr/lib/lv2/Morvo.lv2/Morvo_lv2.so
./usr/lib/lv2/Morvo.lv2/manifest.ttl
./usr/lib/lv2/Morvo.lv2/presets.ttl
./usr/lib/vst/Morvo.so
./usr/share/doc/morvo/README.md
./usr/share/doc/morvo/changelog.gz
./usr/share/doc/morvo/copyright
./usr/share/man/man1/morvo-host.1.gz"

case $mode in
deb)
    deb=$packages/morvo_${version}_amd64.deb
    [ -f "$deb" ] || fail "no $deb"
    echo "== lintian $(basename "$deb")"
    lintian --fail-on error --display-info "$deb" || fail "lintian finds errors"
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | same_files "the .deb" "$deb_files"
    dpkg-deb -f "$deb" Depends | tee "$work/depends"
    for library in libx11-6 libcairo2 libjack; do
        grep -q "$library" "$work/depends" || fail "the .deb does not depend on $library"
    done
    if [ "${CI:-}" = true ]; then
        if dpkg-query -W -f='${Status}' morvo 2>/dev/null | grep -q ' installed'; then
            fail "morvo is installed already; the test installs and removes it itself"
        fi
        trap 'as_root dpkg -r morvo >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
        as_root dpkg -i "$deb" || fail "dpkg -i"
        root=
    else
        root=$work/root
        dpkg-deb -x "$deb" "$root"
        export LV2_PATH=$root/usr/lib/lv2
    fi
    installed_files_work "$root/usr/lib/vst/Morvo.so" "$root/usr/lib/clap/Morvo.clap" \
        "$root/usr/lib/lv2/Morvo.lv2" "$root/usr/bin/morvo-host"
    if [ "${CI:-}" = true ]; then
        as_root dpkg -r morvo || fail "dpkg -r"
        left=""
        for file in $deb_files /usr/lib/lv2/Morvo.lv2 /usr/share/doc/morvo; do
            [ -e "${file#.}" ] && left="$left ${file#.}"
        done
        [ -z "$left" ] || fail "dpkg -r left$left"
        ! dpkg-query -W -f='${Status}' morvo 2>/dev/null | grep -q ' installed' ||
            fail "morvo is still installed"
        echo "dpkg -r morvo: none of its files is left"
    fi
    ;;
archives)
    (cd "$packages" && sha256sum -c SHA256SUMS) || fail "the checksums"
    [ "$(wc -l <"$packages/SHA256SUMS")" -eq 3 ] || fail "SHA256SUMS does not name three packages"
    top=Morvo-$version-linux-x86_64
    tar tzf "$packages/$top.tar.gz" | same_files "the tar.gz" "$top/INSTALL.txt
$top/README.md
$top/copyright
$top/morvo-host
$top/vst/Morvo.so
$top/clap/Morvo.clap
$top/lv2/Morvo.lv2/Morvo.ttl
$top/lv2/Morvo.lv2/Morvo_lv2.so
$top/lv2/Morvo.lv2/manifest.ttl
$top/lv2/Morvo.lv2/presets.ttl"
    tar xzf "$packages/$top.tar.gz" -C "$work"
    LV2_PATH=$work/$top/lv2 installed_files_work "$work/$top/vst/Morvo.so" \
        "$work/$top/clap/Morvo.clap" "$work/$top/lv2/Morvo.lv2" "$work/$top/morvo-host"

    top=Morvo-$version-windows
    (cd "$work" && cmake -E tar tf "$packages/$top.zip") | same_files "the zip" "$top/INSTALL.txt
$top/morvo-host.exe
$top/CLAP 64-bit hosts/Morvo.clap
$top/VST2 32-bit hosts/Morvo.dll
$top/VST2 64-bit hosts/Morvo.dll"
    (cd "$work" && cmake -E tar xf "$packages/$top.zip")
    wine_run=$source/cmake/wine-run.sh
    for bits in 32 64; do
        "$wine_run" "$source/build/win$bits/tests/morvo_library_tests.exe" \
            "$work/$top/VST2 $bits-bit hosts/Morvo.dll" >"$work/load" 2>&1 ||
            { cat "$work/load"; fail "the zip's $bits-bit DLL does not load under Wine"; }
        grep -E '^\[  PASSED  \]' "$work/load" | sed "s/^/$bits-bit DLL: /"
    done
    sh "$source/tests/clap/same_stream.sh" "$song" "$work/$top/morvo-host.exe" \
        "$work/$top/VST2 64-bit hosts/Morvo.dll" "$source/build/win64/tests/morvo-clap-play.exe" \
        "$work/$top/CLAP 64-bit hosts/Morvo.clap" "$wine_run" ||
        fail "the zip's morvo-host.exe and CLAP plug-in"
    ;;
*)
    echo "usage: check_packages.sh deb|archives PACKAGES VERSION SOURCE_DIR" >&2
    exit 2
    ;;
esac
