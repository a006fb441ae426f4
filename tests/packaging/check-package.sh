#!/usr/bin/env bash
# Builds the installed tree two ways and checks that every file lands in its
# place, nothing stray comes along, and the package's metadata and postinst
# work.
#
# Usage: check-package.sh deb|install BUILD_DIR CMAKE CPACK EXPECT_TOOL EXPECT_DEVSIM EXPECT_ICONS
#   deb       cpack -G DEB, then dpkg-deb -x into a temporary root
#   install   cmake --install into a temporary DESTDIR
# EXPECT_* are 1 when that part is built in this tree.
# Exits 77 (skipped) when the packaging tools are missing.
set -u

mode="$1" build="$2" cmake="$3" cpack="$4"
expect_tool="$5" expect_devsim="$6" expect_icons="$7"

fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
ok() { echo "ok: $*"; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/brelvo-pkg.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
root="$tmp/root"
mkdir -p "$root"

if [ "$mode" = deb ]; then
    for t in dpkg-deb dpkg-shlibdeps; do
        if ! command -v "$t" >/dev/null 2>&1; then
            echo "SKIP: $t is not installed (package dpkg-dev); cannot make the .deb"
            exit 77
        fi
    done
    if [ ! -x "$cpack" ]; then
        echo "SKIP: cpack not found at '$cpack'"
        exit 77
    fi
    # The package is made outside the build tree so that parallel runs and
    # the developer's own cpack runs do not meet.
    if ! (cd "$tmp" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1); then
        cat "$tmp/cpack.log"
        fail "cpack -G DEB failed"
        exit 1
    fi
    debs=("$tmp"/out/*.deb)
    if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
        cat "$tmp/cpack.log"
        fail "cpack made ${#debs[@]} .deb files, expected exactly one"
        exit 1
    fi
    deb="${debs[0]}"
    ok "made $(basename "$deb") ($(stat -c %s "$deb") bytes)"
    dpkg-deb -x "$deb" "$root" || { fail "dpkg-deb -x failed"; exit 1; }
    mkdir -p "$tmp/control"
    dpkg-deb -e "$deb" "$tmp/control" || { fail "dpkg-deb -e failed"; exit 1; }
elif [ "$mode" = install ]; then
    if ! DESTDIR="$root" "$cmake" --install "$build" --prefix /usr >"$tmp/install.log" 2>&1; then
        cat "$tmp/install.log"
        fail "cmake --install failed"
        exit 1
    fi
    ok "cmake --install into DESTDIR"
else
    echo "usage: $0 deb|install BUILD_DIR CMAKE CPACK EXPECT_TOOL EXPECT_DEVSIM EXPECT_ICONS" >&2
    exit 2
fi

echo "--- files"
(cd "$root" && find . -type f -o -type l | sort)
echo "---"

check_program() {
    local path="$root/usr/bin/$1"
    if [ ! -f "$path" ]; then
        fail "/usr/bin/$1 is missing"
        return
    fi
    [ -x "$path" ] || fail "/usr/bin/$1 is not executable"
    if command -v file >/dev/null 2>&1; then
        file -b "$path" | grep -q '^ELF' || fail "/usr/bin/$1 is not an ELF program: $(file -b "$path")"
    fi
    # An installed program must not look for libraries in the build tree.
    if command -v readelf >/dev/null 2>&1 && readelf -d "$path" | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
        fail "/usr/bin/$1 still has a run path into the build tree"
    fi
    ok "/usr/bin/$1"
}

png_size() {
    # Width and height from the IHDR chunk: bytes 16..23, big-endian.
    local sig
    sig=$(od -An -tx1 -N8 "$1" | tr -d ' \n')
    [ "$sig" = 89504e470d0a1a0a ] || { echo "not-png"; return; }
    local w h
    w=$(od -An -tu1 -j16 -N4 "$1" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    h=$(od -An -tu1 -j20 -N4 "$1" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    echo "${w}x${h}"
}

if [ "$expect_tool" = 1 ]; then
    check_program brelvo-tool

    desktop="$root/usr/share/applications/brelvo-tool.desktop"
    if [ -f "$desktop" ]; then
        exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop" | head -n 1)
        icon_name=$(sed -n 's/^Icon=//p' "$desktop" | head -n 1)
        [ -n "$exec_name" ] && [ -f "$root/usr/bin/$exec_name" ] \
            || fail "desktop entry runs '$exec_name', which the package does not install in /usr/bin"
        if command -v desktop-file-validate >/dev/null 2>&1; then
            out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
        fi
        ok "desktop entry (Exec=$exec_name Icon=$icon_name)"
    else
        fail "/usr/share/applications/brelvo-tool.desktop is missing"
        icon_name=""
    fi

    if [ "$expect_icons" = 1 ]; then
        for size in 32 64; do
            icon="$root/usr/share/icons/hicolor/${size}x${size}/apps/${icon_name:-brelvo-tool}.png"
            if [ ! -f "$icon" ]; then
                fail "hicolor ${size}x${size} icon '${icon_name:-brelvo-tool}.png' is missing"
                continue
            fi
            got=$(png_size "$icon")
            [ "$got" = "${size}x${size}" ] || fail "hicolor ${size}x${size} icon is $got"
            ok "hicolor ${size}x${size} icon"
        done
    fi

    meta="$root/usr/share/metainfo/io.brelvo.Tool.metainfo.xml"
    if [ -f "$meta" ]; then
        grep -q '<launchable type="desktop-id">brelvo-tool.desktop</launchable>' "$meta" \
            || fail "metainfo does not launch brelvo-tool.desktop"
        if command -v appstreamcli >/dev/null 2>&1; then
            out=$(appstreamcli validate --no-net "$meta" 2>&1) || fail "appstreamcli validate: $out"
        fi
        ok "metainfo"
    else
        fail "/usr/share/metainfo/io.brelvo.Tool.metainfo.xml is missing"
    fi
fi

if [ "$expect_devsim" = 1 ]; then
    check_program brelvo-devsim
fi

# Nothing for developers (headers, static libraries, CMake package files,
# test programs) and nothing outside /usr.
stray=$(cd "$root" && find . \( -type f -o -type l \) \
    \( ! -path './usr/*' -o -name '*.h' -o -name '*.a' -o -path '*/cmake/*' -o -path '*/include/*' -o -name '*test*' \))
[ -z "$stray" ] || fail "stray files in the installed tree: $stray"

if [ "$mode" = deb ]; then
    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Package)" = brelvo-tool ] || fail "Package is '$(field Package)'"
    [ "$(field Maintainer)" = "Brelvo developers" ] || fail "Maintainer is '$(field Maintainer)'"
    [ "$(field Version)" = "$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")" ] \
        || fail "Version '$(field Version)' differs from the project's"
    depends=$(field Depends)
    if [ "$expect_tool" = 1 ]; then
        for lib in libc6 libqt5widgets5 libqt5network5; do
            grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
        done
    fi
    ok "control: $(field Package) $(field Version) $(field Architecture); Depends: $depends"

    post="$tmp/control/postinst"
    if [ ! -f "$post" ]; then
        fail "the package has no postinst"
    else
        [ -x "$post" ] || fail "postinst is not executable"
        if [ "$expect_tool" = 1 ]; then
            # Run it against the extracted tree (dpkg hands maintainer scripts
            # DPKG_ROOT when it installs into another root).
            stubs="$tmp/stubs"; mkdir -p "$stubs"
            printf '#!/bin/sh\necho "$@" >>"%s/setcap.calls"\n' "$tmp" >"$stubs/setcap"
            chmod +x "$stubs/setcap"
            out=$(DPKG_ROOT="$root" PATH="$stubs:/usr/bin:/bin" sh "$post" configure 2>&1) \
                || fail "postinst configure failed: $out"
            calls=$(cat "$tmp/setcap.calls" 2>/dev/null)
            [ "$calls" = "cap_net_raw+ep $root/usr/bin/brelvo-tool" ] \
                || fail "postinst called setcap as '$calls'"

            # Without setcap it must still succeed, and say what to do.
            mkdir -p "$tmp/empty"
            out=$(DPKG_ROOT="$root" PATH="$tmp/empty" /bin/sh "$post" configure 2>&1) \
                || fail "postinst without setcap failed: $out"
            grep -q "libcap2-bin" <<<"$out" || fail "postinst without setcap does not say what is missing: $out"

            # With the real setcap, as root, the capability must really be set.
            if [ "$(id -u)" = 0 ] && command -v setcap >/dev/null 2>&1 && command -v getcap >/dev/null 2>&1; then
                DPKG_ROOT="$root" sh "$post" configure >"$tmp/postinst.log" 2>&1 || fail "postinst with setcap failed"
                if getcap "$root/usr/bin/brelvo-tool" | grep -q cap_net_raw; then
                    ok "postinst gave the tool cap_net_raw"
                elif grep -q "could not give" "$tmp/postinst.log"; then
                    ok "postinst: this file system keeps no capabilities, and the postinst said so"
                else
                    fail "postinst neither set cap_net_raw nor reported why: $(cat "$tmp/postinst.log")"
                fi
            fi
            # Other maintainer actions leave the file alone.
            rm -f "$tmp/setcap.calls"
            DPKG_ROOT="$root" PATH="$stubs:/usr/bin:/bin" sh "$post" abort-upgrade >/dev/null 2>&1 \
                || fail "postinst abort-upgrade failed"
            [ ! -f "$tmp/setcap.calls" ] || fail "postinst abort-upgrade called setcap"
            ok "postinst"
        fi
    fi
fi

if [ "$fails" -gt 0 ]; then
    echo "$fails check(s) failed"
    exit 1
fi
echo "all checks passed"
