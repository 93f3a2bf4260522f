#!/usr/bin/env bash
# Builds the static libraries the 64-bit Windows build links against, with MinGW-w64, from
# Debian's source packages only.
#   scripts/build-windows-deps.sh [PREFIX]     (default: build-windows/deps/prefix)
# Sources are kept in build-windows/deps/src and built in build-windows/deps/work. Each library
# carries a stamp with the source version and the recipe it was built from, and is rebuilt only
# when one of them changes, so a second run takes seconds.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
deps_dir=$repo/build-windows/deps
prefix=${1:-$deps_dir/prefix}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
src_dir=$deps_dir/src
dl_dir=$src_dir/dl
work_dir=$deps_dir/work
stamp_dir=$prefix/share/xpsconv-deps
unavailable=$stamp_dir/unavailable-sources
extras=$repo/scripts/windows-deps
toolchain=$repo/cmake/mingw-w64.cmake
jobs=2

host=x86_64-w64-mingw32
sysroot=/usr/$host

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

log() { printf '== %s\n' "$*" >&2; }

# ---- Build machine -------------------------------------------------------------------------

# Source packages need a deb-src entry beside the binary one; the same archives serve both.
has_source_index() { [[ $(apt-cache showsrc mupdf 2>/dev/null) == *$'\nVersion: '* ]]; }

ensure_source_index() {
  has_source_index && return 0
  local list=/etc/apt/sources.list.d/debian-src.sources
  if [ ! -f "$list" ]; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      log "adding $list"
      sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        "${sudo_cmd[@]}" tee "$list" >/dev/null
    elif [ -f /etc/apt/sources.list ]; then
      list=/etc/apt/sources.list.d/debian-src.list
      log "adding $list"
      sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list | "${sudo_cmd[@]}" tee "$list" >/dev/null
    fi
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  if ! has_source_index; then
    echo "no Debian source index is available" >&2
    exit 1
  fi
}

# ---- Source packages -----------------------------------------------------------------------

# Newest first.
candidate_versions() {
  apt-cache showsrc "$1" 2>/dev/null |
    awk -v want="$1" '/^Package:/ { name = $2 } /^Version:/ && name == want { print $2 }' |
    sort -u -V -r
}

is_unavailable() { grep -qxF "$1 $2" "$unavailable" 2>/dev/null; }

# The version a build should use: the newest one not known to be missing from the archive.
wanted_version() {
  local version
  for version in $(candidate_versions "$1"); do
    if ! is_unavailable "$1" "$version"; then echo "$version"; return 0; fi
  done
  return 1
}

dsc_file() { echo "$dl_dir/${1}_${2#*:}.dsc"; }

# Downloads the newest source package whose files the archive really has (the security
# suite's index can name revisions that are not there) and prints its version.
fetch_source() {
  local package=$1 version dsc
  mkdir -p "$dl_dir" "$stamp_dir"
  # apt drops its privileges to _apt for downloads when it can write here.
  chmod 0777 "$dl_dir" 2>/dev/null || true
  for version in $(candidate_versions "$package"); do
    is_unavailable "$package" "$version" && continue
    dsc=$(dsc_file "$package" "$version")
    if [ ! -f "$dsc" ]; then
      log "fetching $package $version"
      if ! (cd "$dl_dir" && apt-get source --download-only -qq "$package=$version" \
              >"$dl_dir/$package.log" 2>&1); then
        echo "$package $version: not in the archive, trying an older revision" >&2
        rm -f "$dsc"
        echo "$package $version" >>"$unavailable"
        continue
      fi
    fi
    echo "$version"
    return 0
  done
  echo "no source of $package could be fetched (see $dl_dir/$package.log)" >&2
  return 1
}

# ---- Build environment ---------------------------------------------------------------------

export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib
export STRIP=$host-strip RC=$host-windres WINDRES=$host-windres NM=$host-nm
export CFLAGS="-O2" CXXFLAGS="-O2" CPPFLAGS="" LDFLAGS=""
# pkg-config sees the prefix only.
export PKG_CONFIG=pkg-config PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=""
export PKG_CONFIG_SYSROOT_DIR=""

