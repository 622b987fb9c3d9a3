#!/bin/sh
# The Windows editor against the Linux one: the same controls in the same order, at the same
# places and sizes, shown or hidden alike (labels size themselves to their text in each
# system's font, so only their places must agree). Also makes the Windows screenshots the
# editor test left as BMP into PNG files beside them, as the Linux test writes its own.
# usage: compare_with_linux.sh LINUX_LAYOUT WINDOWS_LAYOUT ARTEFACTS_FOLDER
linux=$1 windows=$2 artefacts=$3
for file in "$linux" "$windows"; do
    [ -s "$file" ] || {
        echo "no layout at $file (the Linux one comes from the linux preset's tests)"
        exit 1
    }
done
differences=$(awk '
    NR == FNR { line[FNR] = $0; count = FNR; next }
    {
        split(line[FNR], l, " ")
        if (FNR > count || l[1] != $1 || l[2] != $2 || l[3] != $3 || l[4] != $4 || l[7] != $7 ||
            ($2 != "label" && (l[5] != $5 || l[6] != $6)))
            printf "line %d: linux \"%s\", windows \"%s\"\n", FNR, line[FNR], $0
        seen = FNR
    }
    END { if (seen != count) printf "linux has %d controls, windows %d\n", count, seen }
' "$linux" "$windows")
if [ -n "$differences" ]; then
    echo "the Windows editor's layout differs from the Linux one:"
    echo "$differences"
    exit 1
fi
echo "$(wc -l <"$windows") controls at the same places on Linux and Windows"
for shot in "$artefacts"/editor.bmp "$artefacts"/editor-*.bmp; do
    [ -f "$shot" ] || continue
    name=$(basename "$shot" .bmp)
    convert "$shot" -alpha off "$artefacts/${name%%-*}-windows${name#editor}.png" || exit 1
done
