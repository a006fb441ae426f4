#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The service template brelvo-cli@.service: systemd accepts it without a
# single complaint, its hardening keeps the exposure low while leaving raw
# ICMP and UDP working, and its command line comes out right for the example
# settings, with and without a configuration file.
# Usage: check-service.sh UNIT EXAMPLE_CONF MAN_PAGE   (77 = skipped)
set -u
unit="$1" conf="$2" page="$3"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
command -v systemd-analyze >/dev/null || { echo "SKIP: systemd-analyze is not installed (package systemd)"; exit 77; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/brelvo-unit.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# An instance beside its template, and the manual page its Documentation= names.
cp "$unit" "$tmp/brelvo-cli@.service"
ln -s brelvo-cli@.service "$tmp/brelvo-cli@station.service"
mkdir -p "$tmp/man/man1" && cp "$page" "$tmp/man/man1/brelvo-cli.1"
out=$(cd "$tmp" && MANPATH="$tmp/man" SYSTEMD_LOG_COLOR=0 systemd-analyze verify ./brelvo-cli@station.service 2>&1)
rc=$?
if [ "$rc" != 0 ] && printf '%s' "$out" | grep -qiE 'bus|not booted|connect'; then
    echo "SKIP: systemd-analyze cannot run here: $out"; exit 77
fi
[ "$rc" = 0 ] && [ -z "$out" ] || fail "systemd-analyze verify (exit $rc): $out"

# 3.0 on systemd's scale of 0 (locked down) to 10 (exposed).
out=$(cd "$tmp" && systemd-analyze security --offline=true --threshold=30 ./brelvo-cli@station.service 2>&1)
[ $? = 0 ] || fail "exposure above 3.0: $(printf '%s\n' "$out" | tail -n1)"

# What the sweep and the sockets need must survive the hardening.
value() { sed -n "s/^$1=//p" "$unit" | tail -n1; }
for want in "AmbientCapabilities CAP_NET_RAW" "CapabilityBoundingSet CAP_NET_RAW"; do
    [[ " $(value "${want% *}") " == *" ${want#* } "* ]] || fail "${want% *} lacks ${want#* }"
done
for family in AF_INET AF_NETLINK; do
    [[ " $(value RestrictAddressFamilies) " == *" $family "* ]] || fail "RestrictAddressFamilies lacks $family"
done
[ "$(value DynamicUser)" = yes ] || fail "the service does not run as a user of its own"
! grep -qE '^(User=(root|0)|PrivateNetwork=(yes|true)|IPAddressDeny=)' "$unit" || fail "root, or a network cut off"

# ExecStart as systemd hands it to the shell ($$ is a $), with a stub in
# place of the program that prints its arguments one a line.
printf '#!/bin/sh\nfor a in "$@"; do printf "%%s\\n" "$a"; done\n' >"$tmp/stub" && chmod +x "$tmp/stub"
line=$(value ExecStart)
line=${line//\$\$/\$}
line=${line//\/usr\/bin\/brelvo-cli/$tmp/stub}
args() { # settings file -> the program's arguments, joined by '|'
    local env=() key val
    while IFS= read -r l; do
        case "$l" in ''|'#'*) continue ;; esac
        key=${l%%=*} val=${l#*=}
        env+=("$key=$val")
    done <"$1"
    eval "env -i ${env[*]@Q} $line" | paste -sd '|'
}
got=$(args "$conf")
[ "$got" = "serve|--address|192.168.1.10|--firmware|/srv/brelvo/firmware|--report|/var/log/brelvo-tool/station.log" ] \
    || fail "example settings give: $got"
sed -e 's|^BRELVO_CONFIG=.*|BRELVO_CONFIG=/srv/brelvo/config dir/factory.bin|' -e 's|^BRELVO_OPTIONS=.*|BRELVO_OPTIONS=--erase  --devices 5|' \
    "$conf" >"$tmp/with-config.conf"
got=$(args "$tmp/with-config.conf")
[ "$got" = "serve|--address|192.168.1.10|--firmware|/srv/brelvo/firmware|--config|/srv/brelvo/config dir/factory.bin|--erase|--devices|5" ] \
    || fail "settings with a configuration file give: $got"

[ "$fails" = 0 ] || { echo "$fails check(s) failed"; exit 1; }
echo "service template: all checks passed"
