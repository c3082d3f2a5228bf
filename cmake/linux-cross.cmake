# SPDX-License-Identifier: MIT
# Every Linux cross build: the target QUORVIL_TARGET (a name from
# cmake/targets, or the environment variable of that name, as the preset
# `cross` passes it) gives the triplet and the qemu-user emulator:
#   QUORVIL_TARGET=armhf cmake --workflow --preset cross
if(NOT QUORVIL_TARGET)
  set(QUORVIL_TARGET $ENV{QUORVIL_TARGET})
endif()
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/targets lines REGEX "^${QUORVIL_TARGET} ")
if(NOT QUORVIL_TARGET OR NOT lines)
  message(FATAL_ERROR "QUORVIL_TARGET must name a line of cmake/targets, not '${QUORVIL_TARGET}'")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVIL_TARGET)
string(REGEX REPLACE " +" ";" fields "${lines}")
list(GET fields 1 CROSS_TRIPLET)
list(GET fields 2 emulator)
list(GET fields 4 cpu)
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${CROSS_TRIPLET})
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/${emulator})
if(cpu STREQUAL "windows32")
  include(${CMAKE_CURRENT_LIST_DIR}/windows32-cpu.cmake)
  set(CMAKE_CXX_FLAGS_INIT ${WINDOWS32_CPU_FLAGS})
endif()
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