configure_args() {
  echo --host=$host --build="$(dpkg-architecture -qDEB_BUILD_GNU_TYPE)" \
    --prefix="$prefix" --libdir="$prefix/lib" --disable-shared --enable-static
}

cmake_build() {
  local source=$1 build=$2
  shift 2
  cmake -S "$source" -B "$build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DXPSCONV_WINDOWS_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
    -DBUILD_SHARED_LIBS=OFF "$@" >"$build.configure.log"
}

write_pc() {  # file name description version libs [requires.private] [libs.private] [cflags]
  cat >"$prefix/lib/pkgconfig/$1.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: $1
Description: $2
Version: $3
Requires.private: ${5:-}
Libs: -L\${libdir} $4
Libs.private: ${6:-}
Cflags: -I\${includedir}${7:-}
EOF
}

# ---- Recipes: build_NAME SOURCE BUILD VERSION, installing into $prefix ------------------------

build_libjpeg_turbo() {
  # jpeg62 API, as Debian's libjpeg62-turbo; the SIMD code needs nasm.
  cmake_build "$1" "$2" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG8=OFF -DWITH_JPEG7=OFF -DREQUIRE_SIMD=ON \
    -DCMAKE_INSTALL_LIBDIR="$prefix/lib"  # its .pc file takes a relative one from the build tree
  cmake --build "$2" -j $jobs --target jpeg-static
  # Only the library: the tools are not built, so the install rules are not used.
  install -m 644 "$2/libjpeg.a" "$prefix/lib/"
  install -m 644 "$2/jconfig.h" "$1/jerror.h" "$1/jmorecfg.h" "$1/jpeglib.h" "$prefix/include/"
  install -m 644 "$2/pkgscripts/libjpeg.pc" "$prefix/lib/pkgconfig/"
}

build_libpng1_6() {
  # Debian's patches touch the autotools inputs; the shipped configure is what is wanted.
  (cd "$2" && "$1/configure" $(configure_args) >configure.log)
  make -C "$2" -j $jobs ACLOCAL=: AUTOCONF=: AUTOMAKE=: AUTOHEADER=: libpng16.la >/dev/null
  make -C "$2" ACLOCAL=: AUTOCONF=: AUTOMAKE=: AUTOHEADER=: install-libLTLIBRARIES \
    install-pkgincludeHEADERS install-nodist_pkgincludeHEADERS install-pkgconfigDATA \
    install-header-links install-library-links >/dev/null
  # The unversioned name, as the install's data hook would make it.
  ln -sf libpng16.pc "$prefix/lib/pkgconfig/libpng.pc"
}

build_tiff() {
  cmake_build "$1" "$2" -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
    -Dcxx=OFF -Djpeg=ON -Dzlib=ON -Dpixarlog=ON -Djpeg12=OFF -Djbig=OFF -Dlzma=OFF -Dzstd=OFF \
    -Dwebp=OFF -Dlerc=OFF -Dlibdeflate=OFF
  cmake --build "$2" -j $jobs
  cmake --install "$2" >/dev/null
}

build_openjpeg2() {
  cmake_build "$1" "$2" -DBUILD_CODEC=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_TESTING=OFF \
    -DBUILD_DOC=OFF -DBUILD_JPIP=OFF -DBUILD_JAVA=OFF
  cmake --build "$2" -j $jobs
  cmake --install "$2" >/dev/null
  # On Windows the header declares dllimport unless told the library is static; a static
  # prefix has no other kind, so the header says so itself.
  local header
  header=$(echo "$prefix"/include/openjpeg-*/openjpeg.h)
  sed -i '0,/^#if defined(OPJ_STATIC) || !defined(_WIN32)/s//#ifndef OPJ_STATIC\n#define OPJ_STATIC\n#endif\n&/' \
    "$header"
  grep -q '^#define OPJ_STATIC$' "$header"
}

