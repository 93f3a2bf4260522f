#!/usr/bin/env bash
# Runs the Windows programs of WINBUILD (default: build-windows) under Wine on the sample and
# checks what they write with the Linux readers, against what the Linux programs of BUILD
# (default: build) write from the same document: PDF, multi-page TIFF, JPEG, EMF and the page
# formats whose bytes are ours; then the start-up failure without the engine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
winbuild="$(cd "${1:-$root/build-windows}" && pwd)"
build="$(cd "${2:-$root/build}" && pwd)"
scratch="$(mktemp -d)"
fail() { echo "check-windows: $*" >&2; exit 1; }

# A private Wine prefix, headless and quiet. Wine's helper processes start with the first call
# and keep its standard output open, so they are started once here with theirs on /dev/null.
export WINEPREFIX="$winbuild/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 || true  # already running for this prefix
wine cmd /c exit >/dev/null 2>&1 || true
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT

winpath() { winepath -w "$1" 2>/dev/null; }
sample="$root/samples/sample.xps"
linux() { "$build/bin/xpsconv" -i "$sample" -o "$scratch/linux/$1" "${@:2}" >/dev/null; }
windows() {
  mkdir -p "$scratch/windows/$1"
  wine "$winbuild/bin/xpsconv.exe" -i "$(winpath "$sample")" -o "$(winpath "$scratch/windows/$1")\\" \
    "${@:2}" </dev/null >/dev/null
}
both() { linux "$@"; windows "$@"; }

# Normalised root-mean-square difference of two images of the same size.
rmse() {
  local report
  report="$(compare -metric RMSE "$1" "$2" null: 2>&1 || true)"
  sed -n 's/.*(\([0-9.e+-]*\)).*/\1/p' <<<"$report"
}
same_pixels() {
  local difference
  difference="$(rmse "$1" "$2")"
  [ -n "$difference" ] || fail "$3: the images cannot be compared: $(compare -metric RMSE "$1" "$2" null: 2>&1 || true)"
  awk -v d="$difference" 'BEGIN { exit !(d < 0.01) }' || fail "$3: RMSE $difference against the Linux output"
  echo "  $3: RMSE $difference"
}

echo "check-windows: PDF"
both pdf -t pdf -pt "Windows check"
win_pdf="$scratch/windows/pdf/sample.pdf"
# Read whole before it is searched: grep -q stops early, and the reader's broken pipe would
# fail the line under pipefail.
info="$(pdfinfo "$win_pdf")" || fail "pdfinfo does not read the PDF"
grep -q "^Title: *Windows check$" <<<"$info" || fail "the PDF has not the title given"
qpdf --check "$win_pdf" >/dev/null || fail "qpdf --check refuses the PDF"
pdftoppm -r 60 -png "$win_pdf" "$scratch/win-pdf"
pdftoppm -r 60 -png "$scratch/linux/pdf/sample.pdf" "$scratch/linux-pdf"
for page in "$scratch"/linux-pdf-*.png; do
  same_pixels "$page" "$scratch/win-pdf-${page##*/linux-pdf-}" "PDF page ${page##*-}"
done

# A drive folder given without its final backslash, as people type it.
rm -rf "$WINEPREFIX/drive_c/out"
wine "$winbuild/bin/xpsconv.exe" -i "$(winpath "$sample")" -t pdf -o 'C:\out' </dev/null >/dev/null
qpdf --check "$WINEPREFIX/drive_c/out/sample.pdf" >/dev/null || fail "-o C:\out wrote no sound PDF"

echo "check-windows: encrypted PDF"
windows pdf-locked -t pdf -pu user -pn owner -pl 128
qpdf --password=user --check "$scratch/windows/pdf-locked/sample.pdf" >/dev/null ||
  fail "the encrypted PDF does not open with its user password"
encryption="$(qpdf --show-encryption --password=owner "$scratch/windows/pdf-locked/sample.pdf")"
grep -q "R = 3" <<<"$encryption" || fail "the encrypted PDF is not revision 3"

echo "check-windows: multi-page TIFF"
both tif -t tif -mm -mb 1
win_tif="$(ls "$scratch"/windows/tif/*.tif)"
tiffinfo "$win_tif" >/dev/null 2>&1 || fail "tiffinfo does not read $win_tif"
[ "$(tiffinfo "$win_tif" 2>/dev/null | grep -c 'Bits/Sample: 1')" -ge 1 ] || fail "the TIFF is not bilevel"
cmp -s "$win_tif" "$(ls "$scratch"/linux/tif/*.tif)" && echo "  TIFF: byte-identical" ||
  same_pixels "$(ls "$scratch"/linux/tif/*.tif)" "$win_tif" "TIFF"

echo "check-windows: JPEG"
both jpg -t jpg
for page in "$scratch"/linux/jpg/*.jpg; do
  win_page="$scratch/windows/jpg/${page##*/}"
  djpeg "$win_page" >"$scratch/page.ppm" || fail "djpeg does not read $win_page"
  same_pixels "$page" "$win_page" "JPEG ${page##*/}"
done

echo "check-windows: EMF"
both emf -t emf
for page in "$scratch"/linux/emf/*.emf; do
  win_page="$scratch/windows/emf/${page##*/}"
  emf2svg-conv -i "$win_page" -o "$scratch/win.svg" || fail "emf2svg-conv does not read $win_page"
  emf2svg-conv -i "$page" -o "$scratch/linux.svg"
  # The reference screens differ (Wine without a display has its own), so the pictures are
  # compared at one size.
  rsvg-convert -w 300 -h 400 -o "$scratch/win-emf.png" "$scratch/win.svg"
  rsvg-convert -w 300 -h 400 -o "$scratch/linux-emf.png" "$scratch/linux.svg"
  same_pixels "$scratch/linux-emf.png" "$scratch/win-emf.png" "EMF ${page##*/}"
done

echo "check-windows: page formats written by our own code"
for type in bmp png gif pcx tga ras; do
  both "$type" -t "$type"
  for page in "$scratch/linux/$type"/*; do
    win_page="$scratch/windows/$type/${page##*/}"
    [ -f "$win_page" ] || fail "$type: no ${page##*/}"
    cmp -s "$page" "$win_page" || fail "$type: ${page##*/} differs from the Linux output"
  done
  echo "  $type: byte-identical"
done

echo "check-windows: a folder holding a name beyond ASCII"
mkdir -p "$scratch/umlaut" "$scratch/windows/umlaut"
cp "$sample" "$scratch/umlaut/Größe.xps"
for type in pdf png; do
  wine "$winbuild/bin/xpsconv.exe" -i "$(winpath "$scratch/umlaut")\\" -t "$type" \
    -o "$(winpath "$scratch/windows/umlaut")" </dev/null >/dev/null || fail "Größe.xps as $type failed"
done
qpdf --check "$scratch/windows/umlaut/Größe.pdf" >/dev/null || fail "no sound Größe.pdf"
[ -f "$scratch/windows/umlaut/Größe_001.png" ] || fail "no Größe_001.png"

echo "check-windows: no engine"
lonely="$scratch/lonely"
mkdir -p "$lonely"
cp "$winbuild/bin/xpsconv.exe" "$winbuild/bin/mstar.dll" "$lonely/"
set +e
message="$(wine "$lonely/xpsconv.exe" -i "$(winpath "$sample")" -t pdf -o 'C:\out\' 2>&1 </dev/null)"
status=$?
set -e
[ "$status" = 2 ] || fail "without proc.dll the exit status is $status, not 2"
grep -q "Load proc.dll failed, please reinstall!" <<<"$message" || fail "without proc.dll: $message"

echo "check-windows: every check passed"
