# SPDX-License-Identifier: MIT
# The 32-bit Windows console build (package g++-mingw-w64-i686-posix):
#   cmake --workflow --preset windows
# Its tests run quorvil.exe under 32-bit Wine (packages wine and wine32),
# on machines that can execute 32-bit programs: ctest --preset windows.
set(CROSS_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/windows32-cpu.cmake)
set(CMAKE_CXX_FLAGS_INIT ${WINDOWS32_CPU_FLAGS})
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