build_freetype() {
  # No harfbuzz (it is built on top of this one) and no png, bzip2 or brotli: a program that
  # links freetype2 alone then needs nothing beyond zlib.
  cmake_build "$1" "$2" -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
  cmake --build "$2" -j $jobs
  cmake --install "$2" >/dev/null
}

build_harfbuzz() {
  # harfbuzz-subset is what the engine's font subsetter uses; hb-ft is what MuPDF's text
  # layout calls.
  (cd "$2" && "$1/configure" $(configure_args) --with-freetype=yes --with-glib=no \
    --with-gobject=no --with-cairo=no --with-chafa=no --with-icu=no --with-graphite2=no \
    --with-uniscribe=no --with-gdi=no --with-directwrite=no --disable-gtk-doc \
    --disable-introspection >configure.log)
  make -C "$2/src" -j $jobs libs >/dev/null
  make -C "$2/src" install-libLTLIBRARIES install-pkgincludeHEADERS \
    install-nodist_pkgincludeHEADERS install-pkgconfigDATA >/dev/null
}

build_jbig2dec() {
  # The library sources as its Makefile.am lists them, compiled directly: the source package
  # ships no configure. -Dinline=inline keeps the Windows configuration header from redefining
  # the keyword.
  local sources
  sources=$(sed -n '/^libjbig2dec_la_SOURCES/,/^$/p' "$1/Makefile.am" | grep -o '[a-z0-9_]*\.c')
  (cd "$1" && printf '%s\n' $sources |
    xargs -P $jobs -I{} sh -c '$CC $CFLAGS -Dinline=inline -Wall -c {} -o "$0/$(basename {} .c).o"' "$2")
  rm -f "$prefix/lib/libjbig2dec.a"
  $AR rcs "$prefix/lib/libjbig2dec.a" "$2"/*.o
  install -m 644 "$1/jbig2.h" "$prefix/include/"
  local upstream=${3#*:}
  write_pc jbig2dec "JBIG2 decoder library" "${upstream%%-*}" -ljbig2dec
}

build_mujs() {
  make -C "$1" -j $jobs build=release OUT="$2" CC="$CC" AR="$AR" HAVE_READLINE=no \
    XCFLAGS="$CFLAGS" "$2/libmujs.a" >/dev/null
  install -m 644 "$2/libmujs.a" "$prefix/lib/"
  install -m 644 "$1/mujs.h" "$prefix/include/"
  local upstream=${3#*:}
  write_pc mujs "MuJS embeddable Javascript interpreter" "${upstream%%-*}" -lmujs
}

# Not a Debian package: MuPDF's XML reader links the HTML5 parser even with HTML off, and
# its source package cannot be had, so a stand-in whose parse always fails takes its place.
build_gumbo() {
  $CC $CFLAGS -Wall -Wextra -c "$extras/gumbo.c" -o "$2/gumbo.o"
  rm -f "$prefix/lib/libgumbo.a"
  $AR rcs "$prefix/lib/libgumbo.a" "$2/gumbo.o"
  install -m 644 "$extras/gumbo.h" "$prefix/include/"
  write_pc gumbo "HTML5 parser stand-in (no HTML support)" "$3" -lgumbo
}

build_mupdf() {
  patch -s -p1 -d "$1" <"$extras/mupdf-html5-no-parser.patch"
  patch -s -p1 -d "$1" <"$extras/mupdf-openjpeg-allocator.patch"
  # XPS and PDF stay; what needs data or libraries this build lacks goes: ICC profiles
  # (lcms2), HTML and EPUB, the OCR and office outputs; no Noto or CJK fonts, only Base-14.
  # OpenJPEG keeps its own allocator, as the image encoders call it outside MuPDF.
  local features="-DFZ_ENABLE_ICC=0 -DFZ_ENABLE_HTML=0 -DFZ_ENABLE_EPUB=0
    -DFZ_ENABLE_OCR_OUTPUT=0 -DFZ_ENABLE_DOCX_OUTPUT=0 -DFZ_ENABLE_ODT_OUTPUT=0
    -DTOFU -DTOFU_CJK -DFZ_OPJ_LIBRARY_ALLOCATOR"
  # Debian's source ships the Base-14 fonts only as generated C files.
  local fonts
  fonts=$(cd "$1" && ls generated/resources/fonts/urw/*.c | tr '\n' ' ')
  local pc="pkg-config --cflags"
  make -C "$1" -j $jobs OS=mingw64-cross build=release libs OUT="$2" \
    CC="$CC" CXX="$CXX" LD="$CC" AR="$AR" RANLIB="$RANLIB" \
    USE_SYSTEM_LIBS=yes USE_SYSTEM_MUJS=yes USE_SYSTEM_LCMS2=yes \
    HAVE_X11=no HAVE_GLUT=no HAVE_CURL=no HAVE_OBJCOPY=no \
    XCFLAGS="$(echo $features)" FONT_GEN="$fonts" \
    SYS_FREETYPE_CFLAGS="$($pc freetype2)" SYS_HARFBUZZ_CFLAGS="$($pc harfbuzz)" \
    SYS_JBIG2DEC_CFLAGS="$($pc jbig2dec)" SYS_LIBJPEG_CFLAGS="$($pc libjpeg)" \
    SYS_OPENJPEG_CFLAGS="$($pc libopenjp2)" SYS_ZLIB_CFLAGS="$($pc zlib)" \
    SYS_MUJS_CFLAGS="$($pc mujs)" SYS_GUMBO_CFLAGS="$($pc gumbo)" >"$2.make.log"
  install -m 644 "$2/libmupdf.a" "$2/libmupdf-third.a" "$prefix/lib/"
  rm -rf "$prefix/include/mupdf"
  cp -r "$1/include/mupdf" "$prefix/include/"
  local upstream=${3#*:}
  write_pc mupdf "MuPDF (XPS and PDF)" "${upstream%%+*}" "-lmupdf -lmupdf-third" \
    "freetype2 harfbuzz libopenjp2 libjpeg zlib jbig2dec mujs gumbo"
}

build_qpdf() {
  # Its configure checks link "Advapi32", which only a case-insensitive file system finds:
  # the name is given to them on a private search path.
  mkdir -p "$2/case"
  ln -sf "$sysroot/lib/libadvapi32.a" "$2/case/libAdvapi32.a"
  # The native crypto provider only: no OpenSSL or GnuTLS here.
  cmake_build "$1" "$2/build" -DREQUIRE_CRYPTO_NATIVE=ON -DUSE_IMPLICIT_CRYPTO=OFF \
    -DBUILD_STATIC_LIBS=ON -DBUILD_DOC=OFF -DINSTALL_EXAMPLES=OFF -DINSTALL_MANUAL=OFF \
    -DINSTALL_CMAKE_PACKAGE=OFF -DCMAKE_EXE_LINKER_FLAGS="-static -L$2/case"
  cmake --build "$2/build" -j $jobs --target libqpdf
  # The tools are not built, so only the library's and headers' install rules run.
  cmake --install "$2/build" --component lib >/dev/null
  cmake --install "$2/build" --component dev >/dev/null
  # Its .pc file names zlib and libjpeg; a static link also needs the system library its
  # secure random source lives in.
  sed -i 's/^Libs: .*/&\nLibs.private: -ladvapi32/' "$prefix/lib/pkgconfig/libqpdf.pc"
}

