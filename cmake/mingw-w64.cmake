# Cross-building for 64-bit Windows with MinGW-w64 (Debian's g++-mingw-w64-x86-64-posix).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Libraries and headers come from the MinGW sysroot and from the static prefix that
# scripts/build-windows-deps.sh builds; programs (pkg-config, code generators) from the host.

# Read again as the rules override, once a compiler is known: only the library suffixes.
if(CMAKE_C_COMPILER_LOADED OR CMAKE_CXX_COMPILER_LOADED OR CMAKE_RC_COMPILER_LOADED)
  set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
  return()
endif()

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(MINGW_SYSROOT /usr/${MINGW_TRIPLET})

# The posix thread model, so std::thread and std::mutex exist.
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_AR ${MINGW_TRIPLET}-ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${MINGW_TRIPLET}-ranlib CACHE FILEPATH "Archive indexer")

# try_compile projects read this file with a source directory of their own, so the default
# is taken from this file's place in the tree.
get_filename_component(_xpsconv_source_dir "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(XPSCONV_WINDOWS_PREFIX "${_xpsconv_source_dir}/build-windows/deps/prefix"
    CACHE PATH "Static Windows libraries built by scripts/build-windows-deps.sh")
# try_compile projects get a fresh cache: hand the chosen prefix down to them.
# (list(FIND), not IN_LIST: projects with an old cmake_minimum_required read this file too.)
list(FIND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES XPSCONV_WINDOWS_PREFIX _xpsconv_prefix_passed)
if(_xpsconv_prefix_passed EQUAL -1)
  list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES XPSCONV_WINDOWS_PREFIX)
endif()

set(CMAKE_FIND_ROOT_PATH ${MINGW_SYSROOT} ${XPSCONV_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static archives only: the programs must not need libstdc++, libgcc or winpthread DLLs,
# and a find_library for z must not pick the sysroot's import library libz.dll.a.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
set(CMAKE_FIND_LIBRARY_PREFIXES lib "")
# Enabling a language reads Platform/Windows-GNU, which puts .dll.a back in front; the rules
# override file is read after it, so this file is named as that too (see the top).
set(CMAKE_USER_MAKE_RULES_OVERRIDE "${CMAKE_CURRENT_LIST_FILE}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# pkg-config sees the prefix only, never the build machine's own .pc files, and reports the
# private dependencies a static link needs.
set(ENV{PKG_CONFIG_LIBDIR} "${XPSCONV_WINDOWS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_EXECUTABLE pkg-config CACHE FILEPATH "pkg-config for the Windows prefix")
set(PKG_CONFIG_ARGN --static CACHE STRING "Arguments for pkg-config")
