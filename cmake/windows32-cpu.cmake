# SPDX-License-Identifier: MIT
# The CPU that the 32-bit Windows build is for: one with SSE2, which every
# 32-bit Windows 8 and 10 requires, and the UTF-8 code page of the manifest
# exists only from Windows 10 version 1903 on. Without it mingw-w64 builds
# for a Pentium Pro, and none of the block report's vector code exists.
# -mstackrealign keeps 16-byte spills safe on Windows' 4-byte-aligned
# stacks; mingw-w64 turns it on with SSE, and it is said here so that it
# stays on. The i686 Linux target "i686-sse2" in cmake/targets builds with
# the same flags, to run them under qemu.
set(WINDOWS32_CPU_FLAGS "-msse2 -mfpmath=sse -mstackrealign")