build_googletest() {
  # The test framework for the Windows test suite, from the sources Debian's googletest
  # package ships; GoogleMock is not used.
  cmake_build /usr/src/googletest "$2" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
  cmake --build "$2" -j $jobs
  cmake --install "$2" >/dev/null
}

# ---- Driver --------------------------------------------------------------------------------

recipe_hash() {
  { declare -f "build_$1" cmake_build configure_args write_pc
    echo "$CC $CXX $CFLAGS $CXXFLAGS $jobs"
    cat "$toolchain"
    case $1 in
      mupdf) cat "$extras"/mupdf-*.patch ;;
      gumbo) cat "$extras/gumbo.h" "$extras/gumbo.c" ;;
    esac
  } | sha256sum | cut -c1-16
}

# Runs build_NAME with its output in work/NAME.log, shown in part when it fails.
run_recipe() {
  local name=$1 output=$work_dir/$1.log status
  set +e
  (set -e; "build_$name" "${@:2}") >"$output" 2>&1
  status=$?
  set -e
  if [ $status -ne 0 ]; then
    tail -n 40 "$output" >&2
    echo "building $name failed (exit $status); the whole output is in $output" >&2
    exit 1
  fi
}

# build_from_debian PACKAGE: fetch, unpack and build unless the stamp already matches.
build_from_debian() {
  local package=$1 name=${1//[.-]/_} version stamp source build start
  stamp=$stamp_dir/$package.stamp
  if version=$(wanted_version "$package") &&
      [ "$(cat "$stamp" 2>/dev/null)" = "$version $(recipe_hash "$name")" ]; then
    log "$package $version: up to date"
    return 0
  fi
  version=$(fetch_source "$package")
  if [ "$(cat "$stamp" 2>/dev/null)" = "$version $(recipe_hash "$name")" ]; then
    log "$package $version: up to date"
    return 0
  fi
  start=$SECONDS
  log "$package $version: building"
  source=$src_dir/${package}_${version#*:}
  build=$work_dir/$package
  rm -rf "$source" "$build" "$build".*.log
  dpkg-source --no-copy -x "$(dsc_file "$package" "$version")" "$source" >/dev/null 2>&1
  mkdir -p "$build"
  rm -f "$stamp"
  run_recipe "$name" "$source" "$build" "$version"
  echo "$version $(recipe_hash "$name")" >"$stamp"
  log "$package $version: built in $((SECONDS - start)) s"
}

build_local() {  # NAME VERSION: a library made from this repository's own files
  local name=$1 version=$2 stamp=$stamp_dir/$1.stamp build=$work_dir/$1
  if [ "$(cat "$stamp" 2>/dev/null)" = "$version $(recipe_hash "$name")" ]; then
    log "$name: up to date"
    return 0
  fi
  rm -rf "$build"
  mkdir -p "$build"
  run_recipe "$name" "" "$build" "$version"
  echo "$version $(recipe_hash "$name")" >"$stamp"
  log "$name: built"
}

"$repo/scripts/install-deps.sh" --windows
ensure_source_index
mkdir -p "$prefix/lib/pkgconfig" "$prefix/include" "$stamp_dir" "$src_dir" "$work_dir"

# zlib comes built from libz-mingw-w64-dev. Its own .pc file lies outside the prefix and names
# the sysroot's include directory, so the prefix gets one of its own.
zlib_version=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)
zlib_version=${zlib_version%%[+-]*}
cat >"$prefix/lib/pkgconfig/zlib.pc" <<EOF
libdir=$sysroot/lib

Name: zlib
Description: zlib compression library (libz-mingw-w64-dev)
Version: $zlib_version
Libs: -L\${libdir} -lz
Cflags:
EOF

# In dependency order.
build_from_debian libjpeg-turbo
build_from_debian libpng1.6
build_from_debian tiff
build_from_debian openjpeg2
build_from_debian freetype
build_from_debian harfbuzz
build_from_debian jbig2dec
build_from_debian mujs
build_local gumbo 0-stub
build_from_debian mupdf
build_from_debian qpdf
build_local googletest "$(dpkg-query -W -f='${Version}' googletest)"

# Windows programs and documentation some install rules add are of no use in a link prefix.
# Nor are libtool's archives, which only name paths inside it.
rm -rf "$prefix/bin" "$prefix/share/doc" "$prefix/share/man" "$prefix"/lib/*.la
log "prefix $prefix: $(du -sh "$prefix" | cut -f1)"
