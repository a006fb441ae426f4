#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# brelvo-cli check on the tool side of a namespace pair made by with-netns.sh:
# every prepared problem is found with the right severity and exit code, and
# nothing else is reported; a clean set-up gets no warning, and the check
# sends no packet.  Usage: check-scenarios.sh BRELVO_CLI
set -u
cli="$1"
if [ -n "${BRELVO_NETNS_SKIP:-}" ] || [ "${BRELVO_NETNS:-}" != 1 ] || [ -z "${BRELVO_DEVSIM:-}" ]; then
    echo "BRELVO_NETNS_SKIP: ${BRELVO_NETNS_SKIP:-not inside tests/support/with-netns.sh, or no brelvo-devsim}"
    exit 0
fi
addr="$BRELVO_TOOL_ADDR" devns="$BRELVO_DEV_NS"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

# User nobody runs a copy: the build tree may sit under a private home.
work=$(mktemp -d "${TMPDIR:-/tmp}/brelvo-cli-check.XXXXXX")
hold_pid=
cleanup() { [ -z "$hold_pid" ] || kill "$hold_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
chmod 755 "$work"
cp "$cli" "$work/brelvo-cli" && chmod 755 "$work/brelvo-cli"

# 4096 bytes of 0x01: 1024 words of 0x01010101 sum to 0x04040400.
firmware() { # DIR CHECKSUM
    mkdir -p "$1"
    head -c 4096 /dev/zero | tr '\0' '\001' >"$1/kvx_DEMOCAM_V2.bin"
    printf 'product=DEMOCAM\nchecksum=%s\n' "$2" >"$1/kvx_DEMOCAM_V2-ver.bin"
}
firmware "$work/fw" 0x04040400
firmware "$work/fw-bad" 0x04040401
head -c 65536 /dev/zero >"$work/config.bin"
head -c 1000 /dev/zero >"$work/short.bin"
chmod -R a+rX "$work"

# expect NAME EXIT "IDS OF EVERY WARNING AND FAILURE" COMMAND...
expect() {
    local name="$1" want_rc="$2" want_ids="$3"
    shift 3
    out=$("$@" 2>&1)
    local rc=$?
    local ids
    ids=$(printf '%s\n' "$out" | sed -n 's/^\(FAIL\|WARN\)  .*  \[\([a-z-]*\)\]$/\2/p' | sort -u | tr '\n' ' ')
    [ "$rc" = "$want_rc" ] || fail "$name: exit $rc, not $want_rc"
    [ "${ids% }" = "$want_ids" ] || fail "$name: reported '${ids% }', not '$want_ids'"
    [ "$rc" = "$want_rc" ] && [ "${ids% }" = "$want_ids" ] || printf '%s\n' "$out" | sed 's/^/    /'
}
has() { printf '%s\n' "$out" | grep -qF -- "$2" || fail "$1: no line with '$2'"; }
check() { "$work/brelvo-cli" check --address "$addr" --firmware "$work/fw" "$@"; }

# Quiet card: without IPv6 nothing else sends, so any packet would be the check's.
sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 2>/dev/null
packets() { cat /sys/class/net/vt/statistics/tx_packets /sys/class/net/lo/statistics/tx_packets | tr '\n' ' '; }
before=$(packets)
expect clean 0 "" check
has clean "ok    $addr is on vt (up, carrier, /24)  [interface-ok]"
has clean "DEMOCAM: kvx_DEMOCAM_V2.bin wins"
has clean "(4096 bytes, 4 blocks, checksum 0x04040400)"
expect "clean, configuration" 0 "" check --config "$work/config.bin"
expect "clean, JSON" 0 "" check --json
has "clean, JSON" '{"program":"brelvo-cli","version":"2.0.0","findings":['
has "clean, JSON" '],"summary":{"failures":0,"warnings":0,"info":'
[ "$(packets)" = "$before" ] || fail "the check sent packets: before $before, after $(packets)"

"$BRELVO_DEVSIM" --hold-port 3281 >"$work/holder.out" 2>&1 &
hold_pid=$!
for _ in $(seq 100); do grep -q "holding udp 3281" "$work/holder.out" 2>/dev/null && break; sleep 0.02; done
expect "port held" 2 "port-in-use" check
has "port held" "UDP port 3281 is held by pid $hold_pid ($(cat /proc/$hold_pid/comm))"
has "port held" "fix: end the other program (kill $hold_pid)"
kill "$hold_pid"; wait "$hold_pid" 2>/dev/null; hold_pid=

ip link add vx type veth peer name vy && ip addr add 10.213.7.99/24 dev vx && ip link set vx up && ip link set vy up
expect "second card in the /24" 1 "subnet-shared" check
has "second card in the /24" "interface vx also has an address in 10.213.7.0/24 (10.213.7.99/24)"
ip addr flush dev vx && ip addr add 10.99.0.1/24 dev vx && ip route add default via 10.99.0.254 dev vx
expect "default route elsewhere" 1 "default-route-elsewhere" check
has "default route elsewhere" "the default route goes through vx (gateway 10.99.0.254), not vt"
ip link del vx

ip -n "$devns" link set vd down
for _ in $(seq 50); do ip -o link show vt | grep -q NO-CARRIER && break; sleep 0.02; done
expect "no carrier" 1 "interface-no-carrier" check
ip link set vt down
expect "card switched off" 2 "interface-down" check
ip link set vt up && ip -n "$devns" link set vd up
ip route replace 255.255.255.255/32 dev vt

expect "address elsewhere" 2 "address-not-local" "$work/brelvo-cli" check -a 10.213.7.77 -f "$work/fw"
has "address elsewhere" "fix: choose one of: $addr (vt)"

nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$work/brelvo-cli" check -a "$addr" -f "$work/fw"; }
sysctl -qw net.ipv4.ping_group_range="1 0"
expect "no ICMP rights" 2 "icmp-none" nobody
has "no ICMP rights" 'sudo setcap cap_net_raw+ep $(command -v brelvo-cli)'
has "no ICMP rights" 'sudo sysctl -w net.ipv4.ping_group_range="0 2147483647"'
# As the service runs it: an unprivileged user with CAP_NET_RAW as an ambient capability.
service() {
    setpriv --reuid=65534 --regid=65534 --clear-groups --no-new-privs --inh-caps=+net_raw --ambient-caps=+net_raw \
        "$work/brelvo-cli" check -a "$addr" -f "$work/fw"
}
expect "ambient capability" 0 "" service
has "ambient capability" "the address sweep can use a raw ICMP socket (cap_net_raw)"
sysctl -qw net.ipv4.ping_group_range="0 2147483647"
expect "ping group open" 0 "" nobody
has "ping group open" "unprivileged ICMP socket (group 65534 in ping_group_range 0 2147483647)"
sysctl -qw net.ipv4.ping_group_range="1 0"

fwbad() { "$work/brelvo-cli" check -a "$addr" -f "$work/fw-bad" "$@"; }
expect "checksum off" 1 "firmware-checksum-mismatch" fwbad
has "checksum off" "WARN  DEMOCAM: image $work/fw-bad/kvx_DEMOCAM_V2.bin sums to 0x04040400, but its version file says 0x04040401"
expect "checksum off, configuration" 2 "firmware-checksum-mismatch" fwbad --config "$work/config.bin"
has "checksum off, configuration" 'with a configuration file the job fails "Open Failed!"'
expect "short configuration" 2 "config-too-short" check --config "$work/short.bin"
expect "missing configuration" 2 "config-missing" check --config "$work/none.bin"
expect "missing folder" 2 "firmware-folder-missing" "$work/brelvo-cli" check -a "$addr" -f "$work/none"

# serve checks first: a failure, or a report it cannot write, refuses the settings.
expect "serve, address elsewhere" 2 "address-not-local" "$work/brelvo-cli" serve -a 10.213.7.77 -f "$work/fw"
has "serve, address elsewhere" "brelvo-cli: serve: refusing to start"
expect "serve, report unwritable" 2 "" "$work/brelvo-cli" serve -a "$addr" -f "$work/fw" --report "$work/none/r.log"
has "serve, report unwritable" "brelvo-cli: serve: --report '$work/none/r.log' cannot be written: No such file or directory"

[ "$fails" = 0 ] || { echo "$fails check(s) failed"; exit 1; }
echo "check scenarios: all passed"
