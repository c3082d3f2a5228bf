// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

// Every stream the check reads or writes goes through 64 KiB: one system
// call for many blocks, and small beside the rest of the check's state,
// which is the same whatever the files' sizes.
inline constexpr std::size_t BUFFER_SIZE = 1 << 16;
