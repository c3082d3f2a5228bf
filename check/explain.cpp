// SPDX-License-Identifier: MIT
#include "check/explain.h"

#include "checksums/crc16.h"

#include <algorithm>

namespace {

constexpr long long SIZE = BLOCK_SIZE;

} // namespace

Explanation differs_on_read_digits(const BlockSums& now, const BlockSums& stored, std::uint64_t unread)
{
    // The nibbles of a value that were read, high digit first.
    const auto read = [&](std::size_t digit, std::size_t count) {
        unsigned mask = 0;
        for (std::size_t k = 0; k < count; ++k) {
            mask = mask << 4u | ((unread >> (digit + k) & 1u) != 0 ? 0u : 0xFu);
        }
        return mask;
    };
    Explanation e;
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        if (((now.rows[r] ^ stored.rows[r]) & read(2 * r, 2)) != 0) {
            e.rows = static_cast<std::uint16_t>(e.rows | 1u << r);
        }
    }
    for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
        if (((now.columns[c] ^ stored.columns[c]) & read(2 * BLOCK_ROWS + 2 * c, 2)) != 0) {
            e.columns = static_cast<std::uint8_t>(e.columns | 1u << c);
        }
    }
    e.crc = ((now.crc ^ stored.crc) & read(2 * BLOCK_ROWS + 2 * BLOCK_COLUMNS, 4)) != 0;
    return e;
}

