#!/bin/sh
# Qtractor plays the plug-in through one of its doors (the VST 2 library, Morvo.clap or the LV2
# bundle) at 100 bpm, and what reaches its MIDI tracks' outputs must be the plug-in's steps.
# Qtractor hands a plug-in's MIDI output only to the next plug-in of the track's chain: an
# "Aux Send (MIDI)" after it sends the track's MIDI out, to a MIDI bus, an ALSA sequencer port
# whose events the stand-in records (qtractor_host.sh preloads it, /dev/snd/seq or not).
# Two tracks, each with the plug-in, then a send to a bus named after the track:
# - Internal: the default program in internal timing. Every step is controller 14 on channels
#   1 to 16 in turn with the value 64, and the steps come one beat of the session's tempo apart
#   (28800 frames), to within a processing block (the plug-in sends at a block's start).
# - External: step s at (s - 1)/15, so that each value names its step, four steps a beat and
#   external timing, set as Qtractor restores each door (see below). From the start of the song,
#   step 1 first, then step k + 1 at beat k/4 (within the 16 steps), each at its beat to within
#   two blocks and a quarter beat after the one before to within a block; after a relocation to
#   beat 28.625, step 3 (the step there) at once, then on from step 4 at beat 28.75 (through
#   the LV2 door up to a block later until beat 29: Qtractor's LV2 positions after a relocation
#   name a frame a block behind the one it plays, until its next whole beat). While the
#   transport stands, no new step: before the roll only step 1, after the stop one step at most.
# JACK's transport (jack_transport) starts, moves and stops Qtractor's, which follows it.
# Exits with 77 (skipped) when Qtractor or JACK is not installed.
# usage: play_in_qtractor.sh vst2|clap|lv2 PLUGIN SEQUENCER_STANDIN.so RECORD [MORVO_CLAP_PLAY]
#   PLUGIN is Morvo.so, Morvo.clap or the Morvo.lv2 folder; RECORD is where the stand-in's record
#   of what Qtractor sent is kept; clap needs morvo-clap-play too.
set -u
door=$1 standin=$3 tools="jack_transport od base64" record_events=yes
. "$(dirname "$0")/qtractor_host.sh"
plugin=$(absolute "$2")
record=$(absolute "$4")
tempo=100 rate=48000 block=1024
relocation=28.625 # half way through step 3 (114.5 steps in), far from where the roll is then
failed() {
    report_qtractor
    echo "$door: $1"
    exit 1
}

# The External track's settings, "INDEX NAME=VALUE" a line: the parameters by the names the
# plug-in gives them, with their indices in the VST 2 record.
external_settings() {
    for s in $(seq 1 16); do
        awk -v s="$s" 'BEGIN { printf "%d step %d=%.7f\n", s - 1, s, (s - 1) / 15 }'
    done
    echo "16 Sync Value -Do not automate=0.04"
    echo "21 Timing Mode=1"
}

# usage: param_elements: the settings on stdin as Qtractor's <param> elements.
param_elements() {
    echo "     <params>"
    sed 's/^\([0-9]*\) \([^=]*\)=\(.*\)$/      <param index="\1" name="\2">\3<\/param>/'
    echo "     </params>"
}

# usage: qt_compressed FILE
# FILE's bytes as Qt's qUncompress takes them, in base64: their count (32 bits, big-endian), then
# a zlib stream holding them in one stored block and ending with their Adler-32 checksum.
qt_compressed() {
    size=$(wc -c <"$1")
    [ "$size" -lt 65536 ] || failed "$1 is too large for one stored block"
    adler=$(od -An -v -tu1 "$1" | awk 'BEGIN { a = 1; b = 0 }
        { for (i = 1; i <= NF; i++) { a = (a + $i) % 65521; b = (b + a) % 65521 } }
        END { printf "%.0f", b * 65536 + a }')
    # printf's octal escapes for numbers of BYTES bytes, big- or little-endian.
    bytes() { # VALUE BYTES big|little
        awk -v v="$1" -v n="$2" -v order="$3" 'BEGIN {
            for (i = 0; i < n; i++) {
                shift = order == "big" ? n - 1 - i : i
                printf "\\%03o", int(v / 256 ^ shift) % 256
            }
        }'
    }
    # The count, zlib's header (deflate, no dictionary), the header of a last stored block (1)
    # with its length and that length's complement, the bytes and the checksum.
    {
        # shellcheck disable=SC2059 # the formats are the bytes
        printf "$(bytes "$size" 4 big)\170\001\001$(bytes "$size" 2 little)"
        # shellcheck disable=SC2059
        printf "$(bytes $((65535 - size)) 2 little)"
        cat "$1"
        # shellcheck disable=SC2059
        printf "$(bytes "$adler" 4 big)"
    } | base64 | tr -d '\n'
}

