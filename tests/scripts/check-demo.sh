#!/usr/bin/env bash
# The demo without a window: its namespaces come up, its sample firmware is
# right, its devices run, and nothing is left behind — after a normal end and
# after Ctrl-C or a kill by TERM.
#
# Usage: check-demo.sh DEMO_SCRIPT BUILD_DIR
# Exits 77 (skipped) when it cannot run: not root, no namespaces, no simulator.
set -u
set -m   # background jobs keep the default SIGINT handling, as in a terminal

demo="$1" build="$2"
devsim="$build/tools/devsim/brelvo-devsim"

if [ "$(id -u)" != 0 ]; then
    echo "SKIP: the demo makes network namespaces, which needs root (running as uid $(id -u))"
    exit 77
fi
if ! command -v ip >/dev/null 2>&1; then
    echo "SKIP: the 'ip' command (iproute2) is not installed"
    exit 77
fi
if [ ! -x "$devsim" ]; then
    echo "SKIP: brelvo-devsim is not part of this build ($devsim)"
    exit 77
fi
probe="brvdemoprobe$$"
if ! ip netns add "$probe" 2>/dev/null; then
    echo "SKIP: cannot create a network namespace here"
    exit 77
fi
ip netns del "$probe"

fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
ok() { echo "ok: $*"; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/brelvo-demo-test.XXXXXX")
cleanup() {
    # Only what this test started: the demo's own pid and its namespaces.
    [ -n "${bg:-}" ] && kill -9 "$bg" 2>/dev/null
    for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E "^brvdemo(${pids_seen:-none})(tool|dev)$"); do
        for p in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$p" 2>/dev/null; done
        ip netns del "$ns" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap cleanup EXIT
pids_seen=""

demo_namespaces() {   # the namespaces that a demo with this pid would own
    ip netns list 2>/dev/null | awk '{print $1}' | grep -E "^brvdemo$1(tool|dev)$" | sort
}

# --- bad arguments are refused before anything is made ----------------------
for args in "--devices 0" "--devices x" "--devices 101" "--slow -1" "--hold" "--bogus"; do
    # shellcheck disable=SC2086
    if out=$(bash "$demo" $args --build-dir "$build" 2>&1); then
        fail "demo accepted '$args': $out"
    fi
done
ok "bad arguments refused"

# --- a full run without a window ----------------------------------------------
fw="$tmp/fw"
t0=$(date +%s.%N)
bash "$demo" --no-window --devices 2 --build-dir "$build" --firmware-dir "$fw" >"$tmp/run.out" 2>&1 &
bg=$!
pids_seen="$bg"
wait "$bg"
rc=$?
bg=""
t1=$(date +%s.%N)
cat "$tmp/run.out"
echo "demo --no-window took $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }')s"
[ "$rc" = 0 ] || fail "demo --no-window exited $rc"
grep -q "namespaces brvdemo${pids_seen}tool (tool, 10.213.8.1) and brvdemo${pids_seen}dev" "$tmp/run.out" \
    || fail "the demo did not report its namespaces"
grep -q "link checked" "$tmp/run.out" || fail "the link between the namespaces was not checked"
# 2 good devices + 4 others; each devsim process reports its devices.
for label in democam bullet4 writefail mismatch nomatch; do
    grep -q "^demo: \[$label\] " "$tmp/run.out" || fail "no report from the $label devices"
done
[ -z "$(demo_namespaces "$pids_seen")" ] || fail "namespaces left behind: $(demo_namespaces "$pids_seen")"
[ -z "$(ip -o link show 2>/dev/null | grep -E ' (vt|vd)[@:]')" ] || fail "a veth end was left in the machine's namespace"
ok "no-window run, namespaces removed"

# --- the sample firmware ------------------------------------------------------
# Recomputed here independently: the sum of the image's 32-bit little-endian
# words modulo 2^32, against the version file's checksum line.
before=$fails
sum32() { perl -e 'local $/; my $d = <STDIN>; my $s = 0; $s = ($s + $_) % 4294967296 for unpack("V*", $d); print $s' <"$1"; }
for entry in kvx_DEMOCAM_V2:DEMOCAM kvx_BULLET4_V1:BULLET4 kvx_BADMODL_V1:BADMOD2; do
    name="${entry%%:*}" product="${entry#*:}"
    image="$fw/$name.bin" version="$fw/$name-ver.bin"
    if [ ! -s "$image" ] || [ ! -f "$version" ]; then
        fail "$name: image or version file missing"
        continue
    fi
    size=$(stat -c %s "$image")
    [ $((size % 1024)) = 0 ] || fail "$name: image of $size bytes is not whole blocks"
    want=$(sum32 "$image")
    got=$(tr -d '\r' <"$version" | sed -n 's/^checksum=//p')
    [ "$got" = "$want" ] || fail "$name: checksum line '$got', image sums to $want"
    line=$(tr -d '\r' <"$version" | sed -n 's/^product=//p')
    [ "$line" = "$product" ] || fail "$name: product line '$line', wanted '$product'"
done
[ "$fails" = "$before" ] && ok "sample firmware: checksums and product lines"

# --- Ctrl-C and TERM while holding --------------------------------------------
for sig in INT TERM; do
    bash "$demo" --no-window --hold --devices 1 --build-dir "$build" >"$tmp/hold-$sig.out" 2>&1 &
    bg=$!
    pids_seen="$pids_seen|$bg"
    up=0
    for _ in $(seq 1 100); do
        grep -q "holding" "$tmp/hold-$sig.out" && { up=1; break; }
        sleep 0.1
    done
    if [ "$up" = 0 ]; then
        cat "$tmp/hold-$sig.out"
        fail "held demo did not come up"
        kill -9 "$bg" 2>/dev/null
        bg=""
        continue
    fi
    [ "$(demo_namespaces "$bg" | wc -l)" = 2 ] || fail "held demo does not own two namespaces"
    kill -s "$sig" "$bg"
    gone=0
    for _ in $(seq 1 100); do
        kill -0 "$bg" 2>/dev/null || { gone=1; break; }
        sleep 0.1
    done
    [ "$gone" = 1 ] || fail "demo did not end within 10 s of SIG$sig"
    wait "$bg" 2>/dev/null
    [ -z "$(demo_namespaces "$bg")" ] || fail "SIG$sig left namespaces behind: $(demo_namespaces "$bg")"
    grep -q "namespaces and temporary files removed" "$tmp/hold-$sig.out" || fail "SIG$sig: no teardown reported"
    bg=""
    ok "SIG$sig while holding: everything removed"
done

if [ "$fails" -gt 0 ]; then
    echo "$fails check(s) failed"
    exit 1
fi
echo "all checks passed"
