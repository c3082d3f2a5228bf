// SPDX-License-Identifier: MIT
#pragma once

// How a block of the file differs from what its stored report says.

#include "check/stored_report.h"

#include <cstddef>
#include <cstdint>

struct Difference {
    std::uint16_t rows;   // bit r set: row r's sum differs
    std::uint8_t columns; // bit c set: column c's sum differs
    bool crc;             // the CRC differs
    // One byte explains it all: the byte at `offset` in the block is `is`,
    // and with `was` in its place the block has every stored value.
    bool located;
    std::size_t offset;
    std::uint8_t is;
    std::uint8_t was;
};

// The difference between `block`, of which the first `filled` bytes come
// from the file (the rest are the zero filling of a short last block), and
// the values `stored` for it. A byte is located only when exactly one row
// and one column differ, by the same amount modulo 256, the byte where they
// cross is one of the file's, and the CRC confirms the value it had.
Difference explain(const Block& block, std::size_t filled, const Sums& stored);
