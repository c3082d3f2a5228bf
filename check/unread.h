// SPDX-License-Identifier: MIT
#pragma once

// A typed block's digits that could not be read, given by its report
// where the sums and the CRC settle them: block arithmetic, not text.

#include "checksums/block.h"
#include "checksums/block_report.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Which of a byte's digits could not be read.
inline constexpr std::uint8_t UNREAD_HIGH = 2;
inline constexpr std::uint8_t UNREAD_LOW = 1;

// A block's row `row`, added up as its report's row sum is, before the
// sum is cut to a byte.
unsigned row_sum(const Block& block, std::size_t row);

// The values of a block's digits that could not be read, from its report
// (`unread` gives each byte's, as an Origin does; they read as 0 in
// `block`, of which `filled` bytes are FILE's): a digit alone in its row is
// given by the row's sum, one alone in its column by the column's, and so
// on as digits are settled; those left are tried in every value, row by
// row, the last of a row or column again given by its sum, as far as
// UNREAD_TRIED values tried: a block of nothing but unreadable digits
// costs no more than that. Sets them and returns true only where
// exactly one set of values gives every value of the block's report.
inline constexpr long long UNREAD_TRIED = 1 << 16;
// Digits left after the sums alone, at most: the search holds its state a
// digit each, and with more than this left, the values tried would run
// out long before they were covered.
inline constexpr std::size_t UNREAD_LEFT = 16;
bool solve_unread(Block& block, const std::array<std::uint8_t, BLOCK_SIZE>& unread, std::size_t filled,
                  const BlockSums& stored);