# Each door's plug-in: its type and file as Qtractor names them, and its External settings.
case $door in
vst2)
    type=VST file="$VST_PATH/Morvo.so"
    cp "$plugin" "$file"
    door_settings() { external_settings | param_elements; }
    ;;
lv2)
    cp -R "$plugin" "$LV2_PATH/Morvo.lv2"
    type=LV2 file=$(awk '/^<.*>$/ { subject = substr($0, 2, length($0) - 2) }
        /a lv2:Plugin/ { print subject; exit }' "$LV2_PATH/Morvo.lv2/manifest.ttl")
    # An LV2 host numbers the parameters by their ports' indices, in the bundle's Turtle.
    cat "$LV2_PATH"/Morvo.lv2/*.ttl | awk '/lv2:index/ { port = $2 + 0 }
        /lv2:name/ { match($0, /"[^"]*"/); print port " " substr($0, RSTART + 1, RLENGTH - 2) }' \
        >"$work/ports"
    external_settings | while read -r _ setting; do
        echo "$(awk -v name="${setting%%=*}" '$0 == $1 " " name { print $1 }' "$work/ports") $setting"
    done >"$work/lv2-settings"
    missing=$(sed -n 's/^ \([^=]*\)=.*/\1/p' "$work/lv2-settings" | head -n 1)
    [ -z "$missing" ] || failed "the bundle has no port named $missing"
    door_settings() { param_elements <"$work/lv2-settings"; }
    ;;
clap)
    type=CLAP file="$CLAP_PATH/Morvo.clap"
    cp "$plugin" "$file"
    # Qtractor gives a CLAP plug-in no session values but those of the state it saved: the
    # settings go in through morvo-clap-play, which saves the plug-in's state once it has them.
    external_settings | sed 's/^[0-9]* /at 0 set /' >"$work/settings.song"
    "$(absolute "$5")" "$file" "$work/settings.song" "$work/settings.dump" "$rate" "$block" \
        "$work/state" >"$work/clap-play.log" 2>&1 ||
        failed "morvo-clap-play saved no state: $(cat "$work/clap-play.log")"
    state=$(qt_compressed "$work/state")
    door_settings() { echo "     <configs><config key=\"state\">$state</config></configs>"; }
    ;;
*) failed "no door $door (vst2, clap or lv2)" ;;
esac

# usage: door_plugin internal|external: the door's plug-in element, with the timing's settings.
door_plugin() {
    echo "    <plugin type=\"$type\">"
    echo "     <filename>$file</filename><index>0</index><label>Ostrel</label>"
    echo "     <activated>1</activated>"
    [ "$1" = internal ] || door_settings
    echo "    </plugin>"
}

# usage: track internal|external NAME
# A MIDI track with the door's plug-in, then a send of the track's MIDI to the bus NAME.
track() {
    midi_track "$2" "$(door_plugin "$1")
    <plugin type=\"AuxSend\">
     <index>0</index><label>MidiAuxSend</label><activated>1</activated>
     <configs><config key=\"midiBusName\">$2</config></configs>
    </plugin>"
}
write_session "$work/session/morvo.qtr" "$tempo" \
    '   <midi-bus name="Internal" mode="output"/>
   <midi-bus name="External" mode="output"/>' \
    "$(track internal Internal)
$(track external External)"

# JACK's transport takes its commands from a pipe (descriptor 4).
mkfifo "$work/transport.in"
jack_transport <"$work/transport.in" >"$work/transport.log" 2>&1 &
helpers=$!
exec 4>"$work/transport.in"
start_qtractor "$work/session/morvo.qtr"

# usage: steps_since PORT LINE: how many steps PORT sent while Qtractor played, after the LINEth
# line of the record (a step: the messages written at one tick).
steps_since() {
    awk -v port="$1" -v from="$2" '
        $1 == "queue" && ($3 == "start" || $3 == "continue") { running = 1 }
        $1 == "queue" && $3 == "stop" { running = 0 }
        NR > from && $1 == "control" && $8 == port && running && $3 != last { steps++; last = $3 }
        END { print steps + 0 }' "$events" 2>/dev/null
}
lines() { if [ -f "$events" ]; then wc -l <"$events"; else echo 0; fi; }
# usage: play_until PORT STEPS SECONDS: waits for STEPS steps of PORT from now, SECONDS at most.
play_until() {
    from=$(lines) tries=0
    until [ "$(steps_since "$1" "$from")" -ge "$2" ] || [ $tries -ge $(($3 * 4)) ]; do
        kill -0 "$host" 2>/dev/null || failed "Qtractor ended while playing"
        tries=$((tries + 1))
        sleep 0.25
    done
}

