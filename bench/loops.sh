#!/bin/sh
# Shows where the fast path's sample loops (APlugin::watch) fall in a built program or library:
# each loop's bytes, from the target of its backward jump to the end of that jump, and whether
# they stay within one 64-byte line. A loop that straddles two lines costs a further fetch at
# every sample (see watch in sequencer/uPluginEngine.cpp).
#   bench/loops.sh [program or library]
set -eu
binary=${1:-build/linux/bench/morvo_bench}
[ -f "$binary" ] || { echo "loops.sh: no file at $binary" >&2; exit 1; }
functions=$(nm "$binary" 2>/dev/null | awk '$3 ~ /APlugin[0-9]+watch/ { print $3 }')
[ -n "$functions" ] || { echo "loops.sh: no APlugin::watch symbols in $binary (stripped?)" >&2; exit 1; }
status=0
for function in $functions; do
    objdump -d --no-show-raw-insn "--disassemble=$function" "$binary" | awk -v name="$(echo "$function" | c++filt)" '
        function hex(text,   i, value) {
            value = 0
            for (i = 1; i <= length(text); ++i)
                value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
            return value
        }
        # An instruction line: "    9b54:\tje     9b30 <...>".
        /^ *[0-9a-f]+:\t/ {
            address = hex(substr($1, 1, length($1) - 1))
            if (previous != "") ends[previous] = address
            previous = address
            if ($2 ~ /^call/) calls[address] = 1
            if ($2 ~ /^j/ && $3 ~ /^[0-9a-f]+$/) {
                target = hex($3)
                if (target < address) { jumps[address] = target }
            }
        }
        END {
            found = 0
            # The loop: a backward jump over a call to the host (the others lead to the shared
            # return).
            for (jump in jumps) {
                first = jumps[jump]; last = ends[jump] - 1
                asks = 0
                for (call in calls) if (call + 0 >= first && call + 0 < last) asks = 1
                if (!asks) continue
                line = int(first / 64) == int(last / 64) ? "within one 64-byte line" : "STRADDLES two 64-byte lines"
                printf "%s: loop at 0x%x .. 0x%x (%d bytes), %s\n", name, first, last, last - first + 1, line
                if (line !~ /^within/) bad = 1
                found = 1
            }
            if (!found) printf "%s: no loop found\n", name
            exit bad
        }' || status=1
done
exit $status
