# The Debian package: what Debian's own checks ask of a binary package beside the install
# layout (a machine-readable copyright file, a compressed changelog and manual page, a bash
# completion made from the help file, a real maintainer), then CPack's settings.

set(XPSCONV_MAINTAINER "xpsconv developers <developers@xpsconv.org>" CACHE STRING
    "The maintainer named in the Debian package and its changelog")
set(XPSCONV_DEB_RELEASE 1)
set(XPSCONV_DEB_VERSION "${PROJECT_VERSION}-${XPSCONV_DEB_RELEASE}")
set(debian_dir "${PROJECT_SOURCE_DIR}/packaging/debian")
set(debian_out "${CMAKE_BINARY_DIR}/debian")
file(MAKE_DIRECTORY "${debian_out}")

# Compressed without a name or time stamp, so the package's bytes do not depend on the build.
find_program(GZIP_PROGRAM gzip REQUIRED)
configure_file("${debian_dir}/changelog.in" "${debian_out}/changelog.Debian" @ONLY)
add_custom_command(OUTPUT "${debian_out}/changelog.Debian.gz"
  COMMAND ${GZIP_PROGRAM} -9n -c "${debian_out}/changelog.Debian" > "${debian_out}/changelog.Debian.gz"
  DEPENDS "${debian_out}/changelog.Debian")
add_custom_command(OUTPUT "${XPSCONV_MAN_PAGE}.gz"
  COMMAND ${GZIP_PROGRAM} -9n -c "${XPSCONV_MAN_PAGE}" > "${XPSCONV_MAN_PAGE}.gz"
  DEPENDS "${XPSCONV_MAN_PAGE}")
set(XPSCONV_COMPLETION "${debian_out}/xpsconv")
add_custom_command(OUTPUT "${XPSCONV_COMPLETION}"
  COMMAND ${CMAKE_COMMAND} -DHELP=${XPSCONV_HELP_FILE}
          -DTEMPLATE=${debian_dir}/xpsconv.bash-completion.in -DOUT=${XPSCONV_COMPLETION}
          -P ${PROJECT_SOURCE_DIR}/cmake/help_to_completion.cmake
  DEPENDS ${XPSCONV_HELP_FILE} ${debian_dir}/xpsconv.bash-completion.in
          ${PROJECT_SOURCE_DIR}/cmake/help_to_completion.cmake
  COMMENT "Writing the bash completion from the help file")
add_custom_target(xpsconv_package_files ALL
  DEPENDS "${debian_out}/changelog.Debian.gz" "${XPSCONV_MAN_PAGE}.gz" "${XPSCONV_COMPLETION}")

install(FILES "${XPSCONV_MAN_PAGE}.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES "${debian_out}/changelog.Debian.gz" "${debian_dir}/copyright"
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES "${XPSCONV_COMPLETION}" DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES "${debian_dir}/lintian-overrides" DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME xpsconv)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME xpsconv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${XPSCONV_DEB_RELEASE})
set(CPACK_PACKAGE_CONTACT "${XPSCONV_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts XPS documents to PDF or to page images")
set(CPACK_PACKAGE_DESCRIPTION
    "xpsconv converts XPS and OpenXPS documents, one by one or whole folders
of them, into PDF files (optionally encrypted, with document information
and a text overlay) or into page images: BMP, PNG, JPEG, GIF, PCX, TIFF
(single and multi-page), TGA, JPEG 2000, Sun raster, EMF and WMF. It is
made for batch jobs: outputs appear only when complete, and the exit
status tells what happened.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_LICENSE "AGPL-3.0-or-later")
# The runtime libraries are found by dpkg-shlibdeps from what the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
