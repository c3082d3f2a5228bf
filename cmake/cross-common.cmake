# SPDX-License-Identifier: MIT
# What every cross build shares: Debian's cross compiler for the triplet
# (mingw-w64's -posix one for Windows), the target's libraries and headers
# from /usr/TRIPLET, the build's tools from the host, and the program linked
# statically so that it runs with nothing else installed, under an emulator
# too. The including toolchain file sets CROSS_TRIPLET, CMAKE_SYSTEM_NAME,
# CMAKE_SYSTEM_PROCESSOR and CMAKE_CROSSCOMPILING_EMULATOR first.
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(CMAKE_CXX_COMPILER ${CROSS_TRIPLET}-g++-posix)
  set(CMAKE_RC_COMPILER ${CROSS_TRIPLET}-windres)
else()
  set(CMAKE_CXX_COMPILER ${CROSS_TRIPLET}-g++)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
