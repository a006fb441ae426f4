#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: with-netns.sh [--devices N] [--device-macs] [--devsim PATH] [--timeout SECONDS] [--wine STATE]
#                      [--wine-devices STATE] [--] COMMAND [ARGS...]
# Runs COMMAND on the tool side (10.213.7.1/24) of a private namespace pair
# joined only by a veth to the device side (10.213.7.50..49+N), so sweeps and
# broadcasts never reach the machine's network, with BRELVO_NETNS=1 and the
# BRELVO_TOOL_ADDR/DEV_NS/DEV_ADDRS/DEVSIM it needs; without namespaces it runs
# here with only BRELVO_NETNS_SKIP="<reason>". Its exit code passes through.
# --device-macs gives each device address an interface of its own (a macvlan
# on the veth) with its own hardware address, 02:00 and the address's four
# bytes, listed in BRELVO_DEV_MACS; otherwise they all share the veth's.
# Namespaces the command adds, named "$BRELVO_NETNS_TAG<suffix>", go with the pair.
# --wine: a Wine prefix of the run's own (copied from STATE's template, see
# wine-run.sh) with its wineserver started on the tool side, handed over as
# BRELVO_WINE_PREFIX, so wine-run.sh runs Windows programs there.
# --wine-devices: the same on the device side, handed over as
# BRELVO_DEV_WINE_PREFIX (the Windows brelvo-devsim plays the devices).
set -u
devices="${DEVICES:-1}"
devsim="${BRELVO_DEVSIM:-}"
limit=0
macs=0
wine_state=""
dev_wine_state=""
while [ $# -gt 0 ]; do
    case "$1" in
        --devices) devices="${2:-}"; shift 2 ;;
        --devsim) devsim="${2:-}"; shift 2 ;;
        --device-macs) macs=1; shift ;;
        --timeout) limit="${2:-}"; shift 2 ;;
        --wine) wine_state="${2:-}"; shift 2 ;;
        --wine-devices) dev_wine_state="${2:-}"; shift 2 ;;
        --) shift; break ;;
        *) break ;;
    esac
done
usage() { echo "with-netns.sh: $1" >&2; exit 2; }
[ $# -gt 0 ] || usage "no command given"
[[ "$devices" =~ ^[0-9]+$ ]] && [ "$devices" -ge 1 ] && [ "$devices" -le 120 ] || usage "--devices wants a number from 1 to 120"
[[ "$limit" =~ ^[0-9]+$ ]] || usage "--timeout wants whole seconds"

skip() {
    local reason="$1"; shift
    echo "BRELVO_NETNS_SKIP: $reason" >&2
    exec env -u BRELVO_NETNS -u BRELVO_NETNS_TAG -u BRELVO_DEV_WINE_PREFIX -u BRELVO_TOOL_ADDR -u BRELVO_DEV_NS -u BRELVO_DEV_ADDRS -u BRELVO_DEV_MACS \
        BRELVO_NETNS_SKIP="$reason" "$@"
}
[ "$(id -u)" = 0 ] || skip "private network namespaces need root (running as uid $(id -u))" "$@"
command -v ip >/dev/null 2>&1 || skip "the 'ip' command (iproute2) is not installed" "$@"

drop_ns() {
    for p in $(ip netns pids "$1" 2>/dev/null); do kill -9 "$p" 2>/dev/null; done
    ip netns del "$1" 2>/dev/null
}
# A run killed outright (SIGKILL) cannot tear down; its pid is in the names.
for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E '^brv[0-9]+r[0-9a-f]{8}[a-z0-9]+$'); do
    owner="${ns#brv}"
    [ -d "/proc/${owner%%r*}" ] || drop_ns "$ns"
done

tag="brv$$r$(printf '%04x%04x' $RANDOM $RANDOM)"
tool_ns="${tag}tool" dev_ns="${tag}dev"
# Reports and settings of the run stay out of the caller's home.
home="$(mktemp -d "${TMPDIR:-/tmp}/brelvo-netns-home.XXXXXX")" || exit 1
teardown() {
    for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep "^$tag"); do drop_ns "$ns"; done
    rm -rf "$home"
}
trap teardown EXIT
trap 'teardown; trap - EXIT; exit 130' INT
trap 'teardown; trap - EXIT; exit 143' TERM HUP

