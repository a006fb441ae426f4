#!/usr/bin/env bash
# Takes the README screenshots of Brelvo Tool on a private X server (Xvfb)
# with a system tray (trayer):
#
#   english.png   the English window, tips closed
#   tips.png      the "Before You Start" tips over the window at start-up
#   chinese.png   the Simplified Chinese window, tips closed
#   start-refused.png  the box that refuses Start: the check found the
#                 configuration file too short to be sent
#   finished.png  the table after simulated devices finished their update
#                 (during the run: the inputs are disabled, the button reads Stop)
#   coloured-results.png  more devices in the same run: a failed write, a
#                 failed check and a model mismatch in red beside the green
#                 completed ones, and one device still writing (blue)
#   log.png       the log window at the end of the run: a device that
#                 completed (green), one whose write failed (red, marked) and
#                 a request for a product without firmware (amber, marked)
#
# The tool runs inside a private pair of network namespaces (tool side
# 10.213.7.1/24, devices 10.213.7.50..), joined only to each other: pressing
# Start sweeps the tool's /24 and the jobs broadcast, and none of that may
# leave the machine. The X server listens on its Unix socket only, which the
# tool reaches from its namespace through the file system.
#
# Usage: sudo docs/screenshots/take-screenshots.sh [options]
#   --build-dir D   where brelvo-tool and brelvo-devsim were built (default: build)
#   --out-dir D     where the PNG files go (default: this script's folder)
#   --devices N     simulated devices that update (default 3)
#   --keep-raw      also keep the uncropped full-screen captures in --out-dir
#
# Needs: Xvfb, trayer, xdotool, xwininfo, ImageMagick (import, convert), iproute2, root.
# Everything it starts (X server, tray, tool, devices, namespaces, temporary
# files) is removed on exit, Ctrl-C included.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/../.." && pwd)
say() { echo "screenshots: $*"; }
die() { echo "screenshots: $*" >&2; exit 1; }

build="${BRELVO_BUILD_DIR:-build}"
out="$here"
devices=3
keep_raw=0
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) build="${2:-}"; shift 2 ;;
        --build-dir=*) build="${1#*=}"; shift ;;
        --out-dir) out="${2:-}"; shift 2 ;;
        --out-dir=*) out="${1#*=}"; shift ;;
        --devices) devices="${2:-}"; shift 2 ;;
        --devices=*) devices="${1#*=}"; shift ;;
        --keep-raw) keep_raw=1; shift ;;
        -h|--help) sed -n '2,33p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) die "unknown option '$1' (try --help)" ;;
    esac
