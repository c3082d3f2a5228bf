# SPDX-License-Identifier: MIT
# 64-bit big-endian Linux on IBM Z (package g++-s390x-linux-gnu):
#   cmake --workflow --preset linux-s390x
# Its tests run under qemu-user (package qemu-user-static).
set(CROSS_TRIPLET s390x-linux-gnu)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-s390x-static)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
