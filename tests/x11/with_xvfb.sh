#!/bin/sh
# Runs a program on a virtual display of its own: Xvfb on a display number it finds free, stopped
# when the program ends. Nothing needs to be set up beforehand.
# usage: with_xvfb.sh PROGRAM [ARGUMENT...]
set -u
command -v Xvfb >/dev/null || { echo "Xvfb is missing (Debian's xvfb package)"; exit 1; }
number=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -f "$number"' EXIT
# Xvfb writes its display number once it takes connections.
tries=0
while [ ! -s "$number" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ] || ! kill -0 "$server" 2>/dev/null; then
        echo "Xvfb did not start"
        exit 1
    fi
    sleep 0.05
done
DISPLAY=":$(head -n 1 "$number")" "$@"