done
case "$devices" in ''|*[!0-9]*) die "--devices wants a number from 1 to 10" ;; esac
[ "$devices" -ge 1 ] && [ "$devices" -le 10 ] || die "--devices wants a number from 1 to 10"
case "$build" in /*) ;; *) build="$top/$build" ;; esac
mkdir -p "$out"
out=$(cd "$out" && pwd)

[ "$(id -u)" = 0 ] || die "the tool runs in private network namespaces, which needs root: sudo $0"
for c in Xvfb trayer xdotool xwininfo import ip ss od; do
    command -v "$c" >/dev/null 2>&1 || die "'$c' is missing (Debian: xvfb trayer xdotool x11-utils imagemagick iproute2)"
done
# ImageMagick's own convert, even when something else named convert comes first.
convert=/usr/bin/convert
[ -x "$convert" ] || convert=$(command -v convert) || die "ImageMagick's convert is missing"
tool_bin="$build/app/brelvo-tool"
devsim_bin="$build/tools/devsim/brelvo-devsim"
[ -x "$tool_bin" ] || die "$tool_bin is not built (scripts/run --build-only, or give --build-dir)"
[ -x "$devsim_bin" ] || die "$devsim_bin is not built (scripts/run --build-only, or give --build-dir)"

# A free display number: neither a lock file nor a socket of that number.
disp=""
for n in $(seq 90 130); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then disp=$n; break; fi
done
[ -n "$disp" ] || die "no free X display number between :90 and :130"
export DISPLAY=":$disp"

tool_ns="brvshot$$tool"
dev_ns="brvshot$$dev"
work=$(mktemp -d /tmp/brelvo-shots.XXXXXX)
chmod 755 "$work"
pids=()
tool_pid=""

teardown() {
    local p ns i
    [ -n "$tool_pid" ] && kill "$tool_pid" 2>/dev/null || true
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null || true; done
    for ns in "$tool_ns" "$dev_ns"; do
        if [ -e "/run/netns/$ns" ] || [ -e "/var/run/netns/$ns" ]; then
            for p in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$p" 2>/dev/null || true; done
            ip netns del "$ns" 2>/dev/null || true
        fi
    done
    rm -rf "$work"
}
trap teardown EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# --- X server and tray ------------------------------------------------------
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do [ -S "/tmp/.X11-unix/X$disp" ] && xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.05; done
[ -S "/tmp/.X11-unix/X$disp" ] || die "Xvfb did not start on $DISPLAY: $(tail -n 3 "$work/xvfb.log")"
trayer --edge top --align right --widthtype pixel --width 60 --height 24 >"$work/trayer.log" 2>&1 &
pids+=($!)
say "X server on $DISPLAY with a system tray"

# --- namespaces -------------------------------------------------------------
ip netns add "$tool_ns"
ip netns add "$dev_ns"
ip -n "$tool_ns" link add vt type veth peer name vd netns "$dev_ns"
ip -n "$tool_ns" addr add 10.213.7.1/24 dev vt
for ns in "$tool_ns" "$dev_ns"; do ip -n "$ns" link set lo up; done
ip -n "$tool_ns" link set vt up
ip -n "$dev_ns" link set vd up
ip -n "$tool_ns" route add 255.255.255.255/32 dev vt
ip -n "$dev_ns" route add 255.255.255.255/32 dev vd
# The devices of finished.png, four more for coloured-results.png and three
# for log.png.
# Each on an interface of its own (a macvlan with its own hardware address,
# answering ARP only there), as separate units are on a real network.
ip netns exec "$dev_ns" sysctl -qw net.ipv4.conf.all.arp_ignore=1 net.ipv4.conf.all.arp_announce=2
for i in $(seq 50 $((56 + devices))); do
    printf 'link add mv%d link vd address 02:00:0a:d5:07:%02x type macvlan mode bridge\n' "$i" "$i"
    echo "addr add 10.213.7.$i/24 dev mv$i"
    echo "link set mv$i up"
    echo "rule add from 10.213.7.$i table $((1000 + i))"
    echo "route add 10.213.7.0/24 dev mv$i src 10.213.7.$i table $((1000 + i))"
done | ip -n "$dev_ns" -batch -
for _ in $(seq 1 100); do ip -n "$tool_ns" -o link show vt | grep -q LOWER_UP && break; sleep 0.02; done

# --- firmware folder, with the program beside it ----------------------------
# The firmware field starts at the program's folder, so a copy of the program
# inside the firmware folder opens right on it.
fw="$work/firmware"
mkdir -p "$fw" "$work/run"
head -c $((1024 * 1024)) /dev/urandom >"$fw/kvx_DEMOCAM_V2.bin"
sum=$(od -An -v -tu4 --endian=little "$fw/kvx_DEMOCAM_V2.bin" \
    | awk '{ for (i = 1; i <= NF; i++) s = (s + $i) % 4294967296 } END { printf "%.0f\n", s }')
printf 'product=DEMOCAM\r\nversion=V2.0.1\r\nchecksum=%s\r\n' "$sum" >"$fw/kvx_DEMOCAM_V2-ver.bin"
cp "$tool_bin" "$fw/brelvo-tool"

# --- helpers ------------------------------------------------------------------
find_window() {   # exact window name; prints the first visible match
    local id
    for _ in $(seq 1 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
window_gone() {   # window id
    for _ in $(seq 1 50); do
        xdotool getwindowname "$1" >/dev/null 2>&1 || return 0
        xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' || return 0
        sleep 0.1
    done
    return 1
}
geometry() {   # window id -> "W H X Y"
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print w, h, x, y}'
}
main_win=""
shot() {   # file name [window id]: that window's rectangle (the main window's) of the whole screen
    local name="$1" w h x y raw="$work/raw-$1"
    read -r w h x y < <(geometry "${2:-$main_win}")
    xdotool mousemove 1270 790   # no hover highlight in the picture
    sleep 0.4
    import -window root "$raw"
    [ "$keep_raw" = 0 ] || cp "$raw" "$out/raw-$name"
    # A 256-colour palette keeps the flat dark theme and its text faithfully.
    "$convert" "$raw" -crop "${w}x${h}+${x}+${y}" +repage +dither -colors 256 "PNG8:$out/$name"
    say "$out/$name ($(stat -c %s "$out/$name") bytes, ${w}x${h})"
}
close_tips() {   # closes the frameless tips dialog (window name "Widget") with Escape
    local tips
    tips=$(find_window Widget) || die "the tips dialog did not appear"
    xdotool windowfocus --sync "$tips" 2>/dev/null || xdotool windowfocus "$tips"
    xdotool key --clearmodifiers Escape
    window_gone "$tips" || die "the tips dialog did not close"
    sleep 0.3
}
click_in_main() {   # x y inside the main window
    local w h x y
    read -r w h x y < <(geometry "$main_win")
    xdotool mousemove $((x + $1)) $((y + $2)) click 1
}
choose_language() {   # Up or Down: the other entry of the two-entry language box
    click_in_main 715 84       # the language box
    sleep 0.5
    xdotool key "$1" Return
}

# --- the window -------------------------------------------------------------
say "starting the window in $tool_ns (10.213.7.1)"
# Settings of its own: nothing remembered from earlier use changes the
# pictures, and nothing of these runs is remembered afterwards.
mkdir -p "$work/config"
(cd "$work/run" && exec ip netns exec "$tool_ns" env DISPLAY="$DISPLAY" XDG_CONFIG_HOME="$work/config" \
    "$fw/brelvo-tool" >"$work/tool.out" 2>&1) &
tool_pid=$!
main_win=$(find_window Brelvo) || die "the window did not appear: $(tail -n 3 "$work/tool.out")"
find_window Widget >/dev/null || die "the start-up tips did not appear"
sleep 1
shot tips.png
close_tips
shot english.png

choose_language Down
close_tips
shot chinese.png

choose_language Up
close_tips

# --- a refused start ----------------------------------------------------------
# A configuration file of 1,000 bytes: the check at Start refuses it.
head -c 1000 /dev/urandom >"$work/short.cfg"
click_in_main 470 160    # the configuration field
xdotool type --delay 5 "$work/short.cfg"
click_in_main 843 198    # Start
refusal=$(find_window Widget) || die "the check did not refuse the short configuration file"
sleep 0.5
shot start-refused.png "$refusal"
xdotool windowfocus --sync "$refusal" 2>/dev/null || xdotool windowfocus "$refusal"
xdotool key --clearmodifiers Escape
window_gone "$refusal" || die "the refusal box did not close"
click_in_main 470 160
xdotool key --clearmodifiers ctrl+a BackSpace
sleep 0.3

# --- an update run ----------------------------------------------------------
click_in_main 843 198    # Start
say "Start pressed; waiting for the tool to listen on UDP 3281"
for _ in $(seq 1 100); do
    [ -n "$(ip netns exec "$tool_ns" ss -Hlun 'sport = :3281' 2>/dev/null)" ] && break
    sleep 0.1
done
[ -n "$(ip netns exec "$tool_ns" ss -Hlun 'sport = :3281' 2>/dev/null)" ] \
    || die "the tool is not listening after Start: $(tail -n 3 "$work/tool.out")"
last=$((50 + devices - 1))
ip netns exec "$dev_ns" "$devsim_bin" --tool 10.213.7.1 --product DEMOCAM --count "$devices" \
    --bind "10.213.7.50-10.213.7.$last" --stagger 400 --progress-steps 4 \
    >"$work/devsim.out" 2>&1 || die "the simulated devices did not finish: $(tail -n "$devices" "$work/devsim.out")"
sed 's/^/screenshots: /' "$work/devsim.out" | cut -c 1-150
sleep 2.5    # the table polls its jobs once a second
shot finished.png

# --- results in colour --------------------------------------------------------
# In table order: a device whose write fails, one whose check fails, one whose
# firmware names another model, and one that reports its writing slowly, so
# it is still "Updating..." (blue) at the shot.
# The firmware of another model is found by its name, but its version file
# names another model. The check at Start would refuse the folder with it, so
# it comes in now: the tool looks at the folder again for every request.
head -c 65536 /dev/urandom >"$fw/kvx_BADMODL_V1.bin"
printf 'product=BADMOD2\r\nversion=V1.0.0\r\nchecksum=0\r\n' >"$fw/kvx_BADMODL_V1-ver.bin"
next=$((50 + devices))
ending=()   # the devices that end by themselves
extra() {   # label, devsim arguments...
    local label="$1"; shift
    ip netns exec "$dev_ns" "$devsim_bin" --tool 10.213.7.1 --bind "10.213.7.$next" "$@" \
        >"$work/$label.out" 2>&1 &
    pids+=($!)
    next=$((next + 1))
}
extra writefail --product DEMOCAM --result write-failed; ending+=($!)
extra checkfail --product DEMOCAM --result check-failed --start-delay 400; ending+=($!)
extra mismatch --product BADMODL --offer-timeout 3000 --start-delay 800; ending+=($!)
extra writing --product DEMOCAM --progress-steps 40 --progress-interval 300 --start-delay 1200
writing_pid=$!
for p in "${ending[@]}"; do wait "$p" || true; done
for f in writefail checkfail mismatch; do sed "s/^/screenshots: [$f] /" "$work/$f.out" | tail -n 1 | cut -c 1-150; done
sleep 2.5
shot coloured-results.png

# --- the log ------------------------------------------------------------------
# Once the slow device is done, one at a time: a device that completes, one
# whose write fails and one asking for a model without firmware (it waits
# for an offer that never comes), so the log's last lines show all three.
wait "$writing_pid" || true
extra logdone --product DEMOCAM --progress-steps 2; wait $! || true
extra logfail --product DEMOCAM --result write-failed; wait $! || true
extra lognone --product NOFWXYZ --offer-timeout 1500; wait $! || true
sleep 2.5    # the log takes the engine's events once a second
click_in_main 655 566    # Log
log_win=$(find_window Log) || die "the log window did not appear"
sleep 0.5
shot log.png "$log_win"
say "done"
