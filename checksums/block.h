// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// One block of the input file, in file order. It is read as a grid of
// BLOCK_ROWS rows by BLOCK_COLUMNS columns, row by row: the byte at row r,
// column c is byte r * BLOCK_COLUMNS + c.
inline constexpr std::size_t BLOCK_SIZE = 128;
inline constexpr std::size_t BLOCK_ROWS = 16;
inline constexpr std::size_t BLOCK_COLUMNS = 8;
static_assert(BLOCK_ROWS * BLOCK_COLUMNS == BLOCK_SIZE);

using Block = std::array<std::uint8_t, BLOCK_SIZE>;
