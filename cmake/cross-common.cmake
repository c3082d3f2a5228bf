# SPDX-License-Identifier: MIT
# What every cross build shares: the target's libraries and headers come from
# Debian's cross packages under /usr/TRIPLET, the build's tools from the host,
# and the program is linked statically so that it runs with nothing else
# installed, under an emulator too. The including toolchain file sets
# CROSS_TRIPLET and the compiler first.
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
