#!/usr/bin/env bash
# Runs a command inside a private pair of network namespaces joined only to
# each other by a veth, so that sweeps, broadcasts and job traffic never reach
# the machine's own network.
#
#   tool side:   10.213.7.1/24            (the command runs here)
#   device side: 10.213.7.50 .. 10.213.7.(49+DEVICES)
#
# Usage: with-netns.sh [--devices N] [--devsim PATH] [--timeout SECONDS] [--] COMMAND [ARGS...]
#   DEVICES, BRELVO_DEVSIM and BRELVO_NETNS_TIMEOUT in the environment give the defaults.
#
# The command sees BRELVO_NETNS=1, BRELVO_TOOL_ADDR, BRELVO_DEV_NS (for
# `ip netns exec`), BRELVO_DEV_ADDRS (space separated) and BRELVO_DEVSIM.
# When the namespaces cannot be made the command still runs, in the current
# namespace, with only BRELVO_NETNS_SKIP="<reason>" set, and must skip.
# The command's exit code is passed through; everything is torn down on exit.

set -u

devices="${DEVICES:-1}"
devsim="${BRELVO_DEVSIM:-}"
limit="${BRELVO_NETNS_TIMEOUT:-0}"

while [ $# -gt 0 ]; do
    case "$1" in
        --devices) devices="${2:-}"; shift 2 ;;
        --devices=*) devices="${1#*=}"; shift ;;
        --devsim) devsim="${2:-}"; shift 2 ;;
        --devsim=*) devsim="${1#*=}"; shift ;;
        --timeout) limit="${2:-}"; shift 2 ;;
        --timeout=*) limit="${1#*=}"; shift ;;
        -h|--help)
            sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'
            exit 0 ;;
        --) shift; break ;;
        *) break ;;
    esac
done

if [ $# -eq 0 ]; then
    echo "with-netns.sh: no command given (try --help)" >&2
    exit 2
fi
case "$devices" in
    ''|*[!0-9]*) echo "with-netns.sh: --devices wants a number from 1 to 120, not '$devices'" >&2; exit 2 ;;
esac
if [ "$devices" -lt 1 ] || [ "$devices" -gt 120 ]; then
    echo "with-netns.sh: --devices wants a number from 1 to 120, not '$devices'" >&2
    exit 2
fi
case "$limit" in
    ''|*[!0-9]*) echo "with-netns.sh: --timeout wants whole seconds, not '$limit'" >&2; exit 2 ;;
esac


skip() {
    local reason="$1"; shift
    echo "BRELVO_NETNS_SKIP: $reason" >&2
    exec env -u BRELVO_NETNS -u BRELVO_TOOL_ADDR -u BRELVO_DEV_NS -u BRELVO_DEV_ADDRS \
        BRELVO_NETNS_SKIP="$reason" "$@"
}

if [ "$(id -u)" != 0 ]; then
    skip "private network namespaces need root (running as uid $(id -u))" "$@"
fi
if ! command -v ip >/dev/null 2>&1; then
    skip "the 'ip' command (iproute2) is not installed" "$@"
fi

# Namespaces left behind by an earlier run that was killed outright (SIGKILL
# gives no chance to tear down): the creator's pid is part of the name.
for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E '^brv[0-9]+r[0-9a-f]+(tool|dev)$'); do
    owner="${ns#brv}"; owner="${owner%%r*}"
    if [ ! -d "/proc/$owner" ]; then
        for p in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$p" 2>/dev/null; done
        ip netns del "$ns" 2>/dev/null
    fi
done

tag="brv$$r$(printf '%04x%04x' $RANDOM $RANDOM)"
tool_ns="${tag}tool"
dev_ns="${tag}dev"
child=""

teardown() {
    local ns p
    for ns in "$tool_ns" "$dev_ns"; do
        if [ -e "/var/run/netns/$ns" ] || [ -e "/run/netns/$ns" ]; then
            for p in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$p" 2>/dev/null; done
            ip netns del "$ns" 2>/dev/null
        fi
    done
}
trap teardown EXIT
trap 'teardown; trap - EXIT; exit 130' INT
trap 'teardown; trap - EXIT; exit 143' TERM HUP

err="$(ip netns add "$tool_ns" 2>&1)" || {
    trap - EXIT; teardown
    skip "cannot create a network namespace: ${err:-ip netns add failed}" "$@"
}
if ! err="$( {
        ip netns add "$dev_ns" &&
        ip -n "$tool_ns" link add vt type veth peer name vd netns "$dev_ns" &&
        ip -n "$tool_ns" addr add 10.213.7.1/24 dev vt &&
        ip -n "$tool_ns" link set lo up &&
        ip -n "$dev_ns" link set lo up &&
        ip -n "$tool_ns" link set vt up &&
        ip -n "$dev_ns" link set vd up &&
        ip -n "$tool_ns" route add 255.255.255.255/32 dev vt &&
        ip -n "$dev_ns" route add 255.255.255.255/32 dev vd
    } 2>&1 )"; then
    trap - EXIT; teardown
    skip "cannot set up the namespace pair: ${err:-ip failed}" "$@"
fi

addrs=""
i=0
while [ "$i" -lt "$devices" ]; do
    a="10.213.7.$((50 + i))"
    if ! err="$(ip -n "$dev_ns" addr add "$a/24" dev vd 2>&1)"; then
        trap - EXIT; teardown
        skip "cannot add device address $a: $err" "$@"
    fi
    addrs="${addrs:+$addrs }$a"
    i=$((i + 1))
done

# Unprivileged ICMP sockets are closed in a new namespace; open them in ours
# only, so a non-root fallback can be exercised. Failure is harmless.
for ns in "$tool_ns" "$dev_ns"; do
    ip netns exec "$ns" sysctl -q -w net.ipv4.ping_group_range="0 2147483647" >/dev/null 2>&1 || true
done

# The kernel takes a moment to declare the veth up; wait for it (bounded).
for _ in $(seq 1 50); do
    if ip -n "$tool_ns" -o link show vt 2>/dev/null | grep -q 'LOWER_UP'; then break; fi
    sleep 0.02
done

export BRELVO_NETNS=1
export BRELVO_TOOL_ADDR=10.213.7.1
export BRELVO_DEV_NS="$dev_ns"
export BRELVO_DEV_ADDRS="$addrs"
export BRELVO_DEVSIM="$devsim"
unset BRELVO_NETNS_SKIP

if [ "$limit" -gt 0 ] && command -v timeout >/dev/null 2>&1; then
    ip netns exec "$tool_ns" timeout -k 5 "$limit" "$@" &
else
    ip netns exec "$tool_ns" "$@" &
fi
child=$!
wait "$child"
rc=$?
if [ "$rc" = 124 ] && [ "$limit" -gt 0 ]; then
    echo "with-netns.sh: command timed out after ${limit}s" >&2
fi
exit "$rc"
