#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Serves the same batches of simulated devices with an earlier engine and
# with this checkout's, in one run, and prints their figures side by side:
# the tool's CPU per block sent, every device's block phase against one
# device's, the wire gaps between one device's blocks (captured in the
# device namespace), the burst of requests against a big firmware folder,
# and the memory, threads and descriptors of 100 jobs on one image.
#
# Usage (as root; it makes its own namespace pairs):
#   bench/compare-engines.sh [--baseline REV] [--build DIR] [--quick]
#
#   --baseline REV  the earlier engine (default: the commit before this
#                   engine's rewrite, 88e8a07)
#   --build DIR     this checkout's build (default: build); it must hold
#                   bench/brelvo-bench-serve and tools/devsim/brelvo-devsim
#   --quick         smaller batches (for a first look, not for figures)
#
# The baseline is built once into build-baseline-REV/ beside DIR. Both
# engines are driven by the same bench/ServeBench.cpp and the same device
# simulator (this checkout's), so only the engine differs.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
baseline=88e8a07
build="$top/build"
quick=0
while [ $# -gt 0 ]; do
    case "$1" in
        --baseline) baseline="${2:?}"; shift 2 ;;
        --build) build="$(cd "${2:?}" && pwd)"; shift 2 ;;
        --quick) quick=1; shift ;;
        -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "compare-engines: unknown option '$1' (try --help)" >&2; exit 2 ;;
    esac
done
[ "$(id -u)" = 0 ] || { echo "compare-engines: needs root for its network namespaces" >&2; exit 77; }
new_bench="$build/bench/brelvo-bench-serve"
devsim="$build/tools/devsim/brelvo-devsim"
for f in "$new_bench" "$devsim"; do
    [ -x "$f" ] || { echo "compare-engines: $f is not built (cmake --build $build)" >&2; exit 2; }
done

# --- the baseline engine, with this checkout's benchmark program ---------
rev=$(git -C "$top" rev-parse --short "$baseline")
old="$(dirname "$build")/build-baseline-$rev"
old_bench="$old/bin/brelvo-bench-serve"
if [ ! -x "$old_bench" ]; then
    echo "compare-engines: building the engine of $rev into $old"
    rm -rf "$old/src"
    mkdir -p "$old/src"
    git -C "$top" archive "$rev" engine | tar -x -C "$old/src"
    cat > "$old/src/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.16)
project(brelvo_baseline CXX)
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_BUILD_TYPE RelWithDebInfo)
find_package(Threads REQUIRED)
add_subdirectory(engine)
add_subdirectory($top/testkit testkit)
add_executable(brelvo-bench-serve $top/bench/ServeBench.cpp)
target_compile_definitions(brelvo-bench-serve PRIVATE BRELVO_BENCH_BASELINE)
target_include_directories(brelvo-bench-serve PRIVATE $top/bench)
target_link_libraries(brelvo-bench-serve PRIVATE brelvo_engine brelvo_testkit)
set_target_properties(brelvo-bench-serve PROPERTIES RUNTIME_OUTPUT_DIRECTORY $old/bin)
EOF
    cmake -S "$old/src" -B "$old/build" -G Ninja >/dev/null
    cmake --build "$old/build" -j "$(nproc)" --target brelvo-bench-serve >/dev/null
fi

netns="$top/tests/support/with-netns.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# serve ENGINE-LABEL BENCH CAPTURE(0/1) ARGS...: one batch in a fresh
# namespace pair; prints the bench's "serve" line (and gap figures when
# captured).
serve() {
    local label="$1" bench="$2" capture="$3"; shift 3
    local pcap="$work/$label.pcap"
    local line
    line=$("$netns" --devices 100 --devsim "$devsim" --timeout 900 -- bash -c '
        label="$1" bench="$2" capture="$3" pcap="$4"; shift 4
        if [ "$capture" = 1 ]; then
            ip netns exec "$BRELVO_DEV_NS" tcpdump -i vd -nn -tt -s 64 -w "$pcap" \
                "udp and src host $BRELVO_TOOL_ADDR and greater 1040" 2>/dev/null &
            dump=$!
            sleep 1
        fi
        "$bench" --label "$label" "$@"
        rc=$?
        if [ "$capture" = 1 ]; then sleep 0.5; kill -INT $dump; wait $dump 2>/dev/null; fi
        exit $rc' _ "$label" "$bench" "$capture" "$pcap" "$@" 2>"$work/$label.err" | grep '^serve' || true)
    if [ -n "$line" ]; then
        echo "$line" | tee -a "$work/all"
    else
        echo "serve label=$label FAILED:"
        tail -n 20 "$work/$label.err"
    fi
    if [ "$capture" = 1 ] && [ -s "$pcap" ]; then
        # Gaps between consecutive blocks to one device, in microseconds.
        tcpdump -r "$pcap" -nn -tt 2>/dev/null | awk '
            { t = $1; dst = $5; if (dst in last) { g = (t - last[dst]) * 1e6; print g } last[dst] = t }' |
            sort -n > "$work/$label.gaps"
        awk -v label="$label" '{ v[NR] = $1; s += $1 } END {
            if (NR == 0) { print "gaps label=" label " none"; exit }
            printf "gaps label=%s n=%d min_us=%.0f p1_us=%.0f median_us=%.0f mean_us=%.0f\n",
                   label, NR, v[1], v[int(NR * 0.01) + 1], v[int(NR * 0.5) + 1], s / NR }' "$work/$label.gaps" |
            tee -a "$work/all"
    fi
}

