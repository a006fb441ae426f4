#!/bin/sh
# SPDX-License-Identifier: MIT
# The catalogue fix-up rewrites files in place on every build: a catalogue it
# cannot parse must be refused and left exactly as it was.
# Usage: qm_keep_empty_test.sh <brelvo_qm_keep_empty> <lrelease> <English.ts>
set -u
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
"$2" -silent "$3" -qm "$dir/raw.qm" || { echo "FAIL: lrelease"; exit 1; }
# Cut in the middle of the message table.
head -c $(($(stat -c %s "$dir/raw.qm") - 7)) "$dir/raw.qm" > "$dir/cut.qm"
cp "$dir/cut.qm" "$dir/orig.qm"
"$1" "$dir/cut.qm" 2>/dev/null && { echo "FAIL: damaged catalogue accepted"; exit 1; }
cmp -s "$dir/cut.qm" "$dir/orig.qm" || { echo "FAIL: damaged catalogue modified"; exit 1; }
echo PASS
