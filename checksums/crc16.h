// SPDX-License-Identifier: MIT
#pragma once

#include "checksums/block.h"

#include <cstdint>

// x^16 + x^12 + x^5 + 1, without its x^16 term, in normal bit order.
inline constexpr std::uint16_t CRC16_POLY = 0x1021;

// Shifts one byte, most significant bit first, into the register: the
// register holds the plain remainder of all bytes fed so far, read as one
// polynomial whose highest term is the first byte's bit 7, divided by
// x^16 + x^12 + x^5 + 1. Nothing is appended and nothing is inverted.
//
// With the register as H * x^8 + L (H, L its high and low byte), feeding b
// gives (H * x^16 + L * x^8 + b) mod P. Only H * x^16 needs reducing, and
// with x^16 = x^12 + x^5 + 1 (mod P) that is q * (x^12 + x^5 + 1) for the
// quotient q = H ^ (H >> 4) of H * x^16 by P, kept to 16 bits. So the eight
// feedback steps of one byte collapse into a few shifts and exclusive-ors.
constexpr std::uint16_t crc16_shift_byte(std::uint16_t reg, std::uint8_t byte)
{
    const unsigned high = reg >> 8u;
    const unsigned q = high ^ (high >> 4u);
    return static_cast<std::uint16_t>((reg << 8u) ^ byte ^ (q << 12u) ^ (q << 5u) ^ q);
}

// The register after feeding the block's 128 bytes from a start of 0:
// the block's CRC, equal to 128 calls of crc16_shift_byte.
std::uint16_t crc16_block(const Block& block);
