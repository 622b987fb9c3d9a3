#!/usr/bin/env bash
# The .deb installed as a user installs it: `apt-get install ./morvo_*.deb` in a minimal Debian 12
# made by debootstrap from the mirror this machine's apt uses, which must bring every dependency;
# then morvo-host must read the VST 2 library and lv2ls list the LV2 plug-in. Runs as root.
# usage: install_in_debian.sh PACKAGES VERSION CACHE_DIR
#   CACHE_DIR keeps the .debs debootstrap downloads, checked against the mirror's lists on each
#   run; the system itself is made anew each time and removed at the end.
set -euo pipefail
packages=$1 version=$2 cache=$3
deb=$packages/morvo_${version}_amd64.deb
suite=bookworm

fail() {
    echo "FAIL: $*"
    exit 1
}
[ "$(id -u)" -eq 0 ] || fail "debootstrap and chroot need root"
[ -f "$deb" ] || fail "no package $deb"
command -v debootstrap >/dev/null || fail "debootstrap is not installed"

# The mirror of the suite's main component, as apt itself reads its sources (in either format).
mirror=$(apt-get indextargets --format '$(TARGET_OF) $(RELEASE) $(COMPONENT) $(REPO_URI)' |
    awk -v suite="$suite" '$1 == "deb" && $2 == suite && $3 == "main" { print $4; exit }')
[ -n "${mirror:-}" ] || fail "apt has no enabled deb entry for $suite main (/etc/apt/sources.list*)"

root=$(mktemp -d "${TMPDIR:-/tmp}/morvo-debian.XXXXXX")
log=$root.log
# Every way out, an interruption's included, unmounts what is mounted in the system (debootstrap
# mounts some of its own while it works), the deepest first, then removes it without crossing
# into a file system that is still mounted.
cleanup() {
    awk -v under="$root/" 'index($2, under) == 1 { print $2 }' /proc/mounts | sort -r |
        while read -r mount; do umount "$mount" || umount -l "$mount"; done
    rm -rf --one-file-system "$root" "$log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "== debootstrap --variant=minbase $suite from $mirror (downloads kept in $cache)"
mkdir -p "$cache"
SECONDS=0
debootstrap --variant=minbase --cache-dir="$(realpath "$cache")" "$suite" "$root" "$mirror" >"$log" 2>&1 ||
    { tail -n 30 "$log"; fail "debootstrap could not make the system (above: its last lines)"; }
echo "made in $SECONDS s: $(chroot "$root" dpkg-query -W | wc -l) packages"

mount -t proc proc "$root/proc"
# No service starts inside the system while packages install.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/root/"
# Apt here takes the mirror's lists as this machine's apt does (a snapshot's lists have expired).
apt_options=()
valid=$(apt-config dump Acquire::Check-Valid-Until |
    sed -n 's/^Acquire::Check-Valid-Until "\(.*\)";$/\1/p')
[ -n "$valid" ] && apt_options+=(-o "Acquire::Check-Valid-Until=$valid")
inside() {
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive chroot "$root" "$@"
}

inside apt-get "${apt_options[@]}" update >"$log" 2>&1 ||
    { tail -n 20 "$log"; fail "apt-get update inside the system"; }
# Without what it only recommends (JACK), as `--no-install-recommends` installs it.
echo "== apt-get install -y --no-install-recommends ./$(basename "$deb")"
inside sh -c 'cd /root && exec apt-get "$@" install -y --no-install-recommends ./*.deb' sh \
    "${apt_options[@]}" \
    >"$log" 2>&1 || { tail -n 30 "$log"; fail "apt-get could not install the package"; }
# Apt's account of what it installed: the lists of new packages and the totals.
sed -n '/^The following/,/newly installed/p' "$log"
inside dpkg-query -W -f='${Status}' morvo | grep -q 'install ok installed' ||
    fail "morvo is not installed after apt-get"

echo "== morvo-host --info /usr/lib/vst/Morvo.so"
inside morvo-host --info /usr/lib/vst/Morvo.so >"$log" 2>&1 ||
    { cat "$log"; fail "morvo-host --info /usr/lib/vst/Morvo.so fails"; }
cat "$log"
grep -qx 'name *Ostrel' "$log" || fail "morvo-host --info does not name the plug-in Ostrel"
echo "== morvo-host /usr/lib/vst/Morvo.so --jack (JACK not installed)"
inside morvo-host /usr/lib/vst/Morvo.so --jack >"$log" 2>&1 && fail "--jack without JACK succeeded"
cat "$log"
[ "$(wc -l <"$log")" = 1 ] && grep -q "JACK is not installed" "$log" ||
    fail "--jack without JACK does not say so in one line"

# lv2ls must list the plug-in the package's manifest declares.
manifest=$root/usr/lib/lv2/Morvo.lv2/manifest.ttl
[ -f "$manifest" ] || fail "the package put no $manifest"
uri=$(awk '/^<[^>]*>$/ { subject = $1 } /^[[:space:]]*a lv2:Plugin/ { print subject; exit }' \
    "$manifest" | tr -d '<>')
[ -n "$uri" ] || fail "no lv2:Plugin in the package's manifest.ttl"
echo "== apt-get install -y lilv-utils; lv2ls"
inside apt-get "${apt_options[@]}" install -y --no-install-recommends lilv-utils >"$log" 2>&1 ||
    { tail -n 30 "$log"; fail "apt-get could not install lilv-utils"; }
inside lv2ls >"$log" 2>&1 || { cat "$log"; fail "lv2ls fails"; }
grep -Fx "$uri" "$log" || { cat "$log"; fail "lv2ls does not list $uri"; }
echo "installed in a minimal Debian 12 in $SECONDS s: apt-get brought the dependencies," \
    "morvo-host reads the library, lv2ls lists the plug-in"
