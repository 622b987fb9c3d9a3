#!/bin/sh
# The Windows morvo-host under Wine, playing the Windows library, prints and writes the same
# bytes as the native morvo-host playing the Linux library.
# usage: host_matches_native.sh NATIVE_HOST NATIVE_LIBRARY WINE_RUN WINDOWS_HOST WINDOWS_LIBRARY
set -u
native_host=$1 native_library=$2 wine_run=$3 windows_host=$4 windows_library=$5
for file in "$native_host" "$native_library"; do
    [ -e "$file" ] || { echo "$file is missing: build the linux preset first"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Wine sees the Unix root as drive Z:.
windows() { printf 'Z:%s' "$1" | tr '/' '\\'; }

status=0
number=0
while IFS= read -r arguments; do
    number=$((number + 1))
    case "$arguments" in
    *--info*) native_files="" windows_files="" ;;
    *)
        native_files="--mid $work/native$number.mid --svg $work/native$number.svg"
        windows_files="--mid $(windows "$work/windows$number.mid") --svg $(windows "$work/windows$number.svg")"
        ;;
    esac
    # shellcheck disable=SC2086
    "$native_host" "$native_library" $arguments $native_files >"$work/native$number.txt" 2>&1
    echo "exit $?" >>"$work/native$number.txt"
    # shellcheck disable=SC2086
    "$wine_run" "$windows_host" "$(windows "$windows_library")" $arguments $windows_files \
        >"$work/windows$number.txt" 2>&1
    echo "exit $?" >>"$work/windows$number.txt"
    for kind in txt mid svg; do
        [ -e "$work/native$number.$kind" ] || continue
        if ! cmp -s "$work/native$number.$kind" "$work/windows$number.$kind"; then
            echo "'$arguments': the .$kind output differs"
            [ "$kind" = mid ] || diff "$work/native$number.$kind" "$work/windows$number.$kind" | head -20
            status=1
        fi
    done
    echo "'$arguments': $(tail -n 1 "$work/native$number.txt"), same output"
done <<'SCENARIOS'
--beats 8
--set syncValue=0.04 --set endStep=0.04 --set step1=0 --set step2=1 --beats 2
--timing external --set step7=0.25
--note 13@2 --note 12@4.5 --note 14@6
--tempo 97.5 --rate 48000 --block 100 --set ccOut=0.5 --set ccMin=0.2 --set ccMax=0.9
--info
SCENARIOS
exit $status
