# THIRD-PARTY.md: every library the shipped programs link, with the version this build found.
# Sets XPSCONV_THIRD_PARTY_NOTICES to the written file.

pkg_check_modules(NOTICE_VERSIONS QUIET libtiff-4 libjpeg libpng zlib libopenjp2 freetype2 harfbuzz
                  libqpdf gumbo mujs jbig2dec)

function(notice_version module out)
  if(NOTICE_VERSIONS_${module}_VERSION)
    set(${out} "${NOTICE_VERSIONS_${module}_VERSION}" PARENT_SCOPE)
  else()
    set(${out} "unknown" PARENT_SCOPE)
  endif()
endfunction()

notice_version(libtiff-4 TIFF_VERSION)
notice_version(libjpeg JPEG_VERSION)
notice_version(libpng PNG_VERSION)
notice_version(zlib ZLIB_VERSION)
notice_version(libopenjp2 OPENJPEG_VERSION)
notice_version(freetype2 FREETYPE_VERSION)
notice_version(harfbuzz HARFBUZZ_VERSION)
notice_version(libqpdf QPDF_VERSION)
notice_version(gumbo GUMBO_VERSION)
notice_version(mujs MUJS_VERSION)
notice_version(jbig2dec JBIG2DEC_VERSION)

set(MUPDF_VERSION "unknown")
find_file(MUPDF_VERSION_HEADER mupdf/fitz/version.h)
if(MUPDF_VERSION_HEADER)
  file(STRINGS ${MUPDF_VERSION_HEADER} version_line REGEX "#define FZ_VERSION \"")
  string(REGEX REPLACE ".*\"(.*)\".*" "\\1" MUPDF_VERSION "${version_line}")
endif()

# FreeType's pkg-config version is its library interface number; the header has the release.
find_file(FREETYPE_HEADER freetype/freetype.h PATH_SUFFIXES freetype2)
if(FREETYPE_HEADER)
  file(STRINGS ${FREETYPE_HEADER} freetype_lines REGEX "#define FREETYPE_(MAJOR|MINOR|PATCH) ")
  set(freetype_parts "")
  foreach(part_line IN LISTS freetype_lines)
    string(REGEX REPLACE ".* ([0-9]+).*" "\\1" part "${part_line}")
    list(APPEND freetype_parts ${part})
  endforeach()
  list(JOIN freetype_parts "." FREETYPE_VERSION)
endif()

# libUEMF has no pkg-config file: its package's upstream version.
set(UEMF_VERSION "unknown")
execute_process(COMMAND dpkg-query -W -f=\${Version} libuemf-dev
                OUTPUT_VARIABLE uemf_version ERROR_QUIET RESULT_VARIABLE uemf_result)
if(uemf_result EQUAL 0 AND uemf_version)
  string(REGEX REPLACE "[+-].*" "" UEMF_VERSION "${uemf_version}")
endif()

# The Windows build records metafiles with GDI and has no HTML parser (a stub of our own stands
# in for Gumbo), and its libraries were compiled from Debian's source packages into the programs.
if(WIN32)
  set(GUMBO_ROW "")
  set(UEMF_ROW "")
  set(LICENCE_TEXTS "Every library is compiled into the programs from Debian's source package of the version shown; \
each package's `debian/copyright` holds its full licence text.")
else()
  set(GUMBO_ROW "| Gumbo | ${GUMBO_VERSION} | proc.dll | Apache-2.0 |\n")
  set(UEMF_ROW "| libUEMF | ${UEMF_VERSION} | xpsconv (EMF and WMF records) | GPL-2.0-or-later |\n")
  set(LICENCE_TEXTS "The full licence texts of the Debian packages are in `/usr/share/doc/<package>/copyright`.")
endif()

set(XPSCONV_THIRD_PARTY_NOTICES ${CMAKE_BINARY_DIR}/THIRD-PARTY.md)
configure_file(${PROJECT_SOURCE_DIR}/THIRD-PARTY.md.in ${XPSCONV_THIRD_PARTY_NOTICES} @ONLY)
