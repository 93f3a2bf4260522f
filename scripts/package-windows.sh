#!/usr/bin/env bash
# Makes the Windows release archive from a Windows build (default: build-windows):
# WINBUILD/xpsconv-VERSION-win64.zip holding xpsconv.exe, proc.dll, mstar.dll,
# "Command line.txt", README, LICENSE and the third-party notices in one folder. Then unpacks
# it into a fresh Wine prefix and converts the sample with the unpacked programs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
winbuild="$(cd "${1:-$root/build-windows}" && pwd)"
fail() { echo "package-windows: $*" >&2; exit 1; }

version="$(sed -n 's/^project(xpsconv VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
[ -n "$version" ] || fail "no version in CMakeLists.txt"
name="xpsconv-$version-win64"
staging="$winbuild/package/$name"
rm -rf "$winbuild/package"
cmake --install "$winbuild" --prefix "$staging" >/dev/null
for file in xpsconv.exe proc.dll mstar.dll "Command line.txt" README.md LICENSE THIRD-PARTY.md; do
  [ -s "$staging/$file" ] || fail "$file is missing from the install"
done
[ "$(find "$staging" -type f | wc -l)" = 7 ] || fail "the install holds other files: $(ls "$staging")"
archive="$winbuild/$name.zip"
rm -f "$archive"
(cd "$winbuild/package" && cmake -E tar cf "$archive" --format=zip "$name")

# The archive as a user meets it: unpacked into a Wine prefix of its own, run from there.
scratch="$(mktemp -d)"
export WINEPREFIX="$scratch/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 || true
wine cmd /c exit >/dev/null 2>&1 || true
unpacked="$WINEPREFIX/drive_c/Program Files/xpsconv"
mkdir -p "$unpacked"
unzip -q "$archive" -d "$unpacked"
cp "$root/samples/sample.xps" "$WINEPREFIX/drive_c/sample.xps"
wine "$unpacked/$name/xpsconv.exe" -i 'C:\sample.xps' -t pdf -o 'C:\converted' </dev/null >/dev/null ||
  fail "the unpacked programs did not convert the sample to PDF"
wine "$unpacked/$name/xpsconv.exe" -i 'C:\sample.xps' -t png -o 'C:\converted' </dev/null >/dev/null ||
  fail "the unpacked programs did not convert the sample to PNG"
qpdf --check "$WINEPREFIX/drive_c/converted/sample.pdf" >/dev/null || fail "the unpacked programs wrote no sound PDF"
pngcheck -q "$WINEPREFIX/drive_c/converted/sample_001.png" >/dev/null || fail "the unpacked programs wrote no sound PNG"
echo "package-windows: $archive ($(du -h "$archive" | cut -f1)) unpacks and converts the sample"
