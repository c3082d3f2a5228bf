// SPDX-License-Identifier: MIT
#pragma once

// The block report done the plain way, to hold the fast code to:
// the register stepped bit by bit, sums in byte loops, snprintf formatting.

#include "checksums/block.h"
#include "checksums/block_report.h"
#include "checksums/crc16.h"

#include <cstdint>
#include <cstdio>
#include <string>

inline std::uint16_t reference_shift_byte(std::uint16_t reg, std::uint8_t byte)
{
    for (int bit = 0; bit < 8; ++bit) {
        const bool carry = (reg & 0x8000u) != 0;
        reg = static_cast<std::uint16_t>((reg << 1u) | (byte >> 7u));
        byte = static_cast<std::uint8_t>(byte << 1u);
        if (carry) {
            reg ^= CRC16_POLY;
        }
    }
    return reg;
}

inline std::uint16_t reference_crc16_block(const Block& block)
{
    std::uint16_t reg = 0;
    for (std::uint8_t byte : block) {
        reg = reference_shift_byte(reg, byte);
    }
    return reg;
}

// The block's values, in byte loops.
inline BlockSums reference_sums(const Block& block)
{
    BlockSums sums{};
    for (std::size_t i = 0; i < BLOCK_SIZE; ++i) {
        sums.rows[i / BLOCK_COLUMNS] = static_cast<std::uint8_t>(sums.rows[i / BLOCK_COLUMNS] + block[i]);
        sums.columns[i % BLOCK_COLUMNS] =
            static_cast<std::uint8_t>(sums.columns[i % BLOCK_COLUMNS] + block[i]);
    }
    sums.crc = reference_crc16_block(block);
    return sums;
}

inline std::string reference_report(const Block& block)
{
    std::string out = "yoko\n";
    char text[8];
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        unsigned sum = 0;
        for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
            sum += block[r * BLOCK_COLUMNS + c];
        }
        std::snprintf(text, sizeof text, "%02X ", sum & 0xFFu);
        out += text;
    }
    out += "\ntate\n";
    for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
        unsigned sum = 0;
        for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
            sum += block[r * BLOCK_COLUMNS + c];
        }
        std::snprintf(text, sizeof text, "%02X ", sum & 0xFFu);
        out += text;
    }
    std::snprintf(text, sizeof text, "%04X\n\n", static_cast<unsigned>(reference_crc16_block(block)));
    return out + text;
}
