#!/usr/bin/env bash
# Makes the Windows release from a Windows build (default: build-windows):
# WINBUILD/xpsconv-VERSION-win64.zip holding xpsconv.exe, proc.dll, mstar.dll,
# "Command line.txt", README, LICENSE and the third-party notices in one folder, and the
# installer WINBUILD/xpsconv-VERSION-win64-setup.exe with the same files. Then unpacks the
# archive into a fresh Wine prefix and converts the sample with the unpacked programs, and in
# another fresh prefix installs silently, converts through PATH from a new command prompt,
# uninstalls silently and finds nothing left.
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
for file in xpsconv.exe proc.dll mstar.dll; do
  x86_64-w64-mingw32-objdump -h "$staging/$file" | grep -q '\.debug_' && fail "$file keeps debug sections"
  x86_64-w64-mingw32-objdump -h "$staging/$file" | grep -q '\.rsrc' || fail "$file has no version resource"
done
setup="$winbuild/$name-setup.exe"
makensis -V2 -DVERSION="$version" -DSTAGING="$staging" -DOUTFILE="$setup" \
  "$root/packaging/windows/installer.nsi" >/dev/null || fail "makensis could not build the installer"

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
wineserver -k >/dev/null 2>&1 || true

# The installer round trip, in a prefix of its own.
export WINEPREFIX="$scratch/wine-setup"
mkdir -p "$WINEPREFIX"
wine cmd /c exit >/dev/null 2>&1 || true
cp "$root/samples/sample.xps" "$WINEPREFIX/drive_c/sample.xps"
cp "$setup" "$WINEPREFIX/drive_c/setup.exe"
wine 'C:\setup.exe' /S </dev/null >/dev/null 2>&1 || fail "the silent install failed"
wineserver -w
installed="$WINEPREFIX/drive_c/Program Files/xpsconv"
[ -f "$installed/xpsconv.exe" ] || fail "the installer put no xpsconv.exe into Program Files"
wineserver -k >/dev/null 2>&1 || true  # the next programs start with the PATH the installer left
found="$(wine cmd /c xpsconv --version </dev/null 2>/dev/null | tr -d '\r')"
[ "$found" = "xpsconv $version" ] || fail "xpsconv --version through PATH printed: $found"
wine cmd /c xpsconv -i 'C:\sample.xps' -t pdf -o 'C:\through-path' </dev/null >/dev/null 2>&1 ||
  fail "xpsconv through PATH did not convert the sample"
qpdf --check "$WINEPREFIX/drive_c/through-path/sample.pdf" >/dev/null || fail "the installed program wrote no sound PDF"
wine 'C:\Program Files\xpsconv\uninstall.exe' /S </dev/null >/dev/null 2>&1 || fail "the silent uninstall failed"
wineserver -w
[ ! -e "$installed" ] || fail "the uninstaller left $(ls -A "$installed")"
registry="$(cat "$WINEPREFIX"/system.reg "$WINEPREFIX"/user.reg)"
grep -qi 'Uninstall\\\\xpsconv' <<<"$registry" && fail "the uninstall key is still there"
grep -i '^"Path"=' <<<"$registry" | grep -qi xpsconv && fail "PATH still names xpsconv"
find "$WINEPREFIX/drive_c" -ipath '*start menu*' -iname '*xpsconv*' | grep -q . && fail "a Start-menu entry is left"
echo "package-windows: $setup installs, converts through PATH and uninstalls cleanly"
echo "package-windows: $archive ($(du -h "$archive" | cut -f1)) unpacks and converts the sample"
