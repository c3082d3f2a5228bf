// SPDX-License-Identifier: MIT
#include "checksums/block_report.h"

#include "checksums/crc16.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Everything but the digits is the same for every block.
constexpr char REPORT_TEMPLATE[] = "yoko\n"
                                   "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \n"
                                   "tate\n"
                                   "00 00 00 00 00 00 00 00 0000\n"
                                   "\n";
static_assert(sizeof REPORT_TEMPLATE - 1 == REPORT_SIZE);

constexpr std::size_t ROW_DIGITS = 5;
constexpr std::size_t COLUMN_DIGITS = ROW_DIGITS + BLOCK_ROWS * 3 + 6;
constexpr std::size_t CRC_DIGITS = COLUMN_DIGITS + BLOCK_COLUMNS * 3;

// Masks and multipliers over four 16-bit lanes of a 64-bit word.
constexpr std::uint64_t LOW_BYTES = 0x00FF00FF00FF00FF;
constexpr std::uint64_t LOW_NIBBLES = 0x000F000F000F000F;
constexpr std::uint64_t EVERY_LANE = 0x0001000100010001;
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

} // namespace

Report format_block_report(const Block& block)
{
    Report report;
    std::memcpy(report.data(), REPORT_TEMPLATE, REPORT_SIZE);

    // A row is one 64-bit word, byte c holding column c. Splitting it into
    // even and odd columns gives 16-bit lanes, wide enough for 16 * 255, so
    // whole rows add up into column sums without carries between lanes.
    std::uint64_t even_columns = 0;
    std::uint64_t odd_columns = 0;
    for (std::size_t group = 0; group < BLOCK_ROWS / 4; ++group) {
        std::uint64_t row_sums = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const std::uint64_t row = load_le64(block, (group * 4 + k) * BLOCK_COLUMNS);
            const std::uint64_t even = row & LOW_BYTES;
            const std::uint64_t odd = (row >> 8u) & LOW_BYTES;
            even_columns += even;
            odd_columns += odd;
            // Multiplying by 1 + 2^16 + 2^32 + 2^48 adds all four lanes
            // into the top one; at most 8 * 255, so no lane overflows.
            row_sums |= (((even + odd) * EVERY_LANE) >> 48u) << (16 * k);
        }
        put_pairs(&report[ROW_DIGITS + group * 4 * 3], hex_pairs(row_sums), 3);
    }
    put_pairs(&report[COLUMN_DIGITS], hex_pairs(even_columns), 6);
    put_pairs(&report[COLUMN_DIGITS + 3], hex_pairs(odd_columns), 6);

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
