#!/bin/sh
# Checks the namespace wrapper: the environment it promises, that the device
# addresses really answer from the other namespace, that broadcast has a
# route, that the exit code passes through and that nothing is left behind.
W="$1"
fail() { echo "FAIL: $*" >&2; exit 1; }

out="$("$W" --devices 3 -- /bin/sh -c '
    [ -n "$BRELVO_NETNS_SKIP" ] && { echo "SKIP $BRELVO_NETNS_SKIP"; exit 0; }
    echo "NS $BRELVO_DEV_NS"
    echo "ADDRS $BRELVO_DEV_ADDRS"
    echo "TOOL $BRELVO_TOOL_ADDR $BRELVO_NETNS"
    ip route show table local >/dev/null
    ip route | grep -q "^255.255.255.255 dev vt" && echo "BCAST tool"
    ip netns exec "$BRELVO_DEV_NS" ip route | grep -q "^255.255.255.255 dev vd" && echo "BCAST dev"
    for a in $BRELVO_DEV_ADDRS; do ping -c1 -W2 "$a" >/dev/null 2>&1 && echo "PING $a"; done
    ping -c1 -W1 10.213.7.53 >/dev/null 2>&1 && echo "PING extra"
    ip link | grep -c "state UP" | sed "s/^/UPLINKS /"
    exit 7')"
rc=$?
case "$out" in
    SKIP*) echo "BRELVO_NETNS_SKIP: ${out#SKIP }"; exit 0 ;;
esac
[ "$rc" = 7 ] || fail "exit code not passed through (got $rc): $out"
echo "$out" | grep -qx "ADDRS 10.213.7.50 10.213.7.51 10.213.7.52" || fail "device addresses: $out"
echo "$out" | grep -qx "TOOL 10.213.7.1 1" || fail "tool address: $out"
echo "$out" | grep -qx "BCAST tool" || fail "no broadcast route on the tool side"
echo "$out" | grep -qx "BCAST dev" || fail "no broadcast route on the device side"
for a in 10.213.7.50 10.213.7.51 10.213.7.52; do
    echo "$out" | grep -qx "PING $a" || fail "$a does not answer"
done
echo "$out" | grep -q "PING extra" && fail "an address beyond DEVICES answers"
ns="$(echo "$out" | sed -n 's/^NS //p')"
[ -n "$ns" ] || fail "no device namespace name"
ip netns list | grep -q "^${ns%dev}" && fail "namespaces left behind: $(ip netns list)"

# A command killed by the wrapper's own time limit still gets a teardown.
out="$("$W" --timeout 1 -- /bin/sh -c 'echo "NS $BRELVO_DEV_NS"; exec sleep 30')"
rc=$?
[ "$rc" = 124 ] || fail "time limit: expected 124, got $rc"
ns="$(echo "$out" | sed -n 's/^NS //p')"
ip netns list | grep -q "^${ns%dev}" && fail "namespaces left behind after a time-out"

# A background process left in the namespace does not keep it alive.
out="$("$W" -- /bin/sh -c 'echo "NS $BRELVO_DEV_NS"; ip netns exec "$BRELVO_DEV_NS" sleep 60 >/dev/null 2>&1 & exit 0')"
ns="$(echo "$out" | sed -n 's/^NS //p')"
ip netns list | grep -q "^${ns%dev}" && fail "namespaces left behind by a stray process"

# Without the rights to make namespaces the command runs with a reason.
if command -v setpriv >/dev/null 2>&1; then
    out="$(setpriv --reuid=65534 --regid=65534 --clear-groups "$W" -- /bin/sh -c 'echo "R=$BRELVO_NETNS_SKIP N=${BRELVO_NETNS:-}"' 2>/dev/null)"
    case "$out" in
        "R=private network namespaces need root"*" N=") ;;
        *) fail "skip path: $out" ;;
    esac
fi
"$W" --devices 0 -- true 2>/dev/null && fail "--devices 0 accepted"
"$W" --devices 121 -- true 2>/dev/null && fail "--devices 121 accepted"
echo "with-netns.sh: all checks passed"
exit 0
