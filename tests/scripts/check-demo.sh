#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# scripts/demo without a display: its namespaces come up, the devices run,
# and nothing is left behind after a normal end or Ctrl-C while holding.
# Usage: check-demo.sh DEMO_SCRIPT BUILD_DIR   (77 = skipped)
set -u
set -m   # background jobs keep the default SIGINT handling, as in a terminal
demo="$1" build="$2"
[ "$(id -u)" = 0 ] || { echo "SKIP: the demo makes network namespaces, which needs root (uid $(id -u))"; exit 77; }
[ -x "$build/tools/devsim/brelvo-devsim" ] || { echo "SKIP: brelvo-devsim is not part of this build"; exit 77; }
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/brelvo-demo-test.XXXXXX")
owned() { ip netns list | awk '{print $1}' | grep -E "^brvdemo$1(tool|dev)$"; }
cleanup() {   # only what this test started
    [ -n "${bg:-}" ] && kill -9 "$bg" 2>/dev/null
    for ns in $(owned "(${seen:-none})"); do
        for p in $(ip netns pids "$ns"); do kill -9 "$p"; done
        ip netns del "$ns"
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

bash "$demo" --no-window --devices 2 --build-dir "$build" >"$tmp/run" 2>&1 &
bg=$! seen=$!
wait "$bg"; rc=$?
cat "$tmp/run"
[ "$rc" = 0 ] || fail "demo --no-window exited $rc"
grep -q "namespaces brvdemo${bg}tool (tool, 10.213.8.1) and brvdemo${bg}dev" "$tmp/run" && grep -q "link checked" "$tmp/run" \
    || fail "the namespaces were not set up and checked"
[ -z "$(owned "$bg")" ] || fail "namespaces left behind: $(owned "$bg")"
! ip -o link show | grep -qE ' (vt|vd)[@:]' || fail "a veth end was left in the machine's namespace"

bash "$demo" --no-window --hold --devices 1 --build-dir "$build" >"$tmp/hold" 2>&1 &
bg=$! seen="$seen|$!"
for _ in $(seq 100); do grep -q holding "$tmp/hold" && break; sleep 0.1; done
[ "$(owned "$bg" | wc -l)" = 2 ] || fail "held demo does not own two namespaces: $(cat "$tmp/hold")"
kill -INT "$bg"
for _ in $(seq 100); do kill -0 "$bg" 2>/dev/null || break; sleep 0.1; done
kill -0 "$bg" 2>/dev/null && fail "demo still running 10 s after Ctrl-C"
[ -z "$(owned "$bg")" ] || fail "Ctrl-C left namespaces behind: $(owned "$bg")"
[ "$fails" = 0 ] || { echo "$fails check(s) failed"; exit 1; }
echo "all checks passed"
