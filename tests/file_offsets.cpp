// SPDX-License-Identifier: MIT
// Files of 4 GiB and more are read only where the C library's file offsets
// are 64 bits wide, which the build asks for on every target. Checked when
// this compiles, because an emulator can hide the fault at run time: qemu
// hands a 32-bit program's opens to the 64-bit kernel, which takes any size.

#if __has_include(<sys/types.h>)
#include <sys/types.h>
static_assert(sizeof(off_t) == 8, "file offsets must be 64 bits: build with _FILE_OFFSET_BITS=64");
#endif
