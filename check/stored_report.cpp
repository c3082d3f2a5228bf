// SPDX-License-Identifier: MIT
#include "check/stored_report.h"

#include <algorithm>
#include <iterator>

namespace {

// A digit where the layout holds '0', uppercase only, as quorvil writes them.
int hex_value(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The layout's digits in order: two for each row, two for each column, four
// for the CRC.
constexpr std::size_t DIGITS = 2 * BLOCK_ROWS + 2 * BLOCK_COLUMNS + 4;

static_assert(std::count(std::begin(REPORT_TEMPLATE), std::end(REPORT_TEMPLATE), '0') == DIGITS);

} // namespace

LineEnd line_end_of(const char* start, std::size_t size)
{
    return size > 4 && start[4] == '\r' ? LineEnd::CR_LF : LineEnd::LF;
}

// The record is walked along the layout itself: every '0' of the template
// stands for a digit, every '\n' for a line end, anything else for itself.
unsigned read_record(const char* record, std::size_t size, LineEnd end, Sums& sums)
{
    std::array<std::uint8_t, DIGITS> digits{};
    std::size_t digit = 0;
    std::size_t at = 0;
    unsigned line = 1;
    for (std::size_t t = 0; t < REPORT_SIZE; ++t) {
        const char want = REPORT_TEMPLATE[t];
        if (want == '\n' && end == LineEnd::CR_LF) {
            if (at == size || record[at] != '\r') {
                return line;
            }
            ++at;
        }
        if (at == size) {
            return line;
        }
        const char got = record[at++];
        if (want == '0') {
            const int value = hex_value(got);
            if (value < 0) {
                return line;
            }
            digits[digit++] = static_cast<std::uint8_t>(value);
        } else if (got != want) {
            return line;
        } else if (want == '\n') {
            ++line;
        }
    }
    if (at != size) {
        return line; // more than one record: the next one's first line
    }
    const auto pair = [&](std::size_t k) {
        return static_cast<std::uint8_t>(digits[k] << 4u | digits[k + 1]);
    };
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        sums.rows[r] = pair(2 * r);
    }
    for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
        sums.columns[c] = pair(2 * BLOCK_ROWS + 2 * c);
    }
    const std::size_t crc = 2 * BLOCK_ROWS + 2 * BLOCK_COLUMNS;
    sums.crc = static_cast<std::uint16_t>(pair(crc) << 8u | pair(crc + 2));
    return 0;
}

std::array<char, CR_LF_RECORD_SIZE> with_cr_lf(const Report& report)
{
    std::array<char, CR_LF_RECORD_SIZE> out{};
    std::size_t at = 0;
    for (const char c : report) {
        if (c == '\n') {
            out[at++] = '\r';
        }
        out[at++] = c;
    }
    return out;
}
