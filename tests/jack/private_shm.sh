# Sourced first by every test that starts a JACK server. JACK keeps its servers in a registry in
# /dev/shm with room for eight, and servers that were killed keep their places: where it can (as
# root), the test runs again in a /dev/shm of its own, so that neither other servers nor this
# one's leftovers stand in the way.
if [ -z "${MORVO_JACK_PRIVATE_SHM:-}" ] && [ "$(id -u)" -eq 0 ] &&
    unshare --mount --propagation private true 2>/dev/null; then
    shell=sh
    [ -n "${BASH_VERSION:-}" ] && shell=bash
    exec env MORVO_JACK_PRIVATE_SHM=1 unshare --mount --propagation private sh -c \
        'mount -t tmpfs tmpfs /dev/shm && shell=$1 && shift && exec "$shell" "$0" "$@"' \
        "$0" "$shell" "$@"
fi