setup() {
    ip netns add "$tool_ns" && ip netns add "$dev_ns" &&
    ip -n "$tool_ns" link add vt type veth peer name vd netns "$dev_ns" &&
    ip -n "$tool_ns" addr add 10.213.7.1/24 dev vt &&
    ip -n "$tool_ns" link set lo up && ip -n "$dev_ns" link set lo up &&
    ip -n "$tool_ns" link set vt up && ip -n "$dev_ns" link set vd up &&
    # Limited broadcast needs a route in a namespace without a default one.
    ip -n "$tool_ns" route add 255.255.255.255/32 dev vt &&
    ip -n "$dev_ns" route add 255.255.255.255/32 dev vd || return 1
    [ "$macs" = 1 ] && { own_macs; return; }
    for i in $(seq 50 $((49 + devices))); do
        ip -n "$dev_ns" addr add "10.213.7.$i/24" dev vd || return 1
    done
}
mac_of() { printf '02:00:0a:d5:07:%02x' "$1"; }
# Each address on its own interface, answering ARP only there and sending
# from there (a routing table per source address), so frames from and for a
# device carry its hardware address alone.
own_macs() {
    ip netns exec "$dev_ns" sysctl -qw net.ipv4.conf.all.arp_ignore=1 net.ipv4.conf.all.arp_announce=2 || return 1
    for i in $(seq 50 $((49 + devices))); do
        echo "link add mv$i link vd address $(mac_of "$i") type macvlan mode bridge"
        echo "addr add 10.213.7.$i/24 dev mv$i"
        echo "link set mv$i up"
        echo "rule add from 10.213.7.$i table $((1000 + i))"
        echo "route add 10.213.7.0/24 dev mv$i src 10.213.7.$i table $((1000 + i))"
    done | ip -n "$dev_ns" -batch -
}
if ! err="$(setup 2>&1)"; then
    trap - EXIT; teardown
    skip "cannot set up the namespace pair: ${err:-ip failed}" "$@"
fi
for _ in $(seq 1 50); do ip -n "$tool_ns" -o link show vt | grep -q LOWER_UP && break; sleep 0.02; done

addrs="$(seq -s ' ' -f '10.213.7.%g' 50 $((49 + devices)))"
if [ -n "$wine_state" ]; then
    # The wineserver lives on the tool side and is ended with it (drop_ns).
    if ! BRELVO_WINE_STATE="$wine_state" ip netns exec "$tool_ns" "$(dirname "$0")/wine-run.sh" --prefix "$home/wine"; then
        trap - EXIT; teardown
        skip "cannot start Wine on the tool side" "$@"
    fi
    export BRELVO_WINE_PREFIX="$home/wine"
fi
if [ -n "$dev_wine_state" ]; then
    if ! BRELVO_WINE_STATE="$dev_wine_state" ip netns exec "$dev_ns" "$(dirname "$0")/wine-run.sh" --prefix "$home/wine-dev"; then
        trap - EXIT; teardown
        skip "cannot start Wine on the device side" "$@"
    fi
    export BRELVO_DEV_WINE_PREFIX="$home/wine-dev"
fi
dev_macs=""
[ "$macs" = 0 ] || dev_macs="$(for i in $(seq 50 $((49 + devices))); do mac_of "$i"; echo; done | tr '\n' ' ')"
export XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
export BRELVO_NETNS=1 BRELVO_NETNS_TAG="$tag" BRELVO_TOOL_ADDR=10.213.7.1 BRELVO_DEV_NS="$dev_ns" \
    BRELVO_DEV_ADDRS="$addrs" BRELVO_DEVSIM="$devsim" BRELVO_DEV_MACS="${dev_macs% }"
unset BRELVO_NETNS_SKIP
[ "$limit" = 0 ] || set -- timeout -k 5 "$limit" "$@"
ip netns exec "$tool_ns" "$@" &
wait $!
rc=$?
[ "$rc" = 124 ] && [ "$limit" -gt 0 ] && echo "with-netns.sh: command timed out after ${limit}s" >&2
exit "$rc"
