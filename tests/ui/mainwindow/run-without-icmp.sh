#!/bin/sh
# SPDX-License-Identifier: MIT
# Usage: run-without-icmp.sh PROGRAM [ARGS...]
# Runs PROGRAM with BRELVO_NO_ICMP=1 where the address sweep may not ping:
# as the unprivileged user nobody, without capabilities, in a private network
# namespace of its own (loopback only) whose net.ipv4.ping_group_range admits
# no group. Neither a raw nor a datagram ICMP socket can be opened there, and
# nothing it might send leaves the namespace. PROGRAM is copied to a folder
# nobody can read, since the build tree may not be. Without root it runs
# PROGRAM here with BRELVO_NETNS_SKIP="<reason>" only. The exit code passes
# through.
set -u
[ $# -gt 0 ] || { echo "run-without-icmp.sh: no program given" >&2; exit 2; }
skip() {
    echo "BRELVO_NETNS_SKIP: $1" >&2
    BRELVO_NETNS_SKIP="$1" exec "$@"
}
[ "$(id -u)" = 0 ] || skip "a private namespace and another user need root (running as uid $(id -u))" "$@"
for c in unshare setpriv ip; do
    command -v "$c" >/dev/null 2>&1 || skip "'$c' is not installed" "$@"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/brelvo-no-icmp.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP
chmod 755 "$work"
cp "$1" "$work/" || exit 1
program="$work/$(basename "$1")"
shift
# nobody's home, temporary and runtime folder.
mkdir -m 700 "$work/home" && chown 65534:65534 "$work/home" || exit 1

# Root sets the namespace up, then becomes nobody for the program itself.
unshare --net -- sh -c '
    ip link set lo up || exit 1
    echo "1 0" >/proc/sys/net/ipv4/ping_group_range || exit 1
    cd "$1" && shift
    exec setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all \
        env HOME="$PWD" TMPDIR="$PWD" XDG_RUNTIME_DIR="$PWD" BRELVO_NO_ICMP=1 "$@"
' sh "$work/home" "$program" "$@"
