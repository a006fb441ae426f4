#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Faults injected into a running engine, driven either through brelvo-cli
# serve or through the window (its test program's faultRun, which presses
# Start and Stop as an operator does and prints the log as it grows), on the
# tool side of a namespace pair made by with-netns.sh, brelvo-devsim playing
# the devices. Each fault is one row of the table below, with its outcome:
#   WINDOW   whether the window runs it too (it shares the engine's handling
#            with serve; the rows it runs are those whose outcome it shows)
#   DEVICES  devices that ask (one after the other fault is set up)
#   END      self: serve ends by --devices; stop: it is stopped once TEXT shows
#   RESULTS  what the devices reached, as serve's results and the window's rows
#   ROWS     the report's result codes
#            ("-" none, "9" one row of 9, "9*20" twenty, "9<20" fewer than twenty)
#   EXIT     serve's exit status
#   EVENT    the kind of serve's JSON line that carries TEXT
#   TEXT     found in that line and in the window's log
# In every row, also: no wait runs out (no hang), no thread fails, no result
# the devices did not reach, and the window gives Start back after Stop.
# Usage: faults.sh serve|window BRELVO_CLI WINDOW_TEST none|address|thread [FAULT...]
set -u
table() {
    cat <<'EOF'
# FAULT        WINDOW DEVICES END  RESULTS ROWS  EXIT EVENT               TEXT
address-space  yes    1       self 13      13    1    job_result          not enough memory for the 536870912 bytes of image
no-descriptor  yes    1       stop -       -     0    request_no_firmware the firmware folder cannot be read: Too many open files
one-descriptor yes    1       self 11      11    1    job_result          the Offer could not be sent: Too many open files
report-full    no     20      self 9*20    9<20  4    report_failed       No space left on device
report-gone    no     1       self 9       -     4    report_failed       No such file or directory
image-gone     no     1       self 13      13    1    job_result          kvx_ABCDEFG_V2.bin does not exist
image-shrunk   yes    1       self 7       7     1    job_result          Verification Failed!
card-down      yes    1       stop 14      14    1    job_timed_out       the device stopped acknowledging blocks
EOF
}
# How each fault is made, at three moments of the run:
#   before      the folders are there, nothing runs yet
#   running     the engine listens and its sweep is over; no device asked yet
#   asking      the devices have been started
# address-space  running: the address space capped at what is mapped plus 128 MiB,
#                         the image 512 MiB
# no-descriptor  running: no file descriptor left (RLIMIT_NOFILE at the highest open + 1)
# one-descriptor running: two descriptors left: the request's watch takes one, the
#                         folder, the image and the job's socket get the other in
#                         turn, the Offer's socket finds none
# report-full    before:  the report's folder a tmpfs of 64 KiB; running: filled
# report-gone    running: the report's folder removed
# image-gone,    running: an entry of 1 TiB is dropped in after the ABCDEFG files,
# image-shrunk   asking:  while the listener reads it, the image is removed (or cut to
#                         half), then the entry is cut to nothing, which ends its read
# card-down      asking:  the tool's card goes down in the block phase and stays down
#                         until the job has timed out
# The limits are lifted again before the stop.

driver="$1" cli="$2" window="$3" sanitizer="$4"
shift 4
if [ -n "${BRELVO_NETNS_SKIP:-}" ] || [ "${BRELVO_NETNS:-}" != 1 ] || [ -z "${BRELVO_DEVSIM:-}" ]; then
    echo "BRELVO_NETNS_SKIP: ${BRELVO_NETNS_SKIP:-not inside tests/support/with-netns.sh, or no brelvo-devsim}"
    exit 0
fi
# tmpfs mounts stay in a mount namespace of this run's own.
if [ -z "${BRELVO_FAULTS_MNTNS:-}" ]; then
    BRELVO_FAULTS_MNTNS=1 exec unshare --mount --propagation private bash "$0" "$driver" "$cli" "$window" "$sanitizer" "$@"
