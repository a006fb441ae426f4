#!/bin/sh
# SPDX-License-Identifier: MIT
# The namespace wrapper: device addresses answer and no others, broadcast has
# a route, the exit code passes through, nothing is left behind, and without
# rights the command runs with a reason.
W="$1"
fail() { echo "FAIL: $*" >&2; exit 1; }

out="$("$W" --devices 3 -- /bin/sh -c '
    [ -n "$BRELVO_NETNS_SKIP" ] && { echo "SKIP $BRELVO_NETNS_SKIP"; exit 0; }
    echo "ENV $BRELVO_DEV_NS $BRELVO_TOOL_ADDR $BRELVO_DEV_ADDRS"
    ip route | grep -q "^255.255.255.255 dev vt" &&
        ip netns exec "$BRELVO_DEV_NS" ip route | grep -q "^255.255.255.255 dev vd" && echo BCAST
    for a in $BRELVO_DEV_ADDRS 10.213.7.53; do ping -c1 -W1 "$a" >/dev/null 2>&1 && echo "PING $a"; done
    exit 7')"
rc=$?
case "$out" in SKIP*) echo "BRELVO_NETNS_SKIP: ${out#SKIP }"; exit 0 ;; esac
[ "$rc" = 7 ] || fail "exit code not passed through (got $rc): $out"
[ "$(echo "$out" | sed -n 's/^PING //p' | tr '\n' ' ')" = "10.213.7.50 10.213.7.51 10.213.7.52 " ] || fail "answering addresses: $out"
echo "$out" | grep -qx "ENV brv[0-9a-fr]*dev 10.213.7.1 10.213.7.50 10.213.7.51 10.213.7.52" || fail "environment: $out"
echo "$out" | grep -qx BCAST || fail "no broadcast route on both sides"
ns="$(echo "$out" | sed -n 's/^ENV \([^ ]*\)dev .*/\1/p')"
! ip netns list | grep -q "^$ns" || fail "namespaces left behind: $(ip netns list)"

# Each device its own hardware address: the tool's neighbours learn them whether
# the tool asks (.50) or the device sends first (.51, from its own interface).
out="$("$W" --devices 2 --device-macs -- /bin/sh -c '
    echo "MACS $BRELVO_DEV_MACS"
    ping -c1 -W1 10.213.7.50 >/dev/null 2>&1
    ip netns exec "$BRELVO_DEV_NS" ping -c1 -W1 -I 10.213.7.51 10.213.7.1 >/dev/null 2>&1
    ip netns exec "$BRELVO_DEV_NS" ip route get 10.213.7.1 from 10.213.7.51 | grep -o "dev mv51"
    awk "NR > 1 && \$3 != \"0x0\" { print \$1, \$4 }" /proc/net/arp | sort')"
[ "$out" = "MACS 02:00:0a:d5:07:32 02:00:0a:d5:07:33
dev mv51
10.213.7.50 02:00:0a:d5:07:32
10.213.7.51 02:00:0a:d5:07:33" ] || fail "--device-macs: $out"

# The skip path, as user nobody. The checkout may sit in a home nobody cannot
# enter (/root is mode 700): nobody runs a copy from a folder of its own.
if command -v setpriv >/dev/null; then
    copy="$(mktemp -d "${TMPDIR:-/tmp}/brelvo-netns-check.XXXXXX")" || fail "cannot make a folder for the copy"
    trap 'rm -rf "$copy"' EXIT
    cp "$W" "$copy/with-netns.sh" && chmod 755 "$copy" "$copy/with-netns.sh" || fail "cannot copy $W to $copy"
    out="$(setpriv --reuid=65534 --regid=65534 --clear-groups "$copy/with-netns.sh" -- \
        /bin/sh -c 'echo "R=$BRELVO_NETNS_SKIP N=${BRELVO_NETNS:-}"' 2>&1)"
    echo "$out" | grep -q "^R=private network namespaces need root.* N=$" || fail "skip path as nobody: $out"
fi
echo "with-netns.sh: all checks passed"
