#!/bin/sh
# Checks a Windows DLL's format, its export table (exactly the names given), its import table
# (system DLLs only: nothing of the compiler's run-times), and that it ships lean: under 1 MiB,
# no debug information inside, the symbols in DLL.debug beside it.
# usage: check_pe.sh OBJDUMP DLL FORMAT EXPORT...
objdump=$1 dll=$2 format=$3
shift 3
dump=$("$objdump" -p "$dll") || exit 1
"$objdump" -f "$dll" | grep -q "file format $format\$" || {
    echo "$dll is not $format"
    exit 1
}
exports=$(printf '%s\n' "$dump" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort | tr '\n' ' ')
expected=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
if [ "$exports" != "$expected" ]; then
    echo "exports of $dll: '$exports', expected '$expected'"
    exit 1
fi
system="kernel32.dll msvcrt.dll user32.dll gdi32.dll advapi32.dll comctl32.dll ole32.dll oleaut32.dll shell32.dll uxtheme.dll"
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' | tr 'A-Z' 'a-z' | sort -u)
for name in $imports; do
    case " $system " in
    *" $name "*) ;;
    *)
        echo "$dll imports $name, which is not a system library"
        exit 1
        ;;
    esac
done
if "$objdump" -h "$dll" | grep -q ' \.debug_'; then
    echo "$dll carries debug information"
    exit 1
fi
size=$(wc -c <"$dll")
if [ "$size" -ge 1048576 ]; then
    echo "$dll is $size bytes, not under 1 MiB"
    exit 1
fi
"$objdump" -h "$dll.debug" | grep -q ' \.debug_info' || {
    echo "$dll.debug holds no symbols for crash reports"
    exit 1
}
echo "$dll: $format, $size bytes, exports $exports; imports" $imports
