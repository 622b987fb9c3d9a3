# Sourced by the Qtractor tests, which run on a virtual display of their own (x11/with_xvfb.sh):
# Debian's Qtractor (0.9.31) on a JACK server of the run's own (the dummy backend, 48 kHz, 1024
# frames), with its settings, caches, plug-in folders and sessions in a folder of the run's own,
# all removed afterwards. Where the machine has no ALSA sequencer (Qtractor will not start its
# engine without one), the stand-in built with the tests is preloaded into Qtractor; it is
# everywhere when record_events is set, and events names the file where it records what Qtractor
# writes to the sequencer.
# Needs: standin (the stand-in's path) and tools (the other programs the test runs).
# Gives: work; the plug-in folders CLAP_PATH, VST_PATH and LV2_PATH; write_session and midi_track,
# which write a session; start_qtractor, which opens one and sets main to Qtractor's window;
# helpers, process ids the cleanup ends before the JACK server; report_qtractor and complained.
# Exits with 77 (skipped) when Qtractor or JACK is not installed.
. "$(dirname "$0")/../jack/private_shm.sh"
for tool in qtractor jackd jack_lsp; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (qtractor, jackd2): skipped"; exit 77; }
done
for tool in xdotool $tools; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (xdotool, x11-utils, imagemagick)"; exit 1; }
done
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
standin=$(absolute "$standin")

work=$(mktemp -d)
jack="" host="" helpers=""
# Ends what this run started, by process id; Qtractor waits on its open dialogs, so whatever is
# still there after five seconds is killed.
stop() {
    for pid in $host $helpers $jack; do
        kill "$pid" 2>/dev/null || continue
        tries=0
        while kill -0 "$pid" 2>/dev/null && [ $tries -lt 50 ]; do
            tries=$((tries + 1))
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    host="" helpers="" jack=""
}
cleanup() {
    stop
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Everything Qtractor reads and writes stays in this run's folder: its settings, caches and
# plug-in folders, and the session.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
export XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/run"
export CLAP_PATH="$work/clap" VST_PATH="$work/vst" LV2_PATH="$work/lv2"
mkdir -p "$XDG_CONFIG_HOME/rncbc.org" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$CLAP_PATH" \
    "$VST_PATH" "$LV2_PATH" "$work/session"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# Its messages on stderr (not only in its window), no timed saves into the session folder, and
# JACK's transport both followed and driven (Qtractor's "Full" mode, its default).
cat >"$XDG_CONFIG_HOME/rncbc.org/Qtractor.conf" <<EOF
[Options]
Display\StdoutCapture=false
Transport\TransportMode=3

[AutoSave]
Enabled=false
EOF

# A JACK server of this run's own name, so no user's server is touched, and clients that never
# start one by themselves.
export JACK_DEFAULT_SERVER="morvo-qtractor-$$" JACK_NO_START_SERVER=1
jackd --no-realtime -d dummy -r 48000 -p 1024 >"$work/jackd.log" 2>&1 &
jack=$!
tries=0
until jack_lsp >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 "$jack" 2>/dev/null; then
        cat "$work/jackd.log"
        echo "the JACK server (dummy backend) did not start"
        exit 1
    fi
    sleep 0.1
done

preload=""
if [ -n "${record_events:-}" ]; then
    echo "the ALSA sequencer: the stand-in is preloaded, to record what Qtractor sends out"
    export MORVO_ALSA_SEQ_EVENTS="$work/events.txt"
    events=$MORVO_ALSA_SEQ_EVENTS
    preload=$standin
elif [ -c /dev/snd/seq ]; then
    echo "the ALSA sequencer: /dev/snd/seq"
else
    echo "the ALSA sequencer: no /dev/snd/seq here, the stand-in is preloaded"
    preload=$standin
fi

# usage: write_session FILE TEMPO MIDI_BUSES TRACKS
# A session at 48 kHz and TEMPO in 4/4, with the Master buses, the MIDI output buses and the
# tracks given as Qtractor's XML.
write_session() {
    cat >"$1" <<EOF
<!DOCTYPE qtractorSession>
<session version="Qtractor 0.9.31" name="morvo">
 <properties>
  <directory>$work/session</directory>
  <sample-rate>48000</sample-rate>
  <tempo>$2</tempo>
  <ticks-per-beat>960</ticks-per-beat>
  <beats-per-bar>4</beats-per-bar>
  <beat-divisor>2</beat-divisor>
 </properties>
 <devices>
  <audio-engine>
   <audio-bus name="Master" mode="duplex"><channels>2</channels></audio-bus>
  </audio-engine>
  <midi-engine>
   <midi-bus name="Master" mode="duplex"/>
$3
  </midi-engine>
 </devices>
 <tracks>
$4
 </tracks>
</session>
EOF
}

# usage: midi_track NAME PLUGINS
# A MIDI track on the Master buses whose plug-in chain holds PLUGINS (Qtractor's XML).
midi_track() {
    cat <<EOF
  <track type="midi" name="$1">
   <properties>
    <input-bus>Master</input-bus>
    <output-bus>Master</output-bus>
    <midi-channel>0</midi-channel>
   </properties>
   <plugins>
$2
   </plugins>
  </track>
EOF
}

report_qtractor() {
    echo "--- what Qtractor printed:"
    cat "$work/qtractor.log"
    echo "---"
}

# usage: start_qtractor SESSION
# Qtractor on the session (in its folder), its output in qtractor.log; returns once its main
# window, named after the session, is open (in main), or fails.
start_qtractor() {
    (cd "$(dirname "$1")" && exec env LD_PRELOAD="$preload" qtractor "$(basename "$1")") \
        >"$work/qtractor.log" 2>&1 &
    host=$!
    main=""
    tries=0
    while [ -z "$main" ]; do
        tries=$((tries + 1))
        [ $tries -gt 60 ] && failed "Qtractor opened no window for the session"
        kill -0 "$host" 2>/dev/null || failed "Qtractor ended while opening the session"
        sleep 0.5
        for window in $(xdotool search --class qtractor 2>/dev/null); do
            case "$(xdotool getwindowname "$window" 2>/dev/null)" in
            *"$(basename "$1")"*) main=$window ;;
            esac
        done
    done
}

# A crash, or a complaint about the plug-in (a CLAP log error, a "could not" about a plug-in,
# a state Qt could not uncompress, a plug-in not found), in what Qtractor printed.
complained() {
    grep -qiE 'segmentation|aborted|crash|corrupt|terminate called|core dumped|clap_log: (error|fatal|host misbehaving)|qtractor(Clap|Vst2?|Lv2)Plugin.*(could not|\*\*\*)|plugin not found' \
        "$work/qtractor.log"
}
