# Sourced by the jalv tests: a JACK server of the test's own with the dummy backend, a scratch
# folder, a fail that shows the logs, and a cleanup that stops the clients and then the server.
# Needs: name (the test's), bundle (the LV2 bundle folder), tools (the programs it runs).
. "$(dirname "$0")/../jack/private_shm.sh"
for tool in jackd jack_lsp jack_connect jack_transport jack_midi_dump $tools; do
    command -v "$tool" >/dev/null ||
        { echo "$tool is missing (Debian's jackd2, jalv, xdotool, x11-utils, imagemagick)"; exit 1; }
done
work=$(mktemp -d)
# A fixed name, never the user's: JACK keeps a few server slots for all users of the machine and
# gives a dead server's slot back only to a server of the same name.
export JACK_DEFAULT_SERVER="morvo-lv2-$name" JACK_NO_START_SERVER=1 LV2_PATH=$(dirname "$bundle")
pids="" server=""
cleanup() {
    exec 3>&- 4>&- 2>/dev/null
    # The clients first, then the server, which then gives its slot back.
    for pid in $pids; do kill "$pid" 2>/dev/null; done
    for pid in $pids; do wait "$pid" 2>/dev/null; done
    kill "$server" 2>/dev/null
    wait "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "$name: $1"
    for log in "$work"/*.log; do
        echo "== $log"
        tail -n 20 "$log"
    done
    exit 1
}
waitFor() { # a port whose name matches, printed
    tries=0
    until jack_lsp 2>/dev/null | grep -m 1 -x "$1"; do
        tries=$((tries + 1))
        [ "$tries" -gt 150 ] && fail "no port $1"
        sleep 0.1
    done
}
jackd --no-realtime -d dummy -r 48000 -p 1024 >"$work/jackd.log" 2>&1 &
server=$!
waitFor system:playback_1 >/dev/null
# jack_transport reads its commands from a pipe (descriptor 4) and, while it runs, stays the
# timebase master that gives the tempo and bars jalv passes on.
mkfifo "$work/transport.in"
jack_transport <"$work/transport.in" >"$work/transport.log" 2>&1 &
pids="$pids $!"
exec 4>"$work/transport.in"
