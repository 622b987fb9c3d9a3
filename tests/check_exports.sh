#!/bin/sh
# Checks that a shared library exports exactly the symbols given after it; with --lean also
# that it ships without debug information, its symbols in LIBRARY.debug beside it.
# usage: check_exports.sh [--lean] LIBRARY SYMBOL...
lean=false
if [ "$1" = --lean ]; then
    lean=true
    shift
fi
library=$1
shift
expected=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
actual=$(nm -D --defined-only "$library" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$actual" != "$expected" ]; then
    echo "exports of $library: '$actual', expected '$expected'"
    exit 1
fi
if $lean && objdump -h "$library" | grep -q ' \.debug_'; then
    echo "$library carries debug information"
    exit 1
fi
if $lean && ! objdump -h "$library.debug" | grep -q ' \.debug_info'; then
    echo "$library.debug holds no symbols for crash reports"
    exit 1
fi
echo "exports of $library: $actual; $(wc -c <"$library") bytes"