fi
addr="$BRELVO_TOOL_ADDR" devns="$BRELVO_DEV_NS" devsim="$BRELVO_DEVSIM"
failures=0
work=$(mktemp -d "${TMPDIR:-/tmp}/brelvo-faults.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
    umount -l "$work"/*/reports 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# await FILE TEXT [SECONDS]: until FILE has TEXT (fixed, not a pattern).
await() {
    local i
    for ((i = 0; i < ${3:-20} * 50; i++)); do
        grep -qF -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.02
    done
    return 1
}
# ended PID SECONDS: whether PID ended within SECONDS (killed if not).
ended() {
    local i
    for ((i = 0; i < $2 * 50; i++)); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.02
    done
    kill -9 "$1" 2>/dev/null
    return 1
}
# The codes as one word per row ("9 9 13") against a spec of the table.
codes_match() { # SPEC CODES...
    local spec="$1" code
    shift
    case "$spec" in
    -) [ $# = 0 ] ;;
    *'*'*) [ $# = "${spec#*\*}" ] && for code in "$@"; do [ "$code" = "${spec%\**}" ] || return 1; done ;;
    *'<'*) [ $# -lt "${spec#*<}" ] && for code in "$@"; do [ "$code" = "${spec%<*}" ] || return 1; done ;;
    *) [ $# = 1 ] && [ "$1" = "$spec" ] ;;
    esac
}
status_text() {
    case "$1" in
    7) echo "Verification Failed!" ;; 9) echo "Update Complete!" ;; 11) echo "Network Error!" ;;
    13) echo "Open Failed!" ;; 14) echo "Timeout!" ;; 15) echo "Stopped" ;; *) echo "code $1" ;;
    esac
}
# The result codes of a report's rows, counted from the end (paths may hold commas).
report_codes() {
    local f
    for f in "$@"; do
        [ -f "$f" ] && tail -n +2 "$f" | tr -d '\r' | awk -F, '{print $(NF-5)}'
    done
}
# The descriptor limit that leaves PID exactly SPARE numbers free (a new
# descriptor takes the lowest free number, below the limit).
nofile_leaving() { # PID SPARE
    ls /proc/"$1"/fd | sort -n | awk -v spare="$2" '
        { open[$1] = 1 }
        END { for (n = 0; ; n++) if (!(n in open) && free++ == spare) { print n; exit } }'
}

run_fault() { # FAULT DEVICES END RESULTS ROWS EXIT EVENT TEXT...
    local fault="$1" devices="$2" end="$3" results="$4" rows="$5" exit="$6" event="$7"
    shift 7
    local text="$*" dir="$work/$fault" out pid rc=0 problems=() device i started=$SECONDS
    local image="$dir/fw/kvx_ABCDEFG_V2.bin" entry="$dir/fw/kvx_ZZZZZZZ.bin" reports
    fail() { problems+=("$*"); }
    mkdir -p "$dir/fw" "$dir/data"
    out="$dir/out"
    if [ "$driver" = serve ]; then reports="$dir/reports"; else reports="$dir/data/brelvo-tool/reports"; fi
    mkdir -p "$reports"
    if [ "$fault" = address-space ]; then
        truncate -s 512M "$image"
        printf 'product=ABCDEFG\nchecksum=0\n' >"${image%.bin}-ver.bin"
    else
        # 64 KiB of 0x01: 16384 words of 0x01010101.
        head -c 65536 /dev/zero | tr '\0' '\001' >"$image"
        printf 'product=ABCDEFG\nchecksum=0x40404000\n' >"${image%.bin}-ver.bin"
    fi
    [ "$fault" = card-down ] && head -c 4194304 /dev/zero >"$image" && printf 'product=ABCDEFG\nchecksum=0\n' >"${image%.bin}-ver.bin"
    [ "$fault" = report-full ] && mount -t tmpfs -o size=64k tmpfs "$reports"

    if [ "$driver" = serve ]; then
        "$cli" serve --address "$addr" --firmware "$dir/fw" --report "$reports/report.csv" --devices "$devices" --json \
            >"$out" 2>"$dir/err" &
        pid=$!
        await "$out" '"event":"sweep_finished"' 60 || fail "serve did not start: $(cat "$dir/err")"
    else
        BRELVO_FAULT_STOP="$dir/stop" BRELVO_FAULT_DATA="$dir/data" BRELVO_FAULT_FIRMWARE="$dir/fw" \
            QT_QPA_PLATFORM=offscreen "$window" faultRun >"$out" 2>"$dir/err" &
        pid=$!
        await "$out" "Address sweep " 60 || fail "the window did not start: $(tail -n 5 "$dir/err")"
    fi
    pids+=("$pid")

    case "$fault" in
    address-space)
        prlimit --pid "$pid" --as=$(( $(awk '/^VmSize:/ {print $2}' /proc/"$pid"/status) * 1024 + 134217728 )) ;;
    no-descriptor) prlimit --pid "$pid" --nofile="$(nofile_leaving "$pid" 0)" ;;
    one-descriptor) prlimit --pid "$pid" --nofile="$(nofile_leaving "$pid" 2)" ;;
    report-full) cat /dev/zero >"$reports/filler" 2>/dev/null ;;
    report-gone) rm -rf "$reports" ;;
    image-gone | image-shrunk) truncate -s 1T "$entry" ;;
    esac

    # A device that is to get no Offer waits for one only briefly; in the
    # block phase one that goes 3 s without a block gives up.
    local offer=20000
    case "$results" in -|11|13) offer=3000 ;; esac
    ip netns exec "$devns" "$devsim" --tool "$addr" --product ABCDEFG --count "$devices" \
        --bind "10.213.7.50-10.213.7.$((49 + devices))" --timeout 3000 --offer-timeout "$offer" \
        >"$dir/devsim" 2>&1 &
    device=$!
    pids+=("$device")

    case "$fault" in
    image-gone | image-shrunk)
        for ((i = 0; i < 1000; i++)); do
            ls -l /proc/"$pid"/fd 2>/dev/null | grep -qF "$entry" && break
            sleep 0.02
        done
        [ "$i" -lt 1000 ] || fail "the listener never read $entry"
        if [ "$fault" = image-gone ]; then rm -f "$image"; else truncate -s 32768 "$image"; fi
        truncate -s 0 "$entry"
        ;;
    card-down)
        if [ "$driver" = serve ]; then await "$out" '"event":"progress"' 30; else await "$out" "sending 4096 blocks" 30; fi ||
            fail "no block phase"
        sleep 0.3
        ip link set vt down
        ;;
    esac

    await "$out" "$text" 60 || fail "no line with '$text'"
    # Lifted for the end (serve may have ended already).
    case "$fault" in
    address-space) prlimit --pid "$pid" --as=unlimited 2>/dev/null ;;
    *-descriptor) prlimit --pid "$pid" --nofile=1024 2>/dev/null ;;
    card-down) ip link set vt up && ip route replace 255.255.255.255/32 dev vt ;;
    esac
    ended "$device" 60 || fail "the devices did not end"

    if [ "$driver" = serve ]; then
        [ "$end" = stop ] && kill -TERM "$pid"
        ended "$pid" 20 || fail "serve did not end"
        wait "$pid"
        rc=$?
        [ "$rc" = "$exit" ] || fail "exit $rc, not $exit"
        # The line with TEXT is of EVENT; the results are what the jobs ended with.
        grep -F -- "$text" "$out" | grep -qF "\"event\":\"$event\"" || fail "TEXT not in a line of $event"
        codes_match "$results" $(sed -n 's/.*"event":"job_result".*"code":\([0-9]*\),.*/\1/p' "$out") ||
            fail "results: $(sed -n 's/.*"event":"job_result".*"code":\([0-9]*\),.*/\1/p' "$out" | tr '\n' ' ')"
        ! grep -q '"event":"thread_failed"' "$out" || fail "a thread failed: $(grep thread_failed "$out")"
    else
        touch "$dir/stop"
        ended "$pid" 30 || fail "the window did not end"
        wait "$pid"
        rc=$?
        [ "$rc" = 0 ] || fail "the window's test failed (exit $rc): $(grep -E '^(FAIL|   Loc)' "$out")"
        grep -qF "The run has ended" "$out" || fail "Start did not come back"
        local shown=() want
        mapfile -t shown < <(sed -n 's/^row [0-9]* //p' "$out")
        local wanted=()
        for want in $(expand_codes "$results"); do wanted+=("$(status_text "$want")"); done
        [ "${shown[*]}" = "${wanted[*]}" ] || fail "rows on screen: '${shown[*]}', not '${wanted[*]}'"
        ! grep -q "thread failed" "$out" || fail "a thread failed: $(grep "thread failed" "$out")"
    fi
    local reported
    reported=$(report_codes "$reports"/*.csv | tr '\n' ' ')
    codes_match "$rows" $reported || fail "report rows: '$reported', not $rows"

    if [ ${#problems[@]} = 0 ]; then
        echo "ok    $fault ($((SECONDS - started)) s)"
    else
        echo "FAIL  $fault"
        printf '      %s\n' "${problems[@]}"
        for f in out err devsim; do [ -s "$dir/$f" ] && { echo "      --- $f"; tail -n 30 "$dir/$f" | sed 's/^/      /'; }; done
        failures=$((failures + 1))
    fi
    umount -l "$reports" 2>/dev/null
}
# "9*3" -> "9 9 9"; "-" -> nothing.
expand_codes() {
    case "$1" in
    -) ;;
    *'*'*) for ((n = 0; n < ${1#*\*}; n++)); do printf '%s ' "${1%\**}"; done ;;
    *) echo "$1" ;;
    esac
}

while read -r fault window_too devices end results rows exit event text; do
    case "$fault" in '#'* | '') continue ;; esac
    [ "$driver" = serve ] || [ "$window_too" = yes ] || continue
    [ $# = 0 ] || [[ " $* " == *" $fault "* ]] || continue
    if [ "$fault" = address-space ] && [ "$sanitizer" != none ]; then
        echo "skip  $fault: the $sanitizer sanitizer reserves terabytes of address space; no limit on it can apply"
        continue
    fi
    if [[ "$fault" = *-descriptor ]] && [ "$sanitizer" = address ]; then
        echo "skip  $fault: the undefined-behaviour checks of this build probe memory through a pipe," \
            "which needs the descriptors this fault takes away (a false 'invalid vptr')"
        continue
    fi
    run_fault "$fault" "$devices" "$end" "$results" "$rows" "$exit" "$event" "$text"
done < <(table)

[ "$failures" = 0 ] || { echo "faults ($driver): $failures row(s) failed"; exit 1; }
echo "faults ($driver): all passed"
