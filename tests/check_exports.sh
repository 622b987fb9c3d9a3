#!/bin/sh
# Checks that a shared library exports exactly the symbols given after it.
library=$1
shift
expected=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
actual=$(nm -D --defined-only "$library" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$actual" != "$expected" ]; then
    echo "exports of $library: '$actual', expected '$expected'"
    exit 1
fi
echo "exports of $library: $actual"
