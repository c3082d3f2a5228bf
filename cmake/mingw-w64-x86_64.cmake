# SPDX-License-Identifier: MIT
# The same Windows console build for 64-bit Windows (package
# g++-mingw-w64-x86-64-posix), tested under 64-bit Wine (package wine64),
# which runs where 32-bit programs cannot: cmake --workflow --preset windows64
set(CROSS_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
