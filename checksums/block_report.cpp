// SPDX-License-Identifier: MIT
#include "checksums/block_report.h"

#include "checksums/crc16.h"
#include "checksums/words.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// Where the digits go, found in the layout, and the layout held to the
// block's shape: one "00 " for every row and every column.
constexpr std::string_view LAYOUT{REPORT_TEMPLATE, REPORT_SIZE};
constexpr std::size_t ROW_DIGITS = LAYOUT.find("00 ");
constexpr std::size_t COLUMN_DIGITS = LAYOUT.find("tate\n") + 5;
constexpr std::size_t CRC_DIGITS = LAYOUT.find("0000");

constexpr bool holds_sums(std::size_t at, std::size_t count)
{
    for (std::size_t k = 0; k < count; ++k) {
        if (LAYOUT.substr(at + 3 * k, 3) != "00 ") {
            return false;
        }
    }
    return true;
}
static_assert(holds_sums(ROW_DIGITS, BLOCK_ROWS) && LAYOUT[ROW_DIGITS + 3 * BLOCK_ROWS] == '\n');
static_assert(holds_sums(COLUMN_DIGITS, BLOCK_COLUMNS) && CRC_DIGITS == COLUMN_DIGITS + 3 * BLOCK_COLUMNS);

// Masks over four 16-bit lanes of a 64-bit word, and a byte multiplier.
constexpr std::uint64_t LOW_BYTES = 0x00FF00FF00FF00FF;
constexpr std::uint64_t LOW_NIBBLES = 0x000F000F000F000F;
constexpr std::uint64_t EVERY_BYTE = 0x0101010101010101;

// Turns the low byte of each 16-bit lane into two hex digits, the high one
// in the lane's low byte so that it comes first. A digit d becomes '0' + d,
// and 7 more from 10 on to reach 'A': d + 6 carries into bit 4 just then.
// No byte ever exceeds 0x46, so no carry crosses into the next.
std::uint64_t hex_pairs(std::uint64_t lanes)
{
    const std::uint64_t digits = ((lanes >> 4u) & LOW_NIBBLES) | ((lanes & LOW_NIBBLES) << 8u);
    const std::uint64_t letters = ((digits + 6 * EVERY_BYTE) >> 4u) & EVERY_BYTE;
    return digits + '0' * EVERY_BYTE + 7 * letters;
}

// Writes the bytes of v to out, lowest first: one store.
template <typename Word>
void put_word(char* out, Word v)
{
    if constexpr (std::endian::native == std::endian::big) {
        v = static_cast<Word>(swap_bytes(v) >> (64 - 8 * sizeof v));
    }
    std::memcpy(out, &v, sizeof v);
}

// Writes the digit pair of lane k at out + k * stride.
void put_pairs(char* out, std::uint64_t pairs, std::size_t stride)
{
    for (std::size_t k = 0; k < 4; ++k, out += stride, pairs >>= 16u) {
        put_word(out, static_cast<std::uint16_t>(pairs));
    }
}

// Adds neighbouring lanes of a and of b, WIDTH bits wide, and interleaves
// the sums: a's go to the lower lane of each pair, b's to the upper. Two
// rounds (16, then 32) turn four rows' lanes into the four row sums, row k
// in lane k, with no multiplication. No sum reaches 2^16, so none carries
// into the next lane.
template <unsigned WIDTH>
std::uint64_t add_neighbours(std::uint64_t a, std::uint64_t b)
{
    constexpr std::uint64_t LOWER = WIDTH == 16 ? 0x0000FFFF0000FFFF : 0x00000000FFFFFFFF;
    return ((a + (a >> WIDTH)) & LOWER) | ((b + (b << WIDTH)) & ~LOWER);
}

} // namespace

Report format_block_report(const Block& block)
{
    Report report;
    std::memcpy(report.data(), REPORT_TEMPLATE, REPORT_SIZE);

    // A row is one 64-bit word, byte c holding column c. Its even and odd
    // columns added give four 16-bit lanes of at most 2 * 255 each.
    for (std::size_t group = 0; group < BLOCK_ROWS / 4; ++group) {
        std::uint64_t lanes[4];
        for (std::size_t k = 0; k < 4; ++k) {
            const std::uint64_t row = load_le64(block, (group * 4 + k) * BLOCK_COLUMNS);
            lanes[k] = (row & LOW_BYTES) + ((row >> 8u) & LOW_BYTES);
        }
        const std::uint64_t row_sums = add_neighbours<32>(add_neighbours<16>(lanes[0], lanes[1]),
                                                          add_neighbours<16>(lanes[2], lanes[3]));
        put_pairs(&report[ROW_DIGITS + group * 4 * 3], hex_pairs(row_sums), 3);
    }

    // Column sums, in a pass of their own: loading the rows again costs less
    // than keeping every row's halves live through the row sums above.
    // The even columns add up in 16-bit lanes, wide enough for
    // 16 * 255. The plain sum of the rows is even + odd * 2^8 (mod 2^64), so
    // the odd columns are what it holds beyond the even ones, a byte lower;
    // the top lane loses its high bits, but only low bytes are shown.
    std::uint64_t all = 0;
    std::uint64_t even = 0;
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        const std::uint64_t row = load_le64(block, r * BLOCK_COLUMNS);
        all += row;
        even += row & LOW_BYTES;
    }
    put_pairs(&report[COLUMN_DIGITS], hex_pairs(even), 6);
    put_pairs(&report[COLUMN_DIGITS + 3], hex_pairs((all - even) >> 8u), 6);

    // The CRC's high and low byte as the first two lanes: four digits in a row.
    const unsigned crc = crc16_block(block);
    const std::uint64_t crc_pairs = hex_pairs((crc >> 8u) | ((crc & 0xFFu) << 16u));
    put_word(&report[CRC_DIGITS], static_cast<std::uint32_t>(crc_pairs));
    return report;
}

void report_block(const Block& block)
{
    const Report report = format_block_report(block);
    std::fwrite(report.data(), 1, report.size(), stdout);
}