# The plug-in runs once the Internal track sends its first step (it does so while the transport
# stands); then the song plays from its start, 24 steps of the External track (past step 16 and
# round to step 1), then from the relocation 12 steps, and stops.
tries=0
until grep -q ' Internal$' "$events" 2>/dev/null; do
    tries=$((tries + 1))
    [ $tries -gt 120 ] && failed "no step reached the Internal track's output within 30 seconds"
    kill -0 "$host" 2>/dev/null || failed "Qtractor ended before playing"
    sleep 0.25
done
rolled=$(lines)
printf 'locate 0\nplay\n' >&4
play_until External 24 15
tail -n +"$((rolled + 1))" "$events" | grep -q '^queue .* start$' ||
    failed "Qtractor did not start playing when JACK's transport did"
frame=$(awk "BEGIN { printf \"%d\", $relocation * 60 * $rate / $tempo }")
printf 'locate %s\n' "$frame" >&4
play_until External 12 10
printf 'stop\n' >&4
sleep 1
kill -0 "$host" 2>/dev/null || failed "Qtractor ended while playing"
# Nothing Qtractor does on its way out is under test here (it would ask about saving the session).
kill -KILL "$host"
wait "$host" 2>/dev/null
host=""
stop
cp "$events" "$record"
report_qtractor
complained && failed "Qtractor complained about the plug-in"

