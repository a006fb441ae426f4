#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# brelvo-cli on the tool side of a namespace pair made by with-netns.sh, with
# brelvo-devsim on the other side. One scenario per run, so each gets its own
# namespaces:
#   check         every prepared problem is found with the right severity and
#                 exit code, nothing else is reported; a clean set-up gets no
#                 warning, and the check sends no packet
#   check-failed  a device reports a failed check: exit 1, a row of 7; the
#                 idle time (1 s) counts from its end, not during the sweep;
#                 the report's folder removed after the sweep: exit 4, and
#                 the device counted though junk overran the event queue
#   sigterm       SIGTERM in a 4 MiB transfer: stopped within 2 s, exit 0, a
#                 row of 15; SIGINT and SIGTERM together: exit 143 at once;
#                 two SIGINTs in the sweep: no end line that lies;
#                 SIGINT while the listener reads a 1 TiB entry: ended soon,
#                 nothing sent, a row of 15; a 1 GiB image under a 700 MB
#                 address-space limit: a row of 13 and exit 1, or exit 3
#   port-held     3281 held by another program, then by a serving copy: exit 3
#   station       300 devices in 15 waves of 20: the table never fills
#   json          --json --devices 3 --erase with three devices and one asking
#                 with a hostile product code: exit 0, three rows of 9, every
#                 line JSON (the engine's console muted), the kinds of a whole
#                 update, the warning of --erase without --config, each
#                 device's own hardware address in its lines and its row
#   live          on a terminal: the status block fits the terminal's width
#   stations      a second serving station (10.213.7.5) on the same link, three
#                 devices asking by broadcast: each device's row is 9 on one
#                 station and 16 on the other, no address served twice, both
#                 exit 0, and each names the other once
#   image         the Windows build under Wine (BRELVO_CLI_RUNNER=
#                 tests/support/wine-run.sh): Ctrl-C in the sweep, then one
#                 device, image only, from a
#                 folder with a non-ASCII name, the sweep through the system's
#                 echo service; one with a configuration behind
#                 the image; four at 20 % ack loss: byte-exact, exit 0, rows of
#                 9; Ctrl-C (SIGINT to the Wine process) in a block phase: exit
#                 0, a row of 15. (Wine lets a second program bind a held UDP
#                 port, so a taken port is left to real Windows.)
#   wine-devices  the other way round: the Windows brelvo-devsim.exe under Wine
#                 on the device side (with-netns.sh --wine-devices), each device
#                 on an interface of its own, at 10 % ack loss: exit 0 on both
#                 sides, rows of 9, and what each device saved is the image
# Usage: scenarios.sh SCENARIO BRELVO_CLI JSON_LINES
set -u
scenario="$1" cli="$2" jsonlines="$3"
if [ -n "${BRELVO_NETNS_SKIP:-}" ] || [ "${BRELVO_NETNS:-}" != 1 ] || [ -z "${BRELVO_DEVSIM:-}" ]; then
    echo "BRELVO_NETNS_SKIP: ${BRELVO_NETNS_SKIP:-not inside tests/support/with-netns.sh, or no brelvo-devsim}"
    exit 0
