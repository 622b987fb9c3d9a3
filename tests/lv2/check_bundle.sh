#!/bin/sh
# Morvo.lv2 as Debian's LV2 tools see it: lv2_validate (lv2-dev, running sord_validate from
# sordi) finds no error or warning in its Turtle files, and lv2info (lilv-utils) describes the
# plug-in with its ports, its X11 UI and its 16 presets.
# usage: check_bundle.sh BUNDLE_FOLDER
set -u
bundle=$1
uri=https://halvark.com/plugins/ostrel
for tool in lv2_validate lv2info sord_validate; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (Debian's lv2-dev, sordi, lilv-utils)"; exit 1; }
done
report=$(lv2_validate "$bundle"/*.ttl 2>&1)
status=$?
echo "$report" | grep -v '^Skipping file'
if [ "$status" -ne 0 ] || echo "$report" | grep -qiE '^(error|warning)'; then
    echo "lv2_validate finds fault with $bundle"
    exit 1
fi
info=$(LV2_PATH=$(dirname "$bundle") lv2info "$uri" 2>&1) || { echo "$info"; exit 1; }
fail() {
    echo "$info"
    echo "lv2info: $1"
    exit 1
}
echo "$info" | grep -q "Binary: *file://.*/Morvo.lv2/Morvo_lv2.so" || fail "no binary"
echo "$info" | grep -q "Class: *http://lv2plug.in/ns/extensions/ui#X11UI" || fail "no X11 UI"
[ "$(echo "$info" | grep -c '^	Port [0-9]*:')" -eq 30 ] || fail "not 30 ports"
[ "$(echo "$info" | grep -cE '^	         Preset [0-9]+$')" -eq 16 ] || fail "not 16 presets"
echo "$info" | grep -q "Symbol: *start_stop" || fail "no start_stop port"
echo "lv2_validate and lv2info accept $bundle"
