# Windows resources of the three programs: version information from project(VERSION), and for
# the two executables the manifest (UTF-8 code page, long paths).
#   xpsconv_windows_resources(TARGET NAME DESCRIPTION [MANIFEST])

function(xpsconv_windows_resources target name description)
  set(XPSCONV_RC_NAME "${name}")
  set(XPSCONV_RC_DESCRIPTION "${description}")
  set(XPSCONV_RC_MANIFEST "")
  set(XPSCONV_RC_FILETYPE VFT_DLL)
  if("MANIFEST" IN_LIST ARGN)
    set(XPSCONV_RC_FILETYPE VFT_APP)
    # 1 is the manifest a program's own loader reads; 24 is RT_MANIFEST.
    set(XPSCONV_RC_MANIFEST "1 24 \"${PROJECT_SOURCE_DIR}/packaging/windows/xpsconv.manifest\"")
  endif()
  set(rc "${CMAKE_BINARY_DIR}/resources/${target}.rc")
  configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in" "${rc}" @ONLY)
  target_sources(${target} PRIVATE "${rc}")
  set_source_files_properties("${rc}" PROPERTIES
    OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/packaging/windows/xpsconv.manifest")
endfunction()
