// SPDX-License-Identifier: MIT
#pragma once

// Word access to a block, from byte `at` on, for the checksum code's own
// use. Compilers turn the copy into one load and the swap into
// one instruction.

#include "checksums/block.h"

#include <bit>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);

inline std::uint64_t swap_bytes(std::uint64_t v)
{
    v = ((v & 0x00FF00FF00FF00FFu) << 8u) | ((v >> 8u) & 0x00FF00FF00FF00FFu);
    v = ((v & 0x0000FFFF0000FFFFu) << 16u) | ((v >> 16u) & 0x0000FFFF0000FFFFu);
    return (v << 32u) | (v >> 32u);
}

inline std::uint32_t swap_bytes(std::uint32_t v)
{
    v = ((v & 0x00FF00FFu) << 8u) | ((v >> 8u) & 0x00FF00FFu);
    return (v << 16u) | (v >> 16u);
}

// The first byte lowest: byte k of the eight at bits 8k to 8k + 7.
inline std::uint64_t load_le64(const Block& block, std::size_t at)
{
    std::uint64_t v;
    std::memcpy(&v, &block[at], sizeof v);
    return std::endian::native == std::endian::little ? v : swap_bytes(v);
}

// The first byte highest, as the register reads the bytes: a word of 64 or
// 32 bits.
template <typename Word>
Word load_be(const Block& block, std::size_t at)
{
    Word v;
    std::memcpy(&v, &block[at], sizeof v);
    return std::endian::native == std::endian::big ? v : swap_bytes(v);
}
