#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: wine-run.sh PROGRAM.exe [ARGS...]   runs a Windows program under Wine
#        wine-run.sh --setup | --cleanup     the private namespace of a test run
#        wine-run.sh --prefix DIR            DIR booted, its wineserver running
#                                            in this namespace (with-netns.sh --wine)
#        wine-run.sh --copy-template STATE DIR   DIR a fresh copy of STATE's template
# The emulator of the Windows build (cmake/mingw-w64-x86_64.cmake). Sockets
# live in the wineserver, so each network namespace gets a Wine prefix and
# a wineserver of its own, started inside it with no test's output attached.
# --setup (as root) makes a namespace with only loopback up for the run's
# tests, which then see BRELVO_WINE_NETNS=1 and may bind 3281 there; without
# it programs run in this namespace, where such tests skip. State lives in
# the build folder's wine/ (or $BRELVO_WINE_STATE). With BRELVO_WINE_PREFIX
# set, programs run in that prefix in this namespace.
set -u
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" PATH="$PATH:/usr/lib/wine"
wine=$(command -v wine64 || command -v wine) || { echo "wine-run.sh: Wine is not installed" >&2; exit 127; }

state_dir() {
    [ -n "${BRELVO_WINE_STATE:-}" ] && { echo "$BRELVO_WINE_STATE"; return; }
    local d
    d=$(cd "$(dirname "${1:-.}")" 2>/dev/null && pwd) || d=$PWD
    while [ "$d" != / ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
    [ -f "$d/CMakeCache.txt" ] && echo "$d/wine" || echo "${TMPDIR:-/tmp}/brelvo-wine-$(id -u)"
}

# in_ns NS CMD...: CMD in namespace NS ("" = this one).
in_ns() { local ns=$1; shift; if [ -n "$ns" ]; then ip netns exec "$ns" "$@"; else "$@"; fi; }

# A booted prefix to copy (the first boot takes seconds, a copy much less).
template() {
    local st=$1
    (
        flock 9
        [ -f "$st/template/.booted" ] && exit 0
        rm -rf "$st/template"; mkdir -p "$st/template"
        local boot=(env WINEPREFIX="$st/template" sh -c "'$wine' wineboot --init; wineserver -w")
        if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null; then unshare --net "${boot[@]}"; else "${boot[@]}"; fi
        touch "$st/template/.booted"
    ) 9>"$st/.lock" </dev/null >/dev/null 2>&1
}

# A prefix is nine tenths Wine's own DLLs, which nothing writes: those are
# hard-linked to the template's, everything else is copied.
copy_template() {
    local src=$1/template dest=$2
    rm -rf "$dest"
    if cp -al "$src" "$dest" 2>/dev/null; then
        (cd "$src" && find . -type f ! -iregex '.*\.\(dll\|exe\|drv\|sys\|ocx\)' -print0) |
            (cd "$dest" && xargs -0 -r -I{} cp -p --remove-destination "$src/{}" "{}")
    else
        rm -rf "$dest"; cp -a "$src" "$dest"
    fi
    # Debian's Wine names the folder of a prefix's server sockets in the
    # prefix itself: a copy that kept the name would share it with the template.
    rm -f "$dest/wineserver"
}

# Prefix PREFIX ready with its wineserver running in namespace NS.
serve_prefix() {
    local st=$1 prefix=$2 ns=$3
    (
        flock 9
        if [ ! -f "$prefix/.booted" ]; then
            copy_template "$st" "$prefix" || exit 1
        fi
        WINEPREFIX="$prefix" in_ns "$ns" wineserver -p 600
        WINEPREFIX="$prefix" in_ns "$ns" "$wine" wineboot
    ) 9>"$prefix.lock" </dev/null >/dev/null 2>&1
}

case "${1:-}" in
--setup)
    st=$(state_dir "${2:-}"); mkdir -p "$st"; template "$st"
    ns=""
    if [ "$(id -u)" = 0 ] && command -v ip >/dev/null; then
        ns="brvwin$$r$(printf '%04x' $RANDOM)"
        # As answeringBelow(251) in tests/engine/EngineTestSupport.h: this
        # machine is 10.213.9.1, hosts .2 to .250 answer pings, the rest are silent.
        batch="addr add 10.213.9.1/32 dev lo
