#!/usr/bin/env bash
# scripts/install-deps: every package it names exists on this system's
# archive, the list has no repeats, --check agrees with what is installed,
# and bad options are refused. Never installs anything.
# Usage: check-install-deps.sh INSTALL_DEPS
set -u
deps="$1"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "SKIP: not a Debian-like system (no dpkg-query)"
    exit 77
fi

list=$(bash "$deps" --list) || fail "--list failed"
[ -n "$list" ] || fail "--list printed nothing"
repeats=$(sort <<<"$list" | uniq -d)
[ -z "$repeats" ] || fail "packages named twice: $repeats"
while read -r p; do
    case "$p" in ''|*[!a-z0-9.+-]*) fail "'$p' is not a Debian package name" ;; esac
done <<<"$list"

# Names that are neither installed nor known to apt are typos (or gone from
# the archive); apt-cache knows nothing before the first apt-get update.
if command -v apt-cache >/dev/null 2>&1 && [ -n "$(apt-cache pkgnames 2>/dev/null | head -n 1)" ]; then
    while read -r p; do
        dpkg-query -W "$p" >/dev/null 2>&1 || apt-cache show "$p" >/dev/null 2>&1 \
            || fail "'$p' is not in the package archive"
    done <<<"$list"
else
    echo "note: no apt package lists here; names checked against installed packages only"
fi

# --check must agree with dpkg about every package.
missing=""
while read -r p; do
    dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii' || missing="$missing $p"
done <<<"$list"
out=$(bash "$deps" --check 2>&1); rc=$?
if [ -z "$missing" ]; then
    [ "$rc" = 0 ] || fail "--check says something is missing, dpkg says all is installed: $out"
else
    [ "$rc" = 1 ] || fail "--check exited $rc although$missing are not installed"
    for p in $missing; do grep -qw -- "$p" <<<"$out" || fail "--check did not name missing $p"; done
fi

out=$(bash "$deps" --bogus 2>&1); rc=$?
[ "$rc" = 2 ] || fail "an unknown option gave exit $rc, not 2"
out=$(BRELVO_SKIP_DEPS=1 bash "$deps" 2>&1); rc=$?
{ [ "$rc" = 0 ] && grep -q skipped <<<"$out"; } || fail "BRELVO_SKIP_DEPS=1 did not skip: $out"

if [ "$fails" -gt 0 ]; then
    echo "$fails check(s) failed"
    exit 1
fi
echo "all checks passed ($(wc -l <<<"$list") packages)"
