#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The installed tree, made by cpack -G DEB (then unpacked) or by cmake
# --install into a DESTDIR: programs, manual pages, desktop entry, icons,
# metainfo and the service template in place.
# Usage: check-package.sh deb|install BUILD_DIR CMAKE CPACK   (77 = skipped)
set -u
mode="$1" build="$2" cmake="$3" cpack="$4"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/brelvo-pkg.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
root="$tmp/root"

if [ "$mode" = deb ]; then
    command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null \
        || { echo "SKIP: dpkg-deb/dpkg-shlibdeps missing (package dpkg-dev)"; exit 77; }
    # Made outside the build tree so parallel runs never meet.
    (cd "$tmp" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out") >"$tmp/log" 2>&1
    debs=("$tmp"/out/*.deb)
    [ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || { cat "$tmp/log"; echo "FAIL: cpack made no single .deb"; exit 1; }
    dpkg-deb -x "${debs[0]}" "$root" && dpkg-deb -e "${debs[0]}" "$tmp/control" || exit 1
else
    DESTDIR="$root" "$cmake" --install "$build" --prefix /usr >"$tmp/log" 2>&1 \
        || { cat "$tmp/log"; echo "FAIL: cmake --install"; exit 1; }
fi
(cd "$root" && find . ! -type d | sort)

for p in brelvo-tool brelvo-devsim brelvo-cli; do
    f="$root/usr/bin/$p"
    [ -x "$f" ] && [ "$(head -c4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] || { fail "/usr/bin/$p missing or no program"; continue; }
    ! readelf -d "$f" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -qF "$build" || fail "/usr/bin/$p has a run path into the build tree"
done

desktop="$root/usr/share/applications/brelvo-tool.desktop"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop" 2>/dev/null | head -n1)
icon=$(sed -n 's/^Icon=//p' "$desktop" 2>/dev/null | head -n1)
[ -n "$exec_name" ] && [ -x "$root/usr/bin/$exec_name" ] || fail "desktop entry missing or runs '$exec_name', not installed"
for size in 32 64; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/${icon:-brelvo-tool}.png"
    # PNG signature, then width and height (big-endian) from the IHDR chunk.
    got=$(od -An -tx1 -N24 "$png" 2>/dev/null | tr -d ' \n')
    [ "${got:0:16}" = 89504e470d0a1a0a ] && [ $((16#${got:32:8}))x$((16#${got:40:8})) = ${size}x${size} ] \
        || fail "hicolor ${size}x${size} icon '$png' missing or of another size"
done
grep -qs '<launchable type="desktop-id">brelvo-tool.desktop</launchable>' \
    "$root/usr/share/metainfo/io.brelvo.Tool.metainfo.xml" || fail "metainfo missing or not launching the desktop entry"
for p in brelvo-tool brelvo-devsim brelvo-cli; do
    page="$root/usr/share/man/man1/$p.1.gz"
    head=$(gzip -dc "$page" 2>/dev/null | head -n1)
    case "$head" in ".TH ${p^^} 1 "*"\"$p "[0-9]*) ;; *) fail "manual page $page missing or without its name and version: $head" ;; esac
    ! command -v groff >/dev/null || [ -z "$(gzip -dc "$page" 2>/dev/null | groff -man -ww -z 2>&1)" ] \
        || fail "groff warns about $page"
done
unit="$root/usr/lib/systemd/system/brelvo-cli@.service"
grep -qs '^ExecStart=.*exec /usr/bin/brelvo-cli serve ' "$unit" || fail "service template $unit missing or not running brelvo-cli serve"
grep -qs '^BRELVO_ADDRESS=' "$root/usr/share/doc/brelvo-tool/examples/station.conf" || fail "example station.conf missing"
stray=$(cd "$root" && find . ! -type d \( ! -path './usr/*' -o -name '*.h' -o -name '*.a' -o -path '*/cmake/*' \))
[ -z "$stray" ] || fail "developer or stray files installed: $stray"

if [ "$mode" = deb ]; then
    # The postinst gives the tool cap_net_raw; a stub setcap records how.
    mkdir -p "$tmp/stubs"
    printf '#!/bin/sh\necho "$@" >>"%s/calls"\n' "$tmp" >"$tmp/stubs/setcap" && chmod +x "$tmp/stubs/setcap"
    DPKG_ROOT="$root" PATH="$tmp/stubs:/usr/bin:/bin" sh "$tmp/control/postinst" configure >/dev/null || fail "postinst failed"
    want="cap_net_raw+ep $root/usr/bin/brelvo-tool cap_net_raw+ep $root/usr/bin/brelvo-cli"
    [ "$(tr '\n' ' ' <"$tmp/calls" 2>/dev/null)" = "$want " ] || fail "postinst setcap calls: $(cat "$tmp/calls" 2>/dev/null)"
fi
[ "$fails" = 0 ] || { echo "$fails check(s) failed"; exit 1; }
echo "all checks passed"
