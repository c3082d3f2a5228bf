// SPDX-License-Identifier: MIT
#pragma once

// A stored report read the plain way, to hold the reader to: each line
// against its pattern, 'H' for one uppercase hex digit, values by strtoul.

#include "check/stored_report.h"

#include <cstdlib>
#include <string>
#include <string_view>

inline unsigned reference_read_record(std::string_view record, LineEnd end, BlockSums& sums)
{
    const std::string sum = "HH ";
    std::string rows;
    std::string columns;
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        rows += sum;
    }
    for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
        columns += sum;
    }
    const std::string lines[] = {"yoko", rows, "tate", columns + "HHHH", ""};
    const std::string eol = end == LineEnd::LF ? "\n" : "\r\n";
    std::string digits;
    std::size_t at = 0;
    for (unsigned line = 0; line < 5; ++line) {
        const std::string want = lines[line] + eol;
        if (record.size() - at < want.size()) {
            return line + 1;
        }
        for (std::size_t i = 0; i < want.size(); ++i) {
            const char got = record[at + i];
            const bool hex = (got >= '0' && got <= '9') || (got >= 'A' && got <= 'F');
            if (want[i] == 'H' ? !hex : got != want[i]) {
                return line + 1;
            }
            if (want[i] == 'H') {
                digits += got;
            }
        }
        at += want.size();
    }
    if (at != record.size()) {
        return 6;
    }
    const auto value = [&](std::size_t from, std::size_t count) {
        return std::strtoul(digits.substr(from, count).c_str(), nullptr, 16);
    };
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        sums.rows[r] = static_cast<std::uint8_t>(value(2 * r, 2));
    }
    for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
        sums.columns[c] = static_cast<std::uint8_t>(value(2 * BLOCK_ROWS + 2 * c, 2));
    }
    sums.crc = static_cast<std::uint16_t>(value(2 * (BLOCK_ROWS + BLOCK_COLUMNS), 4));
    return 0;
}