if [ "$quick" = 1 ]; then mib=1; many=20; else mib=4; many=100; fi
echo "== CPU per block, block phases, wire gaps ($mib MiB image; old = $rev, new = this checkout)"
for n in 1 20 "$many"; do
    capture=0
    [ "$n" -le 20 ] && capture=1
    for side in old new; do
        bench=$new_bench
        [ $side = old ] && bench=$old_bench
        serve "$side-$n" "$bench" "$capture" --devices "$n" --mib "$mib"
    done
done

echo "== Burst: $many devices ask at once, 4-block image, folder with 20 other images of 8 MiB"
for side in old new; do
    bench=$new_bench
    [ $side = old ] && bench=$old_bench
    serve "burst-$side" "$bench" 0 --devices "$many" --bytes 4096 --extra-images 20 --extra-mib 8
done

echo "== Memory: $many jobs on one 16 MiB image"
for side in old new; do
    bench=$new_bench
    [ $side = old ] && bench=$old_bench
    serve "memory-$side" "$bench" 0 --devices "$many" --mib 16
done

echo "== The record: $many devices, run report and event reader on, against both off (this checkout only)"
for round in 1 2; do
    serve "record-off-$round" "$new_bench" 0 --devices "$many" --mib "$mib" --no-report
    serve "record-on-$round" "$new_bench" 0 --devices "$many" --mib "$mib" --drain-events
done

# A table of the figures above, old against new.
echo
echo "== Summary (old = $rev, new = this checkout)"
awk '
    function field(line, key,   n, i, kv) {
        n = split(line, kv, " ")
        for (i = 1; i <= n; i++) if (index(kv[i], key "=") == 1) return substr(kv[i], length(key) + 2)
        return ""
    }
    /^serve / { l = field($0, "label"); us[l] = field($0, "us_per_block"); ok[l] = field($0, "complete")
                ph[l] = field($0, "phase_ms_median"); mx[l] = field($0, "phase_ms_max")
                res[l] = field($0, "result_ms_max"); rss[l] = field($0, "rss_growth_kb")
                thr[l] = field($0, "peak_threads"); fds[l] = field($0, "peak_fds") }
    /^gaps / { l = field($0, "label"); gap[l] = field($0, "min_us") "/" field($0, "p1_us") "/" \
               field($0, "median_us") "/" field($0, "mean_us") }
    END {
        printf "%-22s %12s %12s\n", "", "old", "new"
        n = split("1 20 '"$many"'", counts, " ")
        for (i = 1; i <= n; i++) {
            c = counts[i]
            printf "%-22s %12s %12s\n", c " dev: us/block", us["old-" c], us["new-" c]
            printf "%-22s %12s %12s\n", c " dev: complete", ok["old-" c], ok["new-" c]
            if (ph["old-1"] > 0 && ph["new-1"] > 0)
                printf "%-22s %12.2f %12.2f\n", c " dev: slowest phase x1", mx["old-" c] / ph["old-1"], mx["new-" c] / ph["new-1"]
            if (("old-" c) in gap)
                printf "%-22s %12s %12s\n", c " dev: gap min/p1/med/mean us", gap["old-" c], gap["new-" c]
        }
        printf "%-22s %12s %12s\n", "burst: last result ms", res["burst-old"], res["burst-new"]
        printf "%-22s %12s %12s\n", "memory: RSS growth kB", rss["memory-old"], rss["memory-new"]
        printf "%-22s %12s %12s\n", "memory: peak threads", thr["memory-old"], thr["memory-new"]
        printf "%-22s %12s %12s\n", "memory: peak fds", fds["memory-old"], fds["memory-new"]
        for (r = 1; r <= 2; r++)
            if (("record-off-" r) in ph && ph["record-off-" r] > 0)
                printf "record on/off, run %d: block phase %s / %s ms (%+.1f %%)\n", r, ph["record-on-" r],
                       ph["record-off-" r], 100 * (ph["record-on-" r] / ph["record-off-" r] - 1)
    }' "$work/all"
