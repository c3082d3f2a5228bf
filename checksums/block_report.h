// SPDX-License-Identifier: MIT
#pragma once

#include "checksums/block.h"

#include <array>
#include <cstddef>
#include <cstdint>

// One block's report, five lines: "yoko", the 16 row sums as "XX " each,
// "tate", the 8 column sums as "XX " each followed by the CRC as "XXXX",
// and an empty line. Hex digits are uppercase, every value zero-padded.
// This is the layout, written once: everything but the digits is the same
// for every block, and the size and the digits' places derive from it.
inline constexpr char REPORT_TEMPLATE[] = "yoko\n"
                                          "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \n"
                                          "tate\n"
                                          "00 00 00 00 00 00 00 00 0000\n"
                                          "\n";
inline constexpr std::size_t REPORT_SIZE = sizeof REPORT_TEMPLATE - 1;
using Report = std::array<char, REPORT_SIZE>;

// What one block's report says, as numbers: each row's and each column's
// sum modulo 256, and the CRC.
struct BlockSums {
    std::array<std::uint8_t, BLOCK_ROWS> rows;
    std::array<std::uint8_t, BLOCK_COLUMNS> columns;
    std::uint16_t crc;
    friend bool operator==(const BlockSums&, const BlockSums&) = default;
};

// The block's values, computed as the report computes them.
BlockSums sum_block(const Block& block);

// The report of one block, byte for byte. Sums are taken modulo 256; the
// CRC register starts at 0 for every block.
Report format_block_report(const Block& block);

// Writes the block's report to standard output. A failed write shows in
// the stream's error indicator.
void report_block(const Block& block);
