#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: check-msi.sh MSI ZIP VERSION WINE_STATE
# Installs MSI with msiexec in a Wine prefix of its own, checks that it put
# the zip's files into Program Files and that the installed programs run,
# then uninstalls it and checks that nothing of it is left.
set -u
msi=$1 zip=$2 version=$3 state=$4
fail() { echo "check-msi.sh: FAIL: $*" >&2; exit 1; }
for f in "$msi" "$zip"; do [ -s "$f" ] || fail "$f is missing or empty"; done
[ -f "$state/template/.booted" ] || fail "no booted Wine prefix in $state/template (windows.wine_setup makes it)"

# Wine's own processes (wineserver, services) get no network at all.
if [ -z "${BRELVO_CHECK_MSI_UNSHARED:-}" ] && [ "$(id -u)" = 0 ] && unshare --net true 2>/dev/null; then
    BRELVO_CHECK_MSI_UNSHARED=1 exec unshare --net "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/brelvo-msi.XXXXXX") || exit 1
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" PATH="$PATH:/usr/lib/wine"
wine=$(command -v wine64 || command -v wine) || fail "Wine is not installed"
trap 'wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
"$(dirname "$0")/../../support/wine-run.sh" --copy-template "$state" "$WINEPREFIX" || fail "cannot copy the Wine prefix"

dir="$WINEPREFIX/drive_c/Program Files/Brelvo Tool"
registered() { wineserver -w; grep -c 'Brelvo Tool' "$WINEPREFIX/system.reg"; }

"$wine" msiexec /i "$(winepath -w "$msi" 2>/dev/null)" /qn </dev/null >"$work/install.log" 2>&1 \
    || { cat "$work/install.log"; fail "msiexec /i failed"; }
mkdir "$work/zip" && (cd "$work/zip" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
unpacked="$work/zip/$(basename "$zip" .zip)"
files="brelvo-cli.exe brelvo-devsim.exe README.txt LICENSE.txt brelvo-cli.txt brelvo-devsim.txt"
for f in $files; do
    [ -f "$dir/$f" ] || fail "the installer did not put $f into Program Files/Brelvo Tool"
    cmp -s "$dir/$f" "$unpacked/$f" || fail "$f differs between the installer and the zip"
done
[ "$(ls "$dir" | wc -l)" = "$(wc -w <<<"$files")" ] || fail "Program Files/Brelvo Tool holds other files than $files: $(ls "$dir")"
[ "$(registered)" -gt 0 ] || fail "the installed product is not registered"

for program in brelvo-cli brelvo-devsim; do
    out=$("$wine" "C:\\Program Files\\Brelvo Tool\\$program.exe" --version </dev/null 2>&1) \
        || fail "the installed $program.exe --version failed: $out"
    grep -q "^$program $version\b" <<<"$out" || fail "the installed $program.exe says '$out', not version $version"
done

"$wine" msiexec /x "$(winepath -w "$msi" 2>/dev/null)" /qn </dev/null >"$work/remove.log" 2>&1 \
    || { cat "$work/remove.log"; fail "msiexec /x failed"; }
[ ! -e "$dir" ] || fail "after msiexec /x, Program Files/Brelvo Tool still holds: $(ls -A "$dir")"
[ "$(registered)" = 0 ] || fail "after msiexec /x the product is still registered"
echo "check-msi.sh: installed, ran brelvo-cli and brelvo-devsim $version, removed"