route add 10.213.9.0/24 dev lo src 10.213.9.1
route add 255.255.255.255/32 dev lo src 127.0.0.1
$(for h in $(seq 2 250); do echo "route add local 10.213.9.$h/32 dev lo"; done)"
        if ip netns add "$ns" && ip -n "$ns" link set lo up && echo "$batch" | ip -n "$ns" -batch -; then
            echo "$ns" >"$st/netns"
        else
            ip netns del "$ns" 2>/dev/null; ns=""
        fi
    fi
    [ -n "$ns" ] || { rm -f "$st/netns"; echo "wine-run.sh: no private namespace (needs root and ip): tests that bind 3281 skip"; }
    serve_prefix "$st" "$st/prefix-${ns:-host}" "$ns" || { echo "wine-run.sh: cannot boot a Wine prefix" >&2; exit 1; }
    echo "wine-run.sh: Wine ready${ns:+ in namespace $ns}"
    exit 0 ;;
--cleanup)
    st=$(state_dir "${2:-}")
    if [ -f "$st/netns" ]; then
        ns=$(cat "$st/netns"); rm -f "$st/netns"
        WINEPREFIX="$st/prefix-$ns" ip netns exec "$ns" wineserver -k 2>/dev/null
        for p in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$p" 2>/dev/null; done
        ip netns del "$ns" 2>/dev/null
        rm -rf "$st/prefix-$ns" "$st/prefix-$ns.lock"
    fi
    exit 0 ;;
--prefix)
    st=$(state_dir "${BRELVO_WINE_STATE:-.}"); mkdir -p "$st"; template "$st"
    [ -n "${2:-}" ] || { echo "wine-run.sh: --prefix wants a folder" >&2; exit 2; }
    serve_prefix "$st" "$2" "" && touch "$2/.booted" || { echo "wine-run.sh: cannot boot $2" >&2; exit 1; }
    exit 0 ;;
--copy-template)
    [ -f "${2:-}/template/.booted" ] && [ -n "${3:-}" ] || { echo "wine-run.sh: --copy-template wants a state folder with a booted template and a destination" >&2; exit 2; }
    copy_template "$2" "$3"; exit ;;
"") echo "usage: wine-run.sh PROGRAM.exe [ARGS...] | --setup | --cleanup | --prefix DIR | --copy-template STATE DIR" >&2; exit 2 ;;
esac

if [ -n "${BRELVO_WINE_PREFIX:-}" ]; then
    WINEPREFIX="$BRELVO_WINE_PREFIX" wineserver -p 600 </dev/null >/dev/null 2>&1
    WINEPREFIX="$BRELVO_WINE_PREFIX" exec "$wine" "$@"
fi

program=$1; shift
st=$(state_dir "$program"); mkdir -p "$st"
ns=""
if [ -f "$st/netns" ] && ns=$(cat "$st/netns") && [ -e "/run/netns/$ns" ]; then
    export BRELVO_WINE_NETNS=1
else
    ns=""; unset BRELVO_WINE_NETNS
fi
prefix="$st/prefix-${ns:-host}"
if [ ! -f "$prefix/.booted" ]; then
    template "$st" && serve_prefix "$st" "$prefix" "$ns" || { echo "wine-run.sh: cannot boot a Wine prefix" >&2; exit 1; }
fi
# A server already running ignores this; one that timed out comes back
# without the program's output attached to it.
WINEPREFIX="$prefix" in_ns "$ns" wineserver -p 600 </dev/null >/dev/null 2>&1
WINEPREFIX="$prefix" in_ns "$ns" "$wine" "$program" "$@"