fi
addr="$BRELVO_TOOL_ADDR" devns="$BRELVO_DEV_NS" devsim="$BRELVO_DEVSIM"
runner=()
[ -z "${BRELVO_CLI_RUNNER:-}" ] || runner=("$BRELVO_CLI_RUNNER")
# A path as brelvo-cli takes it: under Wine, / is drive Z:.
native() { if [ ${#runner[@]} -gt 0 ]; then echo "Z:$1"; else echo "$1"; fi; }
fails=0 step=
fail() { echo "FAIL: $scenario: ${step:+$step: }$*"; fails=$((fails + 1)); }

work=$(mktemp -d "${TMPDIR:-/tmp}/brelvo-cli-$scenario.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

# An image of SIZE bytes of 0x01 (SIZE a multiple of 4): its checksum is
# the number of words times 0x01010101, modulo 2^32, unless CHECKSUM is given.
firmware() { # DIR SIZE [CHECKSUM]
    mkdir -p "$1"
    head -c "$2" /dev/zero | tr '\0' '\001' >"$1/kvx_ABCDEFG_V2.bin"
    printf 'product=ABCDEFG\nchecksum=%s\n' "${3:-$(printf 0x%08x $(( ($2 / 4) * 0x01010101 % 4294967296 )))}" \
        >"$1/kvx_ABCDEFG_V2-ver.bin"
}
# await FILE TEXT [TRIES]: until FILE has TEXT, 20 ms a try (100 tries by default).
await() { for _ in $(seq "${3:-100}"); do grep -q -- "$2" "$1" 2>/dev/null && return 0; sleep 0.02; done; return 1; }
# Another program holds UDP 3281 (pid in $holder).
hold_port() {
    "$devsim" --hold-port 3281 >"$work/holder" 2>&1 &
    holder=$!
    pids+=("$holder")
    await "$work/holder" "holding udp 3281"
}

# serve ARGS...: brelvo-cli serve in the background, output in $work/out and
# $work/err; returns once it listens (or has ended). The last run's output goes
# first: the new one truncates it only after the fork, and a signal sent before
# the exec would meet this script's own handler (and its EXIT trap).
serve() {
    rm -f "$work/out" "$work/err"
    "${runner[@]}" "$cli" serve --address "$addr" --firmware "$(native "$work/${fw:-fw}")" \
        --report "$(native "$work/report.csv")" "$@" \
        >"$work/out" 2>"$work/err" &
    serve_pid=$!
    pids+=("$serve_pid")
    for _ in $(seq 250); do
        grep -q '"listener_started"\|Listening on UDP port 3281' "$work/out" 2>/dev/null && return 0
        kill -0 "$serve_pid" 2>/dev/null || return 0
        sleep 0.02
    done
}
# Waits for serve to end within SECONDS; its exit code in $rc.
finish() { # SECONDS
    for _ in $(seq $(($1 * 50))); do kill -0 "$serve_pid" 2>/dev/null || break; sleep 0.02; done
    if kill -0 "$serve_pid" 2>/dev/null; then
        fail "serve still runs after $1 s"
        kill -9 "$serve_pid"
    fi
    wait "$serve_pid"
    rc=$?
}
devsim_runner=()
[ -z "${BRELVO_DEV_WINE_PREFIX:-}" ] || devsim_runner=(env BRELVO_WINE_PREFIX="$BRELVO_DEV_WINE_PREFIX" "$(dirname "$0")/../../support/wine-run.sh")
devices() { # COUNT FIRST-ADDRESS-INDEX MORE-DEVSIM-ARGS...
    local count="$1" first="$2"
    shift 2
    ip netns exec "$devns" "${devsim_runner[@]}" "$devsim" --tool "$addr" --product ABCDEFG --count "$count" \
        --bind "10.213.7.$first-10.213.7.$((first + count - 1))" "$@"
}
# One device fetching a 4 MiB image from FOLDER, until its block phase has begun.
one_device_sending() { # FOLDER ADDRESS-INDEX
    firmware "$1" 4194304
    serve
    devices 1 "$2" --timeout 3000 >"$work/devsim" 2>&1 &
    pids+=($!)
    await "$work/out" "sending 4096 blocks" 500 || fail "no line with 'sending 4096 blocks' in out"
}
show() { for f in out err; do [ ! -e "$work/$f" ] || { echo "--- $f"; sed 's/^/    /' "$work/$f"; }; done; }
has() { grep -qF -- "$2" "$work/$1" || fail "no line with '$2' in $1"; }
hasnt() { ! grep -qF -- "$2" "$work/$1" || fail "a line with '$2' in $1"; }
# The result codes of the report's rows, one a line (the header checked too).
codes() {
    local header
    header=$(head -n1 "$work/report.csv" | tr -d '\r')
    [[ "$header" == started,finished,device,*,result_code,result_text,blocks_resent,seconds,device_mac,station ]] \
        || fail "report header: '$header'"
    tail -n +2 "$work/report.csv" | tr -d '\r' | awk -F, '{print $(NF-5)}'
}
expect_rc() { [ "$rc" = "$1" ] || fail "exit $rc, not $1"; }

case "$scenario" in
check)
    # User nobody runs a copy: the build tree may sit under a private home.
    chmod 755 "$work" && cp "$cli" "$work/brelvo-cli" && chmod 755 "$work/brelvo-cli"
    cli="$work/brelvo-cli"
    firmware "$work/fw" 4096 # 1024 words of 0x01010101 sum to 0x04040400
    firmware "$work/fw-bad" 4096 0x04040401
    head -c 65536 /dev/zero >"$work/config.bin"
    head -c 1000 /dev/zero >"$work/short.bin"
    chmod -R a+rX "$work"
    # expect NAME EXIT "IDS OF EVERY WARNING AND FAILURE" COMMAND...: output in $work/out.
    expect() {
        step="$1"
        local want_rc="$2" want_ids="$3" rc ids
        shift 3
        "$@" >"$work/out" 2>&1
        rc=$?
        ids=$(sed -n 's/^\(FAIL\|WARN\)  .*  \[\([a-z-]*\)\]$/\2/p' "$work/out" | sort -u | tr '\n' ' ')
        [ "$rc" = "$want_rc" ] || fail "exit $rc, not $want_rc"
        [ "${ids% }" = "$want_ids" ] || fail "reported '${ids% }', not '$want_ids'"
        [ "$rc" = "$want_rc" ] && [ "${ids% }" = "$want_ids" ] || sed 's/^/    /' "$work/out"
    }
    check() { "$cli" check --address "$addr" --firmware "$work/fw" "$@"; }

    # Quiet card: without IPv6 nothing else sends, so any packet would be the check's.
    sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 2>/dev/null
    packets() { cat /sys/class/net/vt/statistics/tx_packets /sys/class/net/lo/statistics/tx_packets | tr '\n' ' '; }
    before=$(packets)
    expect clean 0 "" check
    has out "ok    $addr is on vt (up, carrier, /24)  [interface-ok]"
    has out "ABCDEFG: kvx_ABCDEFG_V2.bin wins"
    has out "(4096 bytes, 4 blocks, checksum 0x04040400)"
    expect "clean, configuration" 0 "" check --config "$work/config.bin"
    expect "clean, JSON" 0 "" check --json
    has out '{"program":"brelvo-cli","version":"2.0.0","findings":['
    has out '],"summary":{"failures":0,"warnings":0,"info":'
    # One object over several lines: joined, so a raw line break in a string goes unseen here.
    { tr '\n' ' ' <"$work/out"; echo; } | "$jsonlines" program >/dev/null || fail "check --json is not one JSON object"
    [ "$(packets)" = "$before" ] || fail "the check sent packets: before $before, after $(packets)"

    hold_port
    expect "port held" 2 "port-in-use" check
    has out "UDP port 3281 is held by pid $holder ($(cat /proc/$holder/comm))"
    has out "fix: end the other program (kill $holder)"
    kill "$holder"; wait "$holder" 2>/dev/null

    ip link add vx type veth peer name vy && ip addr add 10.213.7.99/24 dev vx && ip link set vx up && ip link set vy up
    expect "second card in the /24" 1 "subnet-shared" check
    has out "interface vx also has an address in 10.213.7.0/24 (10.213.7.99/24)"
    ip addr flush dev vx && ip addr add 10.99.0.1/24 dev vx && ip route add default via 10.99.0.254 dev vx
    expect "default route elsewhere" 1 "default-route-elsewhere" check
    has out "the default route goes through vx (gateway 10.99.0.254), not vt"
    ip link del vx

    ip -n "$devns" link set vd down
    for _ in $(seq 50); do ip -o link show vt | grep -q NO-CARRIER && break; sleep 0.02; done
    expect "no carrier" 1 "interface-no-carrier" check
    ip link set vt down
    expect "card switched off" 2 "interface-down" check
    ip link set vt up && ip -n "$devns" link set vd up
    ip route replace 255.255.255.255/32 dev vt

    expect "address elsewhere" 2 "address-not-local" "$cli" check -a 10.213.7.77 -f "$work/fw"
    has out "fix: choose one of: $addr (vt)"

    nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$cli" check -a "$addr" -f "$work/fw"; }
    sysctl -qw net.ipv4.ping_group_range="1 0"
    expect "no ICMP rights" 2 "icmp-none" nobody
    has out 'sudo setcap cap_net_raw+ep $(command -v brelvo-cli)'
    has out 'sudo sysctl -w net.ipv4.ping_group_range="0 2147483647"'
    # As the service runs it: an unprivileged user with CAP_NET_RAW as an ambient capability.
    service() {
        setpriv --reuid=65534 --regid=65534 --clear-groups --no-new-privs --inh-caps=+net_raw --ambient-caps=+net_raw \
            "$cli" check -a "$addr" -f "$work/fw"
    }
    expect "ambient capability" 0 "" service
    has out "the address sweep can use a raw ICMP socket (cap_net_raw)"
    sysctl -qw net.ipv4.ping_group_range="0 2147483647"
    expect "ping group open" 0 "" nobody
    has out "unprivileged ICMP socket (group 65534 in ping_group_range 0 2147483647)"
    sysctl -qw net.ipv4.ping_group_range="1 0"

    fwbad() { "$cli" check -a "$addr" -f "$work/fw-bad" "$@"; }
    expect "checksum off" 1 "firmware-checksum-mismatch" fwbad
    has out "WARN  ABCDEFG: image $work/fw-bad/kvx_ABCDEFG_V2.bin sums to 0x04040400, but its version file says 0x04040401"
    expect "checksum off, configuration" 2 "firmware-checksum-mismatch" fwbad --config "$work/config.bin"
    has out 'with a configuration file the job fails "Open Failed!"'
    expect "short configuration" 2 "config-too-short" check --config "$work/short.bin"
    expect "missing configuration" 2 "config-missing" check --config "$work/none.bin"
    expect "erase without configuration" 1 "erase-without-config" check --erase
    has out "WARN  the partition is to be erased, but no configuration file is given: 1.If the device is missing"
    expect "erase with configuration" 0 "" check --erase --config "$work/config.bin"
    expect "missing folder" 2 "firmware-folder-missing" "$cli" check -a "$addr" -f "$work/none"

    # serve checks first: a failure, or a report it cannot write, refuses the settings.
    expect "serve, address elsewhere" 2 "address-not-local" "$cli" serve -a 10.213.7.77 -f "$work/fw"
    has out "brelvo-cli: serve: refusing to start"
    expect "serve, report unwritable" 2 "" "$cli" serve -a "$addr" -f "$work/fw" --report "$work/none/r.log"
    has out "brelvo-cli: serve: --report '$work/none/r.log' cannot be written: No such file or directory"
    step=
    ;;
check-failed)
    firmware "$work/fw" 4096
    serve --idle-exit 1
    devices 1 50 --result check-failed >"$work/devsim" 2>&1
    finish 10
    expect_rc 1
    [ "$(codes | tr '\n' ' ')" = "7 " ] || fail "result codes: $(codes | tr '\n' ' ')"
    has out "Verification Failed!"
    has out "Serving ended, no device at work for 1 second (--idle-exit): 0 succeeded, 1 failed, 0 stopped"
    [ "$fails" = 0 ] || show

    # The report's folder goes away after the sweep: a run whose report lost rows does not exit 0.
    # Junk from the devices' side overruns the event queue while the device
    # writes: its result still counts, and ends the run.
    mkdir "$work/gone"
    serve --devices 1 --json --report "$work/gone/r.csv"
    await "$work/out" '"sweep_finished"' 250 || fail "no sweep_finished line"
    rm -rf "$work/gone"
    # The device writes for 3 s: time for the junk to arrive even on a slow machine.
    devices 1 50 --progress-steps 30 --progress-interval 100 >"$work/devsim" 2>&1 &
    device=$!
    await "$work/out" '"end_sent"' 250 || fail "no end_sent line"
    # Until serve ends, at most 200000 datagrams.
    ip netns exec "$devns" perl -MSocket -e 'socket(my $s, PF_INET, SOCK_DGRAM, 0) or die;
        my $to = sockaddr_in(3281, inet_aton($ARGV[0]));
        for (1 .. 200) { last unless kill 0, $ARGV[1]; send($s, "junk", 0, $to) for 1 .. 1000 }' "$addr" "$serve_pid"
    wait "$device" || fail "devsim: $(cat "$work/devsim")"
    finish 10
    expect_rc 4
    grep -q '"events_dropped"' "$work/out" || fail "the junk did not overrun the event queue"
    [ "$("$jsonlines" event succeeded report_complete exit <"$work/out" | tail -n1)" = "serve_ended 1 false 4" ] \
        || fail "last line: $(tail -n1 "$work/out")"
    ;;
sigterm)
    one_device_sending "$work/fw" 50
    sleep 1
    start=$(date +%s%N)
    kill -TERM "$serve_pid"
    finish 5
    # How long the stop took is said, not judged: sanitizer builds are slow.
    echo "stopped in $(( ($(date +%s%N) - start) / 1000000 )) ms"
    expect_rc 0
    [ "$(codes | tr '\n' ' ')" = "15 " ] || fail "result codes: $(codes | tr '\n' ' ')"
    grep -q ',15,Stopped,' "$work/report.csv" || fail "no Stopped row"
    # Progress by tenths of the block phase, once learnt with the hardware address.
    grep -qE ' job 1 10\.213\.7\.50 \([0-9a-f:]{17}\): sending, ' "$work/out" || fail "no progress line of job 1"
    has out "Serving ended, stopped by SIGTERM: 0 succeeded, 0 failed, 1 stopped"
    [ "$fails" = 0 ] || show

    # A second signal while stopping ends the process at once.
    serve
    kill -INT "$serve_pid"; kill -TERM "$serve_pid"
    finish 5
    expect_rc 143
    has err "SIGTERM while stopping: exiting at once"
    # Two Ctrl-C 10 ms apart in the sweep: the last line states the exit
    # status the process returns, or there is none.
    for try in 1 2 3; do
        serve
        kill -INT "$serve_pid"; sleep 0.01; kill -INT "$serve_pid"
        finish 5
        said=$(sed -n 's/.*Serving ended,.*; exit \([0-9]*\)$/\1/p' "$work/out")
        [ "$said" = "$rc" ] || { [ -z "$said" ] && [ "$rc" = 130 ]; } || fail "try $try: the end line says exit '$said', the process exited $rc"
    done

    # SIGINT while the listener walks an entry of 1 TiB without a line end
    # (dropped in after the start's check): the walk is abandoned.
    step=sigint-reading
    rm -f "$work/report.csv"
    serve
    truncate -s 1T "$work/fw/kvx_HUGEONE.bin"
    devices 1 51 --timeout 3000 >"$work/devsim" 2>&1 &
    pids+=($!)
    await "$work/out" "asked for ABCDEFG" 500 || fail "no line with 'asked for ABCDEFG' in out"
    kill -INT "$serve_pid"
    finish 5
    expect_rc 0
    [ "$(codes | tr '\n' ' ')" = "15 " ] || fail "result codes: $(codes | tr '\n' ' ')"
    hasnt out "offer sent"
    has out "stopped by SIGINT"
    rm -f "$work/fw/kvx_HUGEONE.bin"
    [ "$fails" = 0 ] || show

    # A sanitizer build reserves terabytes of shadow memory: no address-space
    # limit leaves it room to start.
    if [ -n "${BRELVO_SANITIZED:-}" ]; then
        echo "address-space step skipped: a sanitizer build cannot run under ulimit -v"
    else
        # A 1 GiB image (of zeros: its checksum is 0) under a 700 MB address-space
        # limit: its job is refused as it cannot be held, or serving cannot start.
        step=address-space
        rm -f "$work/report.csv"
        rm -f "$work/fw/kvx_ABCDEFG_V2.bin"
        truncate -s 1G "$work/fw/kvx_ABCDEFG_V2.bin"
        printf 'product=ABCDEFG\nchecksum=0\n' >"$work/fw/kvx_ABCDEFG_V2-ver.bin"
        printf '#!/bin/sh\nulimit -v 700000\nexec "%s" "$@"\n' "$cli" >"$work/limited"
        chmod +x "$work/limited"
        cli="$work/limited" serve --devices 1
        devices 1 52 --timeout 3000 >"$work/devsim" 2>&1 &
        pids+=($!)
        finish 30
        if [ "$rc" = 1 ]; then
            [ "$(codes | tr '\n' ' ')" = "13 " ] || fail "result codes: $(codes | tr '\n' ' ')"
        else
            expect_rc 3
        fi
    fi
    ;;
port-held)
    firmware "$work/fw" 4096
    hold_port
    serve
    finish 10
    expect_rc 3
    has err "brelvo-cli: serve: cannot start: UDP port 3281 cannot be bound: Address already in use (another copy of the tool or another program holds it; see \`ss -ulpn 'sport = :3281'\`)"
    has out "FAIL  UDP port 3281 is held by pid $holder"
    has out "Cannot listen on UDP port 3281: Address already in use"
    kill "$holder"; wait "$holder" 2>/dev/null
    [ "$fails" = 0 ] || show

    # A serving copy holds it the same way.
    serve --idle-exit 30
    first=$serve_pid
    "$cli" serve --address "$addr" --firmware "$work/fw" --json >"$work/out2" 2>"$work/err2"
    rc=$?
    expect_rc 3
    grep -qF "cannot start: UDP port 3281 cannot be bound: Address already in use" "$work/err2" \
        || fail "second copy: $(cat "$work/err2")"
    "$jsonlines" event <"$work/out2" | grep -qx listener_failed || fail "second copy: no listener_failed line"
    kill -TERM "$first"
    serve_pid=$first
    finish 5
    expect_rc 0
    ;;
