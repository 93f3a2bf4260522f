#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" --with-tests
build="${1:-$root/build}"
shift || true
"$root/scripts/build.sh" "$build" -DXPSCONV_TESTS=ON "$@"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
