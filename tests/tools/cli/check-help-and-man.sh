#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# brelvo-cli's --help, --version, usage errors and manual page agree: the
# same options, the same exit codes, the same version; groff has nothing to
# say about the page. Usage: check-help-and-man.sh BRELVO_CLI MAN_PAGE
set -u
cli="$1" page="$2"
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

help=$("$cli" --help) || fail "--help exits $?"
version=$("$cli" --version) || fail "--version exits $?"
[[ "$version" =~ ^brelvo-cli\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version prints '$version'"
head -n1 "$page" | grep -qF "\"$version\"" || fail "the page's title line does not name '$version': $(head -n1 "$page")"

# The options: every long option of --help in the page's OPTIONS, and back.
from_help=$(printf '%s\n' "$help" | grep -oE '^ +(-[a-z], )?--[a-z-]+' | grep -oE -- '--[a-z-]+' | sort -u)
options=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | sed 's/\\-/-/g')
from_page=$(printf '%s\n' "$options" | grep -oE -- '--[a-z-]+' | sort -u)
[ -n "$from_help" ] || fail "no options found in --help"
[ "$from_help" = "$from_page" ] || fail "options differ: --help has $(echo $from_help), the page $(echo $from_page)"
for short in -a -f -c -h; do
    printf '%s\n' "$help" | grep -qE "^ +$short, --" || fail "--help lacks $short"
    printf '%s\n' "$options" | grep -qF -- ".BR $short \", \"" || fail "the page lacks $short"
done

# The exit codes of both commands, in both.
codes_help=$(printf '%s\n' "$help" | sed -n '/^Exit status/,$p' | grep -oE '^ +[0-9] ' | tr -d ' ' | tr '\n' ' ')
codes_page=$(sed -n '/^\.SH EXIT STATUS/,/^\.SH /p' "$page" | grep -oE '^\.B [0-9]$' | cut -c4 | tr '\n' ' ')
[ "$codes_help" = "0 1 2 0 1 2 3 4 " ] || fail "exit codes in --help: $codes_help"
[ "$codes_page" = "0 1 2 0 1 2 3 4 " ] || fail "exit codes in the page: $codes_page"

if command -v groff >/dev/null; then
    warnings=$(groff -man -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff: $warnings"
fi

# A usage error: nothing on standard output, the option named on standard error, exit 2.
usage() { "$cli" check --address 10.0.0.1 --firmware /x --devices 3; }
out=$(usage 2>/dev/null)
err=$(usage 2>&1 >/dev/null)
rc=$?
[ "$rc" = 2 ] && [ -z "$out" ] && [[ "$err" == *"'--devices' belongs to serve"* ]] \
    || fail "usage error: exit $rc, stdout '$out', stderr '$err'"

[ "$fails" = 0 ] || { echo "$fails check(s) failed"; exit 1; }
echo "help and manual page: all checks passed"