station)
    firmware "$work/fw" 2048
    serve --devices 300
    for wave in $(seq 15); do
        devices 20 50 --stagger 2 --offer-timeout 5000 >"$work/devsim.$wave" 2>&1 || fail "wave $wave: $(grep -v 'result=complete' "$work/devsim.$wave" | head -3)"
    done
    finish 20
    expect_rc 0
    rows=$(codes | grep -c '^9$')
    [ "$rows" = 300 ] || fail "$rows rows of 9, not 300 ($(codes | sort | uniq -c | tr '\n' ' '))"
    hasnt out "the device table is full"
    has out "300 succeeded, 0 failed"
    ;;
json)
    firmware "$work/fw" 409600
    serve --devices 3 --json --erase
    # First a device whose hostile product code has no firmware: its lines stay JSON.
    devices 1 53 --product $'\xe2\x80\xae1\x1b[2J"\\\xff' --expect-no-offer --offer-timeout 1500 \
        >"$work/devsim" 2>&1 || fail "hostile device: $(cat "$work/devsim")"
    devices 3 50 --progress-steps 20 --expect-image "$work/fw/kvx_ABCDEFG_V2.bin" >"$work/devsim" 2>&1 \
        || fail "devsim: $(cat "$work/devsim")"
    finish 10
    expect_rc 0
    [ "$(codes | tr '\n' ' ')" = "9 9 9 " ] || fail "result codes: $(codes | tr '\n' ' ')"
    [ ! -s "$work/err" ] || fail "standard error is not empty"
    if ! "$jsonlines" event job value code <"$work/out" >"$work/fields" 2>"$work/bad"; then
        fail "not JSON Lines: $(cat "$work/bad")"
    fi
    for kind in finding listener_started report_file sweep_finished request_received request_matched offer_sent \
                size_sent block_phase_started progress end_sent device_writing job_result stop_requested serve_ended; do
        grep -q "^$kind " "$work/fields" || fail "no '$kind' line"
    done
    # Per job: progress by rising tenths, 2 to 11 writing lines for 20 reports, a result of 9.
    awk '$1 == "progress" { if ($3 <= last[$2] || $3 < 10 || $3 > 100) bad = 1; last[$2] = $3 }
         $1 == "device_writing" { writing[$2]++ }  $1 == "job_result" { if ($4 != 9) bad = 1; results++ }
         END { for (j in writing) if (writing[j] < 2 || writing[j] > 11) bad = 1; exit bad || results != 3 }' \
        "$work/fields" || fail "progress, writing or results: $(grep -E '^(progress|device_writing|job_result)' "$work/fields" | tr '\n' ' ')"
    grep -qF '{"event":"finding","finding":{"severity":"warning","id":"erase-without-config"' "$work/out" \
        || fail "no finding of --erase without --config"
    "$jsonlines" event product_hex <"$work/out" | grep -qx "request_no_firmware e280ae311b5b324a225cff" \
        || fail "no request_no_firmware line of the hostile product code"
    [ "$("$jsonlines" event exit succeeded reason station <"$work/out" | tail -n1)" = "serve_ended 0 3 devices $(hostname)" ] \
        || fail "last line: $(tail -n1 "$work/out")"
    # Each unit by its own hardware address (with-netns.sh --device-macs), in its lines and its row.
    units=$(paste -d' ' <(tr ' ' '\n' <<<"$BRELVO_DEV_ADDRS") <(tr ' ' '\n' <<<"$BRELVO_DEV_MACS") | head -n3)
    [ "$("$jsonlines" event device mac <"$work/out" | awk '$1 == "mac_learnt" { sub(/:.*/, "", $2); print $2, $3 }' | sort)" = "$units" ] \
        || fail "mac_learnt lines: $(grep mac_learnt "$work/out")"
    [ "$(tail -n +2 "$work/report.csv" | tr -d '\r' | awk -F, '{ sub(/:.*/, "", $3); print $3, $(NF-1) }' | sort)" = "$units" ] \
        || fail "report: $(cat "$work/report.csv")"
    ;;
