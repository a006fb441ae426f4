# SPDX-License-Identifier: MIT
# Windows x86-64 with Debian's mingw-w64 (posix threads), run under Wine:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Executables are static (only system DLLs imported), so a bare .exe runs on
# any Windows 10 or later.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BRELVO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRELVO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRELVO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BRELVO_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BRELVO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Tests and discovery run the .exe files through Wine in this namespace.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/support/wine-run.sh)
