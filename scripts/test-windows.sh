#!/usr/bin/env bash
# Cross-builds the Windows programs together with the test suite and runs the suite under Wine,
# each test program through scripts/run-under-wine.sh, its reader checks on the Linux side.
# Every test must run: one that skips fails this script.
#   scripts/test-windows.sh [BUILD]     (default: build-windows; extra arguments go to cmake)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-windows}"
shift || true
"$root/scripts/install-deps.sh" --with-tests  # the readers, run on the Linux side
"$root/scripts/build-windows.sh" "$build" -DXPSCONV_TESTS=ON "$@"
build="$(cd "$build" && pwd)"
trap 'WINEPREFIX="$build/wine-prefix" wineserver -k >/dev/null 2>&1 || true' EXIT
cd "$build"
set +e
ctest --output-on-failure -j"$(nproc)" 2>&1 | tee ctest.log
status=${PIPESTATUS[0]}
set -e
if grep -q "The following tests did not run" ctest.log; then
  echo "test-windows: some Windows tests were skipped; every one must run" >&2
  exit 1
fi
exit $status
