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
        v = static_cast<Word>(swap_bytes(std::uint64_t{v}) >> (64 - 8 * sizeof v));
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
// rounds (16, then 32) turn the lanes of four rows a, b, c, d into their
// four sums, a in lane 0 to d in lane 3, with no multiplication. No sum
// reaches 2^16, so none carries into the next lane.
template <unsigned WIDTH>
std::uint64_t add_neighbours(std::uint64_t a, std::uint64_t b)
{
    constexpr std::uint64_t LOWER = WIDTH == 16 ? 0x0000FFFF0000FFFF : 0x00000000FFFFFFFF;
    return ((a + (a >> WIDTH)) & LOWER) | ((b + (b << WIDTH)) & ~LOWER);
}

// Every step below is a loop that does the same to each word of an array,
// word i of the result from word i of its inputs. g++ -O3 turns such loops
// into vector instructions, two words at a time, which is why the rows are
// combined four apart rather than next to each other (clang++ 14 keeps them
// scalar). Inline: g++ then gives the report and the plain sums each the
// loops as their own, and the report keeps its instruction count.
//
// Word k of the sums holds rows k, k + 4, k + 8 and k + 12 in its four
// 16-bit lanes; words 4 and 5 hold the even and the odd columns.
inline void sum_lanes(const Block& block, std::uint64_t (&sums)[8])
{
    // A row is one 64-bit word, byte c holding column c. Its even and odd
    // columns added give four 16-bit lanes of at most 2 * 255 each. The
    // columns add up on the way, even and odd apart, in lanes wide enough
    // for 16 * 255.
    std::uint64_t lanes[BLOCK_ROWS];
    std::uint64_t even = 0;
    std::uint64_t odd = 0;
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        const std::uint64_t row = load_le64(block, r * BLOCK_COLUMNS);
        const std::uint64_t evens = row & LOW_BYTES;
        const std::uint64_t odds = (row >> 8u) & LOW_BYTES;
        lanes[r] = evens + odds;
        even += evens;
        odd += odds;
    }
    std::uint64_t halves[2][4];
    for (std::size_t h = 0; h < 2; ++h) {
        for (std::size_t k = 0; k < 4; ++k) {
            halves[h][k] = add_neighbours<16>(lanes[8 * h + k], lanes[8 * h + k + 4]);
        }
    }
    for (std::size_t k = 0; k < 4; ++k) {
        sums[k] = add_neighbours<32>(halves[0][k], halves[1][k]);
    }
    sums[4] = even;
    sums[5] = odd;
}

} // namespace

BlockSums sum_block(const Block& block)
{
    std::uint64_t sums[8];
    sum_lanes(block, sums);
    BlockSums out{};
    for (std::size_t lane = 0; lane < 4; ++lane) {
        for (std::size_t k = 0; k < 4; ++k) {
            out.rows[4 * lane + k] = static_cast<std::uint8_t>(sums[k] >> (16 * lane));
        }
        out.columns[2 * lane] = static_cast<std::uint8_t>(sums[4] >> (16 * lane));
        out.columns[2 * lane + 1] = static_cast<std::uint8_t>(sums[5] >> (16 * lane));
    }
    out.crc = crc16_block(block);
    return out;
}

Report format_block_report(const Block& block)
{
    // First, so that no sums need saving across the call.
    const unsigned crc = crc16_block(block);

    // Then come the CRC's high and low byte.
    std::uint64_t sums[8];
    sum_lanes(block, sums);
    sums[6] = (crc >> 8u) | ((crc & 0xFFu) << 16u);
    sums[7] = 0; // unshown: the loop below then takes whole pairs of words

    std::uint64_t digits[8];
    for (std::size_t i = 0; i < 8; ++i) {
        digits[i] = hex_pairs(sums[i]);
    }

    Report report;
    std::memcpy(report.data(), REPORT_TEMPLATE, REPORT_SIZE);
    for (std::size_t k = 0; k < 4; ++k) { // rows k, k + 4, ...: 12 bytes apart
        put_pairs(&report[ROW_DIGITS + 3 * k], digits[k], 12);
    }
    put_pairs(&report[COLUMN_DIGITS], digits[4], 6);
    put_pairs(&report[COLUMN_DIGITS + 3], digits[5], 6);
    put_word(&report[CRC_DIGITS], static_cast<std::uint32_t>(digits[6]));
    return report;
}

void report_block(const Block& block)
{
    const Report report = format_block_report(block);
    std::fwrite(report.data(), 1, report.size(), stdout);
}