# The record: "control SECONDS TICK PPQ STATUS CONTROLLER VALUE PORT" and "queue SECONDS WHAT"
# lines (see alsa_seq_standin.cpp). Qtractor restarts its queue at each roll and relocation
# (start, or stop then start), so a tick counts from the song position there; a step it took
# just before a relocation it stamps at the new position's tick 0.
awk -v door="$door" -v tempo="$tempo" -v rate="$rate" -v block="$block" \
    -v relocation="$relocation" -v spb=4 '
    # Each fault once, with how many times it came.
    function fault(text) { if (!(text in times)) said[++faults] = text; times[text]++ }
    function near(a, b, within) { return a - b <= within && b - a <= within }
    $1 == "queue" {
        if ($3 == "start" || $3 == "continue") { running = 1; segment++ }
        else if ($3 == "stop") running = 0
        next
    }
    # A step: the messages a port sent together, at one tick.
    $1 == "control" && ($8 == "Internal" || $8 == "External") {
        g = current[$8]
        if (g == "" || $3 != tick[g] || $5 <= last[g] || count[g] == 16 || playing[g] != running) {
            g = ++groups
            current[$8] = g
            port[g] = $8; tick[g] = $3; ppq[g] = $4; controller[g] = $6; value[g] = $7
            channels[g] = ""; playing[g] = running; segmentOf[g] = segment; whole[g] = 1
            steps[$8] = steps[$8] " " g
        }
        last[g] = $5
        channels[g] = channels[g] (count[g]++ ? "," : "") $5 - 175
        if ($5 != 175 + count[g] || $6 != 14 || $6 != controller[g] || $7 != value[g]) whole[g] = 0
    }
    function full(g) { return whole[g] && count[g] == 16 }
    function sent(g) {
        return "controller " controller[g] " on channels " channels[g] \
            (whole[g] ? "" : " (not alike)") ", value " value[g]
    }
    END {
        block = block * tempo / (60 * rate) # in beats
        n = split(steps["Internal"], internal, " ")
        if (n == 0) fault("nothing reached the Internal track'"'"'s output")
        for (i = 1; i <= n; i++) {
            g = internal[i]
            if (!full(g) || value[g] != 64)
                fault("Internal: a step sent " sent(g) ", not 64 on channels 1 to 16")
            h = internal[i + 1]
            # Steps one beat apart, while the queue runs; tick 0 may be stamped by a relocation.
            if (i < n && playing[g] && playing[h] && segmentOf[g] == segmentOf[h] && tick[g] > 0) {
                gaps++
                gap = (tick[h] - tick[g]) / ppq[g]
                if (!near(gap, 1, block + 2 / ppq[g]))
                    fault("Internal: two steps " gap " beats apart, not one beat")
            }
        }
        if (gaps < 4) fault("Internal: only " gaps + 0 " steps to measure the tempo by")

        for (s = 1; s <= 16; s++) stepOf[int((s - 1) / 15 * 127 + 0.5)] = s
        n = split(steps["External"], external, " ")
        if (n == 0) fault("nothing reached the External track'"'"'s output")
        rolls = 0; after = 0
        for (i = 1; i <= n; i++) {
            g = external[i]
            s = (value[g] in stepOf) ? stepOf[value[g]] : 0
            if (!full(g)) fault("External: step " s " sent " sent(g) ", not on channels 1 to 16")
            if (!playing[g]) {
                # While the transport stands (the queue stops for no time at a relocation).
                if (segmentOf[g] == 0) {
                    standing["before"] = standing["before"] " " s
                    if (s != 1) fault("External: step " s " before the transport rolled, not step 1")
                    else earlyOne = 1
                } else if (segmentOf[g] == segment) {
                    standing["after"] = standing["after"] " " s
                    if (++after > 1)
                        fault("External: step " s " while the transport stood after the stop")
                }
                continue
            }
            if (segmentOf[g] != lastSegment) {
                # A roll: from the start, then from the relocation.
                lastSegment = segmentOf[g]
                start = rolls++ ? relocation : 0
                first = int(start * spb + 1e-9)
                k = -1; stale = rolls == 2; again = rolls == 1 && earlyOne
                # Step 1 sent before the roll stands for the start: it may come again at once.
                if (again) { k = 0; previous = 0; boundary = 1 }
                played[rolls] = ""
            }
            beat = start + tick[g] / ppq[g]
            played[rolls] = played[rolls] " " s "@" sprintf("%.3f", beat)
            if (rolls > 2) { fault("External: Qtractor rolled " rolls " times"); continue }
            if (k < 0) {
                if (stale && tick[g] == 0 && s == lastStep % 16 + 1 && s != first % 16 + 1) {
                    stale = 0 # the step before the relocation, stamped at its position
                    continue
                }
                if (s == first % 16 + 1 && near(beat, start, 2 * block)) {
                    k = first; previous = beat; boundary = start * spb == first; counted[rolls]++
                    lastStep = s
                    continue
                }
                # The step there needs no sending again when it is the one already sent.
                if (!(rolls == 2 && first % 16 + 1 == lastStep && s == (first + 1) % 16 + 1)) {
                    fault("External: from beat " start " the first step was step " s \
                        " at beat " beat ", not step " first % 16 + 1)
                    k = int(beat * spb + 0.5); previous = beat; boundary = 1; lastStep = s
                    continue
                }
                k = first; boundary = 0
            }
            near_ = int(beat * spb + 0.5)
            if (again && near_ == 0 && s == 1) { again = 0; previous = beat; continue }
            again = 0
            if (near_ != k + 1 || s != near_ % 16 + 1 || !near(beat, near_ / spb, 2 * block))
                fault("External: step " s " at beat " beat "; the song position gives step " \
                    near_ % 16 + 1 " at beat " near_ / spb ", after step " k % 16 + 1)
            # After a relocation the LV2 positions Qtractor sends name a frame one block behind
            # the one it plays, until its next whole beat: the steps follow them, a block late.
            else if (boundary && !near(beat - previous, 1 / spb,
                         (door == "lv2" && rolls == 2 && beat < int(relocation) + 1 ? 2 : 1) * block + \
                         2 / ppq[g]))
                fault("External: step " s " came " beat - previous \
                    " beats after the one before, not " 1 / spb)
            k = near_; previous = beat; boundary = 1; counted[rolls]++; lastStep = s
        }
        if (counted[1] < 20) fault("External: " counted[1] + 0 " steps from the start, not 20")
        if (counted[2] < 8) fault("External: " counted[2] + 0 " steps after the relocation, not 8")
        print door ": the Internal track sent " split(steps["Internal"], internal, " ") \
            " steps; the External track (step@beat):"
        print "  before the roll:" standing["before"]
        print "  from the start:" played[1]
        print "  from the relocation to beat " relocation ":" played[2]
        print "  after the stop:" standing["after"]
        if (faults > 0) {
            printf "%s: what reached the tracks'"'"' outputs is wrong:\n", door
            for (i = 1; i <= faults && i <= 12; i++)
                print "  " said[i] (times[said[i]] > 1 ? " (" times[said[i]] " times)" : "")
            if (faults > 12) print "  and " faults - 12 " more"
            exit 1
        }
        print door ": Qtractor played 16 channels a step, one step a beat in internal timing, " \
            "and the steps at the song position in external timing, from the start and after a " \
            "relocation"
    }' "$events"
