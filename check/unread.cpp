// SPDX-License-Identifier: MIT
#include "check/unread.h"

#include <algorithm>

namespace {

struct Digit {
    std::size_t at;
    unsigned shift; // 4 for a byte's high digit, 0 for its low one
};

void set_digit(Block& block, const Digit& d, unsigned value)
{
    block[d.at] = static_cast<std::uint8_t>((block[d.at] & ~(0xFu << d.shift)) | value << d.shift);
}

// The digit that a sum differing by `by` gives, where only that digit is
// unknown in it: 16 or more where none does.
unsigned from_sum(std::uint8_t by, unsigned shift)
{
    if (shift == 4) {
        return (by & 0xFu) == 0 ? by >> 4u : 16;
    }
    return by < 16 ? by : 16;
}

unsigned column_sum(const Block& block, std::size_t column)
{
    unsigned sum = 0;
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        sum += block[r * BLOCK_COLUMNS + column];
    }
    return sum;
}

struct Search {
    Block& block;
    const BlockSums& stored;
    const Digit* digits;
    std::size_t count;
    std::size_t solutions;
    Block found;
    long long budget; // values still to be tried
};

// Every value of the digits, depth first: the last unknown digit of a row,
// or of a column, takes what its sum leaves, and only that value; the
// others take each value in turn. Stops at a second solution.
void find(Search& s)
{
    enum class From : std::uint8_t { ANY, ROW, COLUMN };
    std::array<From, UNREAD_LEFT> from{};
    for (std::size_t i = 0; i < s.count; ++i) {
        bool last_in_row = true;
        bool last_in_column = true;
        for (std::size_t k = i + 1; k < s.count; ++k) {
            last_in_row = last_in_row && s.digits[k].at / BLOCK_COLUMNS != s.digits[i].at / BLOCK_COLUMNS;
            last_in_column =
                last_in_column && s.digits[k].at % BLOCK_COLUMNS != s.digits[i].at % BLOCK_COLUMNS;
        }
        from[i] = last_in_row ? From::ROW : last_in_column ? From::COLUMN : From::ANY;
    }
    std::array<unsigned, UNREAD_LEFT> tried{}; // values tried so far, by depth
    std::size_t i = 0;
    for (;;) {
        if (i == s.count) {
            if (sum_block(s.block) == s.stored) {
                s.found = s.block;
                ++s.solutions;
            }
            if (i == 0 || s.solutions > 1) {
                return;
            }
            --i;
            continue;
        }
        if (--s.budget < 0) {
            return;
        }
        const Digit d = s.digits[i];
        unsigned value = 16;
        if (from[i] == From::ANY) {
            value = tried[i] < 16 ? tried[i] : 16;
            ++tried[i];
        } else if (tried[i] == 0) {
            tried[i] = 16;
            set_digit(s.block, d, 0);
            const std::size_t row = d.at / BLOCK_COLUMNS;
            const std::size_t column = d.at % BLOCK_COLUMNS;
            const unsigned sum = from[i] == From::ROW ? row_sum(s.block, row) : column_sum(s.block, column);
            const unsigned want = from[i] == From::ROW ? s.stored.rows[row] : s.stored.columns[column];
            value = from_sum(static_cast<std::uint8_t>(want - sum), d.shift);
        }
        if (value < 16) {
            set_digit(s.block, d, value);
            ++i;
            if (i < s.count) {
                tried[i] = 0;
            }
            continue;
        }
        // This digit has no value left: back to the one before.
        if (i == 0) {
            return;
        }
        --i;
    }
}

} // namespace

unsigned row_sum(const Block& block, std::size_t row)
{
    unsigned sum = 0;
    for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
        sum += block[row * BLOCK_COLUMNS + c];
    }
    return sum;
}

bool solve_unread(Block& block, const std::array<std::uint8_t, BLOCK_SIZE>& unread, std::size_t filled,
                  const BlockSums& stored)
{
    std::array<Digit, 2 * BLOCK_SIZE> digits{};
    std::size_t count = 0;
    for (std::size_t at = 0; at < filled; ++at) {
        for (const unsigned shift : {4u, 0u}) {
            if ((unread[at] & (shift == 4 ? UNREAD_HIGH : UNREAD_LOW)) != 0) {
                digits[count] = {at, shift};
                set_digit(block, digits[count], 0);
                ++count;
            }
        }
    }
    // Peeling: a row or column with one unknown digit left gives it.
    std::array<std::size_t, BLOCK_ROWS> in_row{};
    std::array<std::size_t, BLOCK_COLUMNS> in_column{};
    for (std::size_t i = 0; i < count; ++i) {
        ++in_row[digits[i].at / BLOCK_COLUMNS];
        ++in_column[digits[i].at % BLOCK_COLUMNS];
    }
    for (bool settled = true; settled;) {
        settled = false;
        for (std::size_t i = 0; i < count;) {
            const std::size_t row = digits[i].at / BLOCK_COLUMNS;
            const std::size_t column = digits[i].at % BLOCK_COLUMNS;
            unsigned value = 32;
            if (in_row[row] == 1) {
                value = from_sum(static_cast<std::uint8_t>(stored.rows[row] - row_sum(block, row)),
                                 digits[i].shift);
            } else if (in_column[column] == 1) {
                value =
                    from_sum(static_cast<std::uint8_t>(stored.columns[column] - column_sum(block, column)),
                             digits[i].shift);
            }
            if (value == 16) {
                return false; // the sum cannot be made by this digit: something else differs
            }
            if (value > 16) {
                ++i;
                continue;
            }
            set_digit(block, digits[i], value);
            --in_row[row];
            --in_column[column];
            digits[i] = digits[--count];
            settled = true;
        }
    }
    if (count > UNREAD_LEFT) {
        return false;
    }
    std::sort(digits.begin(), digits.begin() + static_cast<std::ptrdiff_t>(count),
              [](const Digit& a, const Digit& b) { return a.at < b.at; });
    // The rest, row by row: the last unknown digit of a row, or of a
    // column, is what its sum leaves; the others take every value.
    Search search{block, stored, digits.data(), count, 0, {}, UNREAD_TRIED};
    find(search);
    if (search.solutions == 1 && search.budget >= 0) {
        block = search.found;
        return true;
    }
    return false;
}
