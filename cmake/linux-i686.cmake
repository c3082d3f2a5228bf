# SPDX-License-Identifier: MIT
# 32-bit x86 Linux (package g++-i686-linux-gnu): cmake --workflow --preset linux-i686
# Its tests run under qemu-user (package qemu-user-static), which executes
# the program whether or not the machine's kernel runs 32-bit programs.
set(CROSS_TRIPLET i686-linux-gnu)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-i386-static)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
