#!/usr/bin/env bash
# Installs the Debian packages the project needs to build, run and test; skips what is present.
#   --with-tests  also the readers and fonts the tests use; --windows  only the Windows build's
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libtiff-dev libjpeg62-turbo-dev libpng-dev zlib1g-dev libopenjp2-7-dev
  libmupdf-dev libfreetype-dev libharfbuzz-dev libjbig2dec0-dev libgumbo-dev libmujs-dev
  libqpdf-dev libuemf-dev libgtest-dev nlohmann-json3-dev fonts-dejavu-core
)
# The independent readers the tests check outputs with, the fonts poppler and wmf2gd draw the
# standard fonts with (a fresh machine has none), and what the install and package checks run.
test_packages=(
  poppler-utils qpdf libtiff-tools libjpeg-turbo-progs imagemagick netpbm libopenjp2-tools
  emf2svg librsvg2-bin libwmf-bin mupdf-tools pngcheck
  fonts-urw-base35
  file man-db fontconfig unzip lintian jq
)

# The Windows build: the MinGW-w64 cross compilers (POSIX threads), Wine to run the programs,
# what the libraries' own builds need (scripts/build-windows-deps.sh), the installer's compiler
# and what the release check runs on the Windows programs' outputs.
windows_packages=(
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-tools libz-mingw-w64-dev googletest nlohmann-json3-dev wine wine64
  dpkg-dev gcc make cmake ninja-build pkg-config nasm python3 patch xz-utils bzip2
  nsis qpdf pngcheck unzip
)

wanted=("${packages[@]}")
for option in "$@"; do
  case "$option" in
    --with-tests) wanted+=("${test_packages[@]}") ;;
    --windows) wanted=("${windows_packages[@]}") ;;
    *) echo "install-deps: unknown option $option" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
