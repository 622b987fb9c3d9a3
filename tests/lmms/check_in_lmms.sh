#!/bin/sh
# LMMS, a real Linux host of Windows plug-ins, loads the 32-bit library through its Wine VST
# server as an effect on an instrument track and renders a short song twice, without and with
# the plug-in in the track's effect chain. LMMS must name the plug-in's unique ID in its log,
# and the two renderings must carry the same samples to the last bit: the plug-in passes audio
# through unchanged. With a screenshot path, LMMS's window is then opened on the display and the
# plug-in's editor, as LMMS shows it, is kept there, and the Sync group must be silver inside
# its frame; opening the editor by clicking is best effort: when it does not open, only the whole
# display is kept and the test does not fail for it.
# Needs WINEPREFIX and DISPLAY set up as build.sh does (a prepared prefix, a running display).
# usage: check_in_lmms.sh LIBRARY [SCREENSHOT.png]
set -u
library=$1
screenshot=${2:-}
command -v lmms >/dev/null || { echo "lmms is not installed (lmms:i386, lmms-vst-server:i386)"; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: LMMS's Wine VST server needs one"; exit 1; }
work=$(mktemp -d)
lmms_pid=""
cleanup() {
    [ -n "$lmms_pid" ] && kill -- "-$lmms_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# LMMS's settings, all of this run's own: a working folder that exists (else LMMS asks for
# one), no sound card (the dummy output), and no first-start setup dialog.
export HOME="$work/home"
mkdir -p "$HOME/lmms"
cat >"$HOME/.lmmsrc.xml" <<EOF
<?xml version="1.0"?>
<!DOCTYPE lmms-config-file>
<lmms version="1.2.2">
  <app configured="1"/>
  <paths workingdir="$HOME/lmms/"/>
  <mixer audiodev="Dummy (no sound output)"/>
</lmms>
EOF
cp "$library" "$work/Morvo.dll"

# A TripleOscillator bell playing three notes at 120 bpm; $1 is the track's effect chain.
project() {
    cat <<EOF
<?xml version="1.0"?>
<!DOCTYPE lmms-project>
<lmms-project version="1.0" creator="LMMS" creatorversion="1.2.2" type="song">
  <head bpm="120" mastervol="100" masterpitch="0" timesig_numerator="4" timesig_denominator="4"/>
  <song>
    <trackcontainer type="song">
      <track type="0" name="Bell" muted="0" solo="0">
        <instrumenttrack vol="100" pan="0" fxch="0" pitch="0" pitchrange="1" basenote="57" usemasterpitch="1">
          <instrument name="tripleoscillator">
            <tripleoscillator vol0="100" pan0="0" coarse0="0" finel0="0" finer0="0" phoffset0="0" stphdetun0="0" wavetype0="1" modalgo1="0" userwavefile0="" vol1="100" pan1="0" coarse1="12" finel1="0" finer1="0" phoffset1="0" stphdetun1="0" wavetype1="4" modalgo2="0" userwavefile1="" vol2="100" pan2="0" coarse2="-12" finel2="0" finer2="0" phoffset2="0" stphdetun2="0" wavetype2="3" modalgo3="2" userwavefile2=""/>
          </instrument>
          $1
        </instrumenttrack>
        <pattern type="0" name="Bell" pos="0" len="192" muted="0" steps="16">
          <note pos="0" len="48" key="57" vol="100" pan="0"/>
          <note pos="48" len="48" key="61" vol="100" pan="0"/>
          <note pos="96" len="48" key="64" vol="100" pan="0"/>
        </pattern>
      </track>
    </trackcontainer>
    <fxmixer>
      <fxchannel num="0" name="Master" volume="1" muted="0" soloed="0">
        <fxchain numofeffects="0" enabled="0"/>
      </fxchannel>
    </fxmixer>
    <timeline lp0pos="0" lp1pos="192" lpstate="0"/>
    <controllers/>
  </song>
</lmms-project>
EOF
}
# LMMS's VstEffect takes the library from the key's "file" attribute; "guivisible" is what LMMS
# itself saves for an effect whose editor is open.
project '<fxchain numofeffects="0" enabled="0"/>' >"$work/plain.mmp"
project "<fxchain numofeffects=\"1\" enabled=\"1\">
            <effect name=\"vsteffect\" on=\"1\" wet=\"1\" gate=\"0\" autoquit=\"1\" autoquit_numerator=\"4\" autoquit_denominator=\"4\" syncmode=\"0\">
              <vsteffectcontrols guivisible=\"1\"/>
              <key><attribute name=\"file\" value=\"$work/Morvo.dll\"/></key>
            </effect>
          </fxchain>" >"$work/effect.mmp"

# The samples of a WAVE file (its "data" chunk): LMMS's other chunks carry the time of day.
samples_of() {
    size=$(stat -c %s "$1")
    offset=12
    while [ "$offset" -lt "$size" ]; do
        id=$(dd if="$1" bs=1 skip="$offset" count=4 2>/dev/null)
        length=$(od -A n -t u4 -j $((offset + 4)) -N 4 "$1" | tr -d ' ')
        if [ "$id" = data ]; then
            tail -c +$((offset + 9)) "$1" | head -c "$length" >"$2"
            return 0
        fi
        offset=$((offset + 8 + length + length % 2))
    done
    return 1
}

status=0
for song in plain effect; do
    # 32-bit float samples: LMMS dithers integer output with noise.
    timeout 180 lmms --allowroot render "$work/$song.mmp" -o "$work/$song.wav" -f wav -a \
        >"$work/$song.log" 2>&1
    result=$?
    tr -d '\r' <"$work/$song.log" >"$work/$song.txt"
    if [ $result -ne 0 ] || ! samples_of "$work/$song.wav" "$work/$song.raw"; then
        cat "$work/$song.txt"
        echo "LMMS did not render the $song song ($result)"
        exit 1
    fi
done
if ! grep -q '^unique ID: KV01$' "$work/effect.txt"; then
    cat "$work/effect.txt"
    echo "LMMS's log does not name the plug-in's unique ID KV01"
    status=1
fi
if grep -q 'unique ID' "$work/plain.txt"; then
    echo "LMMS loaded a plug-in for the song without one"
    status=1
fi
if [ "$(tr -d '\000' <"$work/plain.raw" | head -c 1 | wc -c)" -eq 0 ]; then
    echo "the song is silent: nothing to compare"
    status=1
fi
if cmp -s "$work/plain.raw" "$work/effect.raw"; then
    [ $status -eq 0 ] && echo "LMMS played Morvo.dll (unique ID KV01) as an effect:" \
        "$(wc -c <"$work/effect.raw") bytes of samples, the same as without it"
else
    echo "the samples with the plug-in differ from those without it:"
    cmp "$work/plain.raw" "$work/effect.raw"
    status=1
fi

# The editor as LMMS shows it: the song in LMMS's window, then the track's window, its effects
# tab and the effect's Controls button, clicked where LMMS 1.2 puts them on a 1280x1024 display.
if [ -n "$screenshot" ] && command -v xdotool >/dev/null && command -v import >/dev/null; then
    # In a process group of its own, which takes LMMS's Wine VST server with it at the end.
    setsid timeout 180 lmms --allowroot "$work/effect.mmp" >"$work/gui.log" 2>&1 &
    lmms_pid=$!
    editor=""
    for _ in $(seq 60); do
        xdotool search --onlyvisible --name '^effect.* - LMMS' >/dev/null 2>&1 && break
        sleep 1
    done
    sleep 3
    for click in "157 190" "741 209" "771 262"; do
        # shellcheck disable=SC2086
        xdotool mousemove $click click 1
        sleep 2
    done
    for _ in 1 2 3 4 5; do
        sleep 2
        editor=$(xdotool search --onlyvisible --classname 'remotevstplugin' 2>/dev/null | head -n 1)
        [ -n "$editor" ] && break
    done
    # Wine paints the window a moment after it is mapped: a picture of one or two colours is
    # taken again.
    colours=0
    for _ in 1 2 3 4 5; do
        [ -n "$editor" ] || break
        sleep 2
        import -window "$editor" "$screenshot" 2>/dev/null &&
            colours=$(identify -format %k "$screenshot" 2>/dev/null || echo 0)
        [ "$colours" -gt 16 ] && break
    done
    if [ "$colours" -gt 16 ]; then
        echo "kept LMMS's view of the editor in $screenshot"
        # Inside the Sync group's frame, left of its radio buttons (the window has a border of one
        # pixel): the group's silver, where LMMS's window is erased black.
        strip=$(convert "$screenshot" -crop 1x111+446+91 +repage \
            -format '%k colour(s), the first %[pixel:p{0,0}]' info: 2>/dev/null)
        if [ "$strip" != "1 colour(s), the first srgb(192,192,192)" ]; then
            echo "inside the Sync group's frame LMMS shows $strip, not silver alone"
            status=1
        fi
    else
        import -window root "$screenshot" 2>/dev/null
        echo "note: LMMS did not show the editor; kept the whole display in $screenshot"
    fi
    kill -- "-$lmms_pid" 2>/dev/null
    wait "$lmms_pid" 2>/dev/null
    lmms_pid=""
fi
exit $status
