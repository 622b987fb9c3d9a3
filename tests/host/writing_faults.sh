#!/bin/sh
# morvo-host keeps its files whole: a full disk and Ctrl-C leave the earlier file as it was and
# no partial file behind; an output that cannot be written, or that is the plug-in library
# itself, fails before anything plays.
# usage: writing_faults.sh MORVO_HOST LIBRARY WORK_DIR
set -u
host=$1 library=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failed=0
fail() { echo "FAIL: $*"; failed=1; }
no_partials() { [ -z "$(find "$1" -name '.*.partial-*')" ] || fail "$2: a partial file was left: $(find "$1" -name '.*.partial-*')"; }

"$host" "$library" --beats 4 --mid good.mid --dump good.dump >/dev/null || fail "a plain run"

# A full disk: a folder of 64 KB, where a 64-beat MIDI file does not fit.
mkdir full
unshare -rm sh -c "mount -t tmpfs -o size=64k tmpfs full && cp good.mid full/song.mid &&
    '$host' '$library' --beats 64 --set syncValue=0.32 --mid full/song.mid >/dev/null 2>full.err;
    echo \$? >full.status; cmp -s good.mid full/song.mid && echo same >full.kept;
    find full -name '.*.partial-*' >full.partials"
[ "$(cat full.status)" = 1 ] || fail "full disk: exit status $(cat full.status)"
grep -q "cannot write full/song.mid: No space left on device" full.err || fail "full disk: $(cat full.err)"
[ -f full.kept ] || fail "full disk: the earlier file was changed"
[ ! -s full.partials ] || fail "full disk: a partial file was left"

# Ctrl-C while a long dump is being written.
cp good.dump long.dump
"$host" "$library" --beats 100000 --set syncValue=0.32 --dump long.dump >/dev/null 2>interrupt.err &
pid=$!
for _ in $(seq 1 100); do
    partial=$(find . -maxdepth 1 -name '.long.dump.partial-*')
    [ -n "$partial" ] && [ "$(wc -c <"$partial")" -gt 1000000 ] && break
    sleep 0.1
done
kill -INT $pid
wait $pid
status=$?
[ $status = 130 ] || fail "Ctrl-C: exit status $status"
grep -q "interrupted: no file written" interrupt.err || fail "Ctrl-C: $(cat interrupt.err)"
cmp -s good.dump long.dump || fail "Ctrl-C: the earlier file was changed"
no_partials . "Ctrl-C"

# Outputs that cannot be written fail before anything plays (a live run would take 4 s).
cp "$library" plugin.so
for case in "--svg ./plugin.so:it is the plug-in library being played" \
    "--mid missing/song.mid:No such file or directory" "--events full:Is a directory"; do
    option=${case%%:*} reason=${case#*:}
    # shellcheck disable=SC2086
    "$host" ./plugin.so --live --beats 8 $option >early.out 2>early.err && fail "$option: succeeded"
    grep -q "$reason" early.err || fail "$option: $(cat early.err)"
    [ ! -s early.out ] || fail "$option: it played before failing"
done
cmp -s "$library" plugin.so || fail "the library was changed"
unshare -rm sh -c "mount -t tmpfs -o ro tmpfs full && '$host' ./plugin.so --beats 1 --mid full/a.mid" \
    >early.out 2>early.err && fail "a read-only folder: succeeded"
grep -q "Read-only file system" early.err || fail "a read-only folder: $(cat early.err)"
[ ! -s early.out ] || fail "a read-only folder: it played before failing"
no_partials . "the early failures"
[ $failed = 0 ] && echo "morvo-host's files: whole or untouched"
exit $failed
