#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: bench/pacing-both.sh [devices] [blocks]
# The pacing benchmark of the Linux build (build/) and of the Windows build
# under Wine (build-win/, through tests/support/wine-run.sh) one after the
# other on this machine. Loopback traffic only.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
linux="${BRELVO_BUILD_DIR:-$here/build}/bench/brelvo-bench-pacing"
windows="${BRELVO_WIN_BUILD_DIR:-$here/build-win}/bench/brelvo-bench-pacing.exe"
[ -x "$linux" ] && "$linux" "$@" || echo "linux: not built ($linux)"
[ -f "$windows" ] && "$here/tests/support/wine-run.sh" "$windows" "$@" || echo "windows: not built or failed ($windows)"
