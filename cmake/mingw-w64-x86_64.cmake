# SPDX-License-Identifier: MIT
# Cross build for 64-bit Windows with Debian's MinGW-w64 (package g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake
# The tests then run under Wine through CMAKE_CROSSCOMPILING_EMULATOR (wine64 from Debian).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(movanta_mingw_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${movanta_mingw_prefix}-gcc)
set(CMAKE_CXX_COMPILER ${movanta_mingw_prefix}-g++)
set(CMAKE_RC_COMPILER ${movanta_mingw_prefix}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${movanta_mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime (libgcc, libstdc++, winpthread) is linked in, so that an .exe or
# .dll runs from any folder without its DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Wine with a prefix of its own in the build folder: the first start there sets it up (several
# seconds), later starts take a fraction of one. Debian's wine64 package installs no wine64 on
# the PATH, only /usr/lib/wine/wine64.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(MOVANTA_WINE NAMES wine wine64 HINTS /usr/lib/wine)
    if(MOVANTA_WINE)
        set(CMAKE_CROSSCOMPILING_EMULATOR
            "${CMAKE_COMMAND};-E;env;WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;${MOVANTA_WINE}"
            CACHE STRING "Runs a Windows program of this build on the build machine")
    endif()
endif()