image)
    fw="fw-固件"
    firmware "$work/$fw" 1048576
    image="$work/$fw/kvx_ABCDEFG_V2.bin"
    head -c 65536 /dev/urandom >"$work/config.bin"
    # expect_run NAME ROWS SECONDS SERVE-ARGS -- DEVICES-ARGS: a whole run, its rows' codes.
    expect_run() {
        step="$1"
        local want="$2" seconds="$3" args=()
        shift 3
        while [ "$1" != -- ]; do args+=("$1"); shift; done
        shift
        rm -f "$work/report.csv"
        serve "${args[@]}"
        devices "$@" >"$work/devsim" 2>&1 || fail "devsim: $(cat "$work/devsim")"
        finish "$seconds"
        expect_rc 0
        [ "$(codes | tr '\n' ' ')" = "$want" ] || fail "result codes: $(codes | tr '\n' ' ')"
        [ "$fails" = 0 ] || show
    }
    # A Ctrl-C in the sweep leaves the echo service fit for the next run.
    step=ctrl-c-sweep
    serve
    kill -INT "$serve_pid"
    finish 5
    expect_rc 0
    has out "Serving ended, stopped by SIGINT: 0 succeeded, 0 failed, 0 stopped"
    expect_run "image only" "9 " 20 --devices 1 -- 1 50 --expect-image "$image" --expect-config none
    # Only this machine (.1) and the four devices answer the sweep.
    has out "Address sweep found 248 free addresses (ICMP: service)"
    "${runner[@]}" "$cli" check --address "$addr" --firmware "$(native "$work/$fw")" >"$work/out" 2>&1
    has out "ok    the address sweep can use the system's ICMP echo service (no rights needed)  [icmp-service]"
    expect_run configuration "9 " 20 --devices 1 --config "$(native "$work/config.bin")" \
        -- 1 51 --expect-image "$image" --expect-config "$work/config.bin"
    expect_run "20 % ack loss" "9 9 9 9 " 60 --devices 4 -- 4 50 --expect-image "$image" --ack-loss 20 --seed 19
    # Blocks whose acknowledgement was lost are sent again, for every device.
    tail -n +2 "$work/report.csv" | tr -d '\r' | awk -F, '$(NF-3) < 1 { bad = 1 } END { exit bad || NR != 4 }' \
        || fail "a device without blocks sent again: $(tail -n +2 "$work/report.csv" | tr -d '\r' | tr '\n' ' ')"

    step=ctrl-c
    rm -f "$work/report.csv"
    one_device_sending "$work/$fw" 52
    sleep 0.5
    kill -INT "$serve_pid"
    finish 5
    expect_rc 0
    [ "$(codes | tr '\n' ' ')" = "15 " ] || fail "result codes: $(codes | tr '\n' ' ')"
    has out "Serving ended, stopped by SIGINT: 0 succeeded, 0 failed, 1 stopped"
    ;;
