#!/bin/sh
# Runs a Windows program under Wine for the tests: bounded in time, Wine's own chatter off,
# carriage returns stripped from what the program prints. The exit code is the program's.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
status_file=$(mktemp)
{ timeout --kill-after=10 "${MORVO_WINE_TIMEOUT:-600}" wine "$@" 2>&1; echo $? >"$status_file"; } | tr -d '\r'
status=$(cat "$status_file")
rm -f "$status_file"
exit "$status"
