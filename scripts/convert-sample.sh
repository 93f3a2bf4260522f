#!/usr/bin/env bash
# Installs what is missing, builds, and converts the sample document shipped in the repo.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
# Only the programs: the test suite is not needed to convert.
"$root/scripts/build.sh" "$root/build" -DXPSCONV_TESTS=OFF
out="$root/out"
mkdir -p "$out"
"$root/build/bin/xpsconv" -i "$root/samples/sample.xps" -t pdf -o "$out" -pt "Sample document"
"$root/build/bin/xpsconv" -i "$root/samples/sample.xps" -t png -mx 96 -my 96 -o "$out"
ls -l "$out"