wine-devices)
    firmware "$work/fw" 1048576
    image="$work/fw/kvx_ABCDEFG_V2.bin"
    serve --devices 2
    devices 2 50 --expect-image "Z:$image" --expect-config none --ack-loss 10 --seed 7 --save-image "Z:$work/got" \
        >"$work/devsim" 2>&1 || fail "devsim exit $?: $(cat "$work/devsim")"
    finish 30
    expect_rc 0
    [ "$(codes | tr '\n' ' ')" = "9 9 " ] || fail "result codes: $(codes | tr '\n' ' ')"
    for i in 0 1; do cmp -s "$image" "$work/got.$i" || fail "device $i saved other bytes than the image"; done
    [ "$(grep -c ' result=complete .* violations=0 ' "$work/devsim")" = 2 ] || fail "devsim: $(cat "$work/devsim")"
    [ "$fails" = 0 ] || show
    ;;
live)
    firmware "$work/fw" 1048576
    # script gives serve a terminal of 60 columns and 10 rows.
    TERM=xterm script -qfec "stty cols 60 rows 10; '$cli' serve --address '$addr' --firmware '$work/fw' --devices 3 \
        --report '$work/report.csv'" "$work/typescript" >/dev/null 2>&1 &
    serve_pid=$!
    pids+=("$serve_pid")
    await "$work/typescript" "Listening on UDP port" 250
    devices 3 50 --progress-steps 10 >"$work/devsim" 2>&1 || fail "devsim: $(cat "$work/devsim")"
    finish 10
    expect_rc 0
    # The screen's lines without the cursor moves.
    sed 's/\x1b\[[0-9]*[AJ]//g' "$work/typescript" | tr -d '\r' >"$work/out"
    : >"$work/err"
    grep -q $'\x1b\\[J' "$work/typescript" || fail "no redraw"
    grep -qE '^job [0-9]+  10\.213\.7\.5[0-2]  ABCDEFG  sending  \[#*\.*\] +[0-9]+%$' "$work/out" \
        || fail "no status line of a device sending"
    has out "at work, 0 succeeded, 0 failed, 0 stopped"
    has out "Serving ended, 3 devices reached a result (--devices): 3 succeeded"
    long=$(grep -E '^(job [0-9]+  |[0-9]+ at work)' "$work/out" | awk 'length($0) > 59' | head -n1)
    [ -z "$long" ] || fail "a status line wider than the terminal: '$long'"
    hasnt out "device writing,"   # writing shows in the block
    hasnt out "running..."        # the engine's own console stays muted
    has out "Run report: $work/report.csv"
    ;;