Explanation explain_changes(const Block& block, std::size_t filled, long long at, const BlockSums& stored,
                            const BlockSums& now)
{
    Explanation e;
    std::array<std::uint8_t, BLOCK_ROWS> row_delta{};
    std::array<std::uint8_t, BLOCK_COLUMNS> column_delta{};
    std::array<std::size_t, BLOCK_ROWS> rows{};
    std::array<std::size_t, BLOCK_COLUMNS> columns{};
    std::size_t row_count = 0;
    std::size_t column_count = 0;
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        row_delta[r] = static_cast<std::uint8_t>(now.rows[r] - stored.rows[r]);
        if (row_delta[r] != 0) {
            e.rows = static_cast<std::uint16_t>(e.rows | 1u << r);
            rows[row_count++] = r;
        }
    }
    for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
        column_delta[c] = static_cast<std::uint8_t>(now.columns[c] - stored.columns[c]);
        if (column_delta[c] != 0) {
            e.columns = static_cast<std::uint8_t>(e.columns | 1u << c);
            columns[column_count++] = c;
        }
    }
    e.crc = now.crc != stored.crc;
    if (row_count > 2 || column_count > 2) {
        return e; // more than two bytes changed
    }

    // No change of FILE alters one sum alone: every byte counts in a row, a
    // column and the CRC. One value alone differing is the report's slip.
    if (!e.crc && row_count + column_count == 1) {
        e.kind = Kind::REPORT_VALUE;
        e.is_row = row_count == 1;
        e.index = e.is_row ? rows[0] : columns[0];
        e.stored = e.is_row ? stored.rows[e.index] : stored.columns[e.index];
        e.file = e.is_row ? now.rows[e.index] : now.columns[e.index];
        return e;
    }

    // Every set of one or two changed bytes that gives these differences:
    // a byte adds its change to its row and its column. Two bytes in one row
    // add both changes to it, nothing when they cancel (swapped neighbours),
    // and then the row may be any; likewise in one column. Rows and columns
    // are taken in order, so a candidate's first byte comes first in FILE.
    struct Candidate {
        std::size_t offset[2];
        std::uint8_t delta[2];
        std::size_t count;
    };
    std::array<Candidate, BLOCK_ROWS + 2> candidates{};
    std::size_t count = 0;
    const auto cell = [](std::size_t r, std::size_t c) { return r * BLOCK_COLUMNS + c; };
    if (row_count == 1 && column_count == 1) {
        if (row_delta[rows[0]] == column_delta[columns[0]]) {
            candidates[count++] = {{cell(rows[0], columns[0]), 0}, {row_delta[rows[0]], 0}, 1};
        }
    } else if (row_count == 2 && column_count == 2) {
        for (std::size_t swap = 0; swap < 2; ++swap) {
            const std::size_t c0 = columns[swap];
            const std::size_t c1 = columns[1 - swap];
            if (row_delta[rows[0]] == column_delta[c0] && row_delta[rows[1]] == column_delta[c1]) {
                candidates[count++] = {
                    {cell(rows[0], c0), cell(rows[1], c1)}, {column_delta[c0], column_delta[c1]}, 2};
            }
        }
    } else if (row_count <= 1 && column_count == 2) {
        const auto both = static_cast<std::uint8_t>(column_delta[columns[0]] + column_delta[columns[1]]);
        for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
            if (row_count == 1 ? r == rows[0] && row_delta[r] == both : both == 0) {
                candidates[count++] = {{cell(r, columns[0]), cell(r, columns[1])},
                                       {column_delta[columns[0]], column_delta[columns[1]]},
                                       2};
            }
        }
    } else if (row_count == 2 && column_count <= 1) {
        const auto both = static_cast<std::uint8_t>(row_delta[rows[0]] + row_delta[rows[1]]);
        for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
            if (column_count == 1 ? c == columns[0] && column_delta[c] == both : both == 0) {
                candidates[count++] = {
                    {cell(rows[0], c), cell(rows[1], c)}, {row_delta[rows[0]], row_delta[rows[1]]}, 2};
            }
        }
    }

    // The CRC decides, with the bytes put back; a byte of the zero filling
    // is no byte of FILE's to have changed.
    std::size_t explaining = 0;
    Candidate found{};
    for (std::size_t i = 0; i < count; ++i) {
        const Candidate& c = candidates[i];
        Block before = block;
        bool inside = true;
        for (std::size_t k = 0; k < c.count; ++k) {
            inside = inside && c.offset[k] < filled;
            before[c.offset[k]] = static_cast<std::uint8_t>(before[c.offset[k]] - c.delta[k]);
        }
        if (inside && crc16_block(before) == stored.crc) {
            found = c;
            ++explaining;
        }
    }
    if (explaining != 1) {
        return e;
    }
    e.kind = Kind::BYTES;
    e.changed = found.count;
    for (std::size_t k = 0; k < found.count; ++k) {
        const std::size_t o = found.offset[k];
        e.changes[k] = {at + static_cast<long long>(o), block[o],
                        static_cast<std::uint8_t>(block[o] - found.delta[k])};
    }
    return e;
}

std::uint16_t complete_rows_differing(const BlockSums& now, const BlockSums& stored, std::size_t filled)
{
    unsigned rows = 0;
    for (std::size_t row = 0; row < filled / BLOCK_COLUMNS; ++row) {
        rows |= now.rows[row] != stored.rows[row] ? 1u << row : 0u;
    }
    return static_cast<std::uint16_t>(rows);
}

bool stops_short(const BlockSums& now, const BlockSums& stored, std::size_t filled)
{
    if (filled >= BLOCK_SIZE || complete_rows_differing(now, stored, filled) != 0) {
        return false;
    }
    for (std::size_t row = (filled + BLOCK_COLUMNS - 1) / BLOCK_COLUMNS; row < BLOCK_ROWS; ++row) {
        if (stored.rows[row] != 0) {
            return true;
        }
    }
    return false;
}

bool fits(const Block& block, std::size_t filled, long long p, const BlockSums& stored)
{
    const BlockSums now = sum_block(block);
    return now == stored ||
           (filled > 0 && explain_changes(block, filled, p, stored, now).kind != Kind::DIFFERS);
}

bool fits_at(const FileView& file, long long p, const BlockSums& stored)
{
    const auto filled = static_cast<std::size_t>(std::clamp(file.size - p, 0LL, SIZE));
    return fits(file_block(file, p), filled, p, stored);
}
