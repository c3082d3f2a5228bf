// SPDX-License-Identifier: MIT
#include "check/difference.h"

#include "checksums/block_report.h"
#include "checksums/crc16.h"

#include <bit>

Difference explain(const Block& block, std::size_t filled, const Sums& stored)
{
    // The block's own values, taken from its report the same way as the
    // stored ones, so that both sides are read alike.
    Sums now{};
    const Report report = format_block_report(block);
    read_record(report.data(), report.size(), LineEnd::LF, now);

    Difference d{};
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        d.rows = static_cast<std::uint16_t>(d.rows | (now.rows[r] != stored.rows[r] ? 1u << r : 0u));
    }
    for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
        d.columns =
            static_cast<std::uint8_t>(d.columns | (now.columns[c] != stored.columns[c] ? 1u << c : 0u));
    }
    d.crc = now.crc != stored.crc;

    // One changed byte adds the same amount to its row and to its column
    // and to no other sum. Other changes can look alike in the sums, so the
    // CRC decides: with the byte put back it must be the stored one.
    if (std::popcount(d.rows) != 1 || std::popcount(d.columns) != 1) {
        return d;
    }
    const auto r = static_cast<std::size_t>(std::countr_zero(d.rows));
    const auto c = static_cast<std::size_t>(std::countr_zero(d.columns));
    const auto delta = static_cast<std::uint8_t>(now.rows[r] - stored.rows[r]);
    const std::size_t offset = r * BLOCK_COLUMNS + c;
    if (delta != static_cast<std::uint8_t>(now.columns[c] - stored.columns[c]) || offset >= filled) {
        return d;
    }
    Block before = block;
    before[offset] = static_cast<std::uint8_t>(block[offset] - delta);
    if (crc16_block(before) == stored.crc) {
        d.located = true;
        d.offset = offset;
        d.is = block[offset];
        d.was = before[offset];
    }
    return d;
}
