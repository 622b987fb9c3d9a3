#!/bin/sh
# Checks that each Linux plug-in library needs at run time only what every current x86_64 Linux
# system has (the C library and its loader, libm, libgcc_s, Xlib, cairo) and glibc's symbols
# up to 2.34 (Debian 12, Ubuntu 22.04 and Fedora 35 have them); prints what each needs.
# usage: check_needed.sh LIBRARY...
allowed=" libc.so.6 ld-linux-x86-64.so.2 libm.so.6 libgcc_s.so.1 libX11.so.6 libcairo.so.2 "
newest_allowed=2.34
status=0
for library in "$@"; do
    needed=$(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | tr '\n' ' ')
    glibc=$(objdump -T "$library" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -u -V |
        tail -n 1)
    echo "$(basename "$library") needs $needed(glibc $glibc)"
    [ -n "$needed" ] || { echo "$library: no libraries read"; status=1; }
    for name in $needed; do
        case "$allowed" in
        *" $name "*) ;;
        *) echo "$library needs $name, which not every Linux system has"; status=1 ;;
        esac
    done
    if [ "$(printf '%s\n%s\n' "$glibc" "$newest_allowed" | sort -V | tail -n 1)" != "$newest_allowed" ]; then
        echo "$library needs glibc $glibc, newer than $newest_allowed"
        status=1
    fi
done
exit $status