stations)
    # The device side becomes a bridge that joins a third namespace, the
    # second station, to the same link.
    st2="${BRELVO_NETNS_TAG:?}st2"
    step="link"
    { ip netns add "$st2" && ip -n "$devns" link add br0 type bridge &&
      ip -n "$devns" link add vs type veth peer name vt netns "$st2" &&
      ip -n "$devns" addr flush dev vd && ip -n "$devns" link set vd master br0 &&
      ip -n "$devns" link set vs master br0 && ip -n "$devns" link set vs up && ip -n "$devns" link set br0 up &&
      printf "addr add %s/24 dev br0\n" $BRELVO_DEV_ADDRS | ip -n "$devns" -batch - &&
      ip -n "$devns" route replace 255.255.255.255/32 dev br0 &&
      ip -n "$st2" addr add 10.213.7.5/24 dev vt && ip -n "$st2" link set lo up && ip -n "$st2" link set vt up &&
      ip -n "$st2" route add 255.255.255.255/32 dev vt; } >"$work/err" 2>&1 || fail "$(cat "$work/err")"
    for _ in $(seq 100); do ip netns exec "$st2" ping -c1 -W1 10.213.7.50 >/dev/null 2>&1 && break; sleep 0.05; done
    step=
    firmware "$work/fw" 409600
    ip netns exec "$st2" "$cli" serve --address 10.213.7.5 --firmware "$work/fw" --report "$work/report2.csv" \
        >"$work/out2" 2>"$work/err2" &
    second=$!
    pids+=("$second")
    serve
    await "$work/out" "Address sweep found" 250 && await "$work/out2" "Address sweep found" 250 || fail "no sweep"
    ip netns exec "$devns" "$devsim" --broadcast --product ABCDEFG --count 3 --bind 10.213.7.50-10.213.7.52 \
        --stagger 300 --progress-steps 10 --progress-interval 100 >"$work/devsim" 2>&1 || fail "devsim: $(cat "$work/devsim")"
    # Up to 40 s: a device whose Offers crossed on the way is judged at the end of its silence.
    for _ in $(seq 2500); do
        [ "$(cat "$work/out" "$work/out2" | grep -c ': \(Update Complete!\|Served by Another Tool\|Timeout!\)')" -ge 6 ] && break
        sleep 0.02
    done
    # Then a device asks each station alone: neither lends what the other offered.
    devices 1 50 --port 40100 >"$work/devsim" 2>&1 || fail "late device of station 1: $(cat "$work/devsim")"
    ip netns exec "$devns" "$devsim" --tool 10.213.7.5 --product ABCDEFG --bind 10.213.7.51 --port 40200 >"$work/devsim" 2>&1 \
        || fail "late device of station 2: $(cat "$work/devsim")"
    kill -TERM "$serve_pid" "$second"
    finish 5
    expect_rc 0
    serve_pid=$second
    finish 5
    expect_rc 0
    rows() { tail -n +2 "$work/$1.csv" | tr -d '\r' | awk -F, '{print $3, $5, $11}'; } # device lent code
    first=$(for r in report report2; do rows $r | grep -v ':40[12]00 '; done)
    [ "$(echo "$first" | awk '{print $1, $3}' | sort | awk '{c[$1] = c[$1] " " $2} END {for (d in c) print c[d]}' | sort -u)" = " 16 9" ] \
        || fail "not one row of 16 and one of 9 per device: $(echo $first)"
    [ "$(echo "$first" | awk '$3 == 9' | wc -l)" = 3 ] || fail "not three devices served: $(echo $first)"
    [ -z "$(echo "$first" | awk '$3 == 9 {print $2}' | sort | uniq -d)" ] || fail "an address served twice: $(echo $first)"
    for pair in "report 40100 report2" "report2 40200 report"; do
        set -- $pair
        late=$(rows "$1" | awk -v p=":$2" 'index($1, p) {print $3, $2}')
        [ "${late%% *}" = 9 ] || fail "$1: the late device: '$late'"
        rows "$3" | grep -v ':40[12]00 ' | awk '{print $2}' | grep -qx "${late#* }" && fail "$1 lent ${late#* }, which the other station offered"
    done
    for pair in "out 10.213.7.5" "out2 10.213.7.1"; do
        set -- $pair
        [ "$(grep -c "answers devices on this network" "$work/$1")" = 1 ] && has "$1" "Another tool at $2 answers devices on this network" \
            || fail "$1 does not name $2 once"
        has "$1" " 0 failed, 0 stopped"
    done
    elsewhere=$(cat "$work/out" "$work/out2" | sed -n 's/.* stopped, \([0-9]*\) served by another tool.*/\1/p' | paste -sd+)
    [ "$(( ${elsewhere:-0} ))" = 3 ] || fail "devices served by another tool in the end lines: ${elsewhere:-none}"
    [ "$fails" = 0 ] || { echo "--- station 2"; sed 's/^/    /' "$work/out2"; }
    ;;
*)
    echo "scenarios.sh: unknown scenario '$scenario'" >&2
    exit 2
    ;;
esac

if [ "$fails" != 0 ]; then
    show
    echo "scenario $scenario: $fails check(s) failed"
    exit 1
fi
echo "scenario $scenario: all passed"
