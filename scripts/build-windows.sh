#!/usr/bin/env bash
# Cross-builds the converter for 64-bit Windows: xpsconv.exe, proc.dll and mstar.dll in
# BUILD/bin (default BUILD: build-windows). The static library prefix is made first (or taken
# from its cache in BUILD/deps). Extra arguments go to cmake.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-windows}"
shift || true
prefix="$build/deps/prefix"
"$root/scripts/build-windows-deps.sh" "$prefix"
cmake -S "$root" -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DXPSCONV_WINDOWS_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" \
  -DXPSCONV_TESTS=OFF "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
