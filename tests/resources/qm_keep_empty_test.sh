#!/bin/sh
# The catalogue fix-up runs on every build: it must turn the null translation
# into an empty one, change nothing else, be repeatable, and refuse input it
# does not understand without touching the file.
# Usage: qm_keep_empty_test.sh <brelvo_qm_keep_empty> <lrelease> <English.ts>
set -u
tool=$1 lrelease=$2 ts=$3
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$lrelease" -silent "$ts" -qm "$dir/raw.qm" || fail "lrelease"
cp "$dir/raw.qm" "$dir/fixed.qm"
# lrelease marks the empty translation as null: 03 ff ff ff ff.
od -An -tx1 -v "$dir/raw.qm" | tr -d ' \n' | grep -q '03ffffffff08' || fail "no null translation in lrelease output"

"$tool" "$dir/fixed.qm" || fail "tool rejected a good catalogue"
[ "$(stat -c %s "$dir/raw.qm")" = "$(stat -c %s "$dir/fixed.qm")" ] || fail "size changed"
od -An -tx1 -v "$dir/fixed.qm" | tr -d ' \n' | grep -q '03ffffffff08' && fail "null translation left"
od -An -tx1 -v "$dir/fixed.qm" | tr -d ' \n' | grep -q '030000000008' || fail "no empty translation written"
# Exactly four bytes differ, all of them the length field.
diffs=$(cmp -l "$dir/raw.qm" "$dir/fixed.qm" | wc -l)
[ "$diffs" = 4 ] || fail "$diffs bytes changed, expected 4"

cp "$dir/fixed.qm" "$dir/again.qm"
"$tool" "$dir/again.qm" || fail "second run failed"
cmp -s "$dir/fixed.qm" "$dir/again.qm" || fail "second run changed the file"

# Truncated in the middle of the message table: refused, file left as it was.
size=$(stat -c %s "$dir/raw.qm")
head -c $((size - 7)) "$dir/raw.qm" > "$dir/cut.qm"
cp "$dir/cut.qm" "$dir/cut.orig"
"$tool" "$dir/cut.qm" 2>/dev/null && fail "truncated catalogue accepted"
cmp -s "$dir/cut.qm" "$dir/cut.orig" || fail "truncated catalogue was modified"

# Not a catalogue at all, and a missing file.
printf 'QWidget { color: red; }\r\n' > "$dir/not.qm"
"$tool" "$dir/not.qm" 2>/dev/null && fail "non-catalogue accepted"
"$tool" "$dir/missing.qm" 2>/dev/null && fail "missing file accepted"
"$tool" 2>/dev/null && fail "no argument accepted"

echo "PASS"
