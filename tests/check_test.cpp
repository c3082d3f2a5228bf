// SPDX-License-Identifier: MIT
#include "check/difference.h"
#include "check/stored_report.h"
#include "reference.h"
#include "stored_reference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

const std::string ABC =
    "yoko\n26 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \ntate\n61 62 63 00 00 00 00 00 0ADE\n\n";

std::string crlf(std::string text)
{
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
        text.insert(at, "\r");
    }
    return text;
}

unsigned read(const std::string& record, LineEnd end)
{
    Sums sums{};
    Sums plain{};
    const unsigned line = read_record(record.data(), record.size(), end, sums);
    EXPECT_EQ(line, reference_read_record(record, end, plain)) << record;
    if (line == 0) {
        EXPECT_EQ(sums.rows, plain.rows);
        EXPECT_EQ(sums.columns, plain.columns);
        EXPECT_EQ(sums.crc, plain.crc);
    }
    return line;
}

Sums sums_of(const Block& block)
{
    Sums sums{};
    const std::string report = reference_report(block);
    reference_read_record(report, LineEnd::LF, sums);
    return sums;
}

} // namespace

TEST(StoredReport, Layout)
{
    const struct {
        std::string record;
        LineEnd end;
        unsigned line;
    } cases[] = {
        {ABC, LineEnd::LF, 0},
        {crlf(ABC), LineEnd::CR_LF, 0},
        {crlf(ABC), LineEnd::LF, 1},         // CR LF read as LF: a stray CR
        {ABC, LineEnd::CR_LF, 1},            // LF where CR LF was begun
        {"cannot open x\n", LineEnd::LF, 1}, // a message, not a report
        {ABC.substr(0, 30), LineEnd::LF, 2}, // cut inside the row sums
        {ABC.substr(0, 59), LineEnd::LF, 4}, // cut after "tate"
        {ABC.substr(0, 88), LineEnd::LF, 5}, // no empty line
        {"yoko\n26 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\ntate\n61 62 63 00 00 00 00 00 0ADE\n\n",
         LineEnd::LF, 2}, // the row line without its last space
        {"yoko\n26 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \ntate\n61 62 63 00 00 00 00 00 0ade\n\n",
         LineEnd::LF, 4}, // lowercase
        {"yoko\n26 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \ntate\n61 62 63 00 00 00 00 00 0AD\n\n\n",
         LineEnd::LF, 4}, // a digit short
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read(c.record, c.end), c.line) << c.record;
    }
    EXPECT_EQ(crlf(ABC),
              std::string(with_cr_lf(format_block_report(Block{'a', 'b', 'c'})).data(), CR_LF_RECORD_SIZE));
}

// Every single changed byte, at every place, is located with its old
// value; other changes are described by what differs.
TEST(Difference, LocatesOneChangedByte)
{
    std::mt19937 random(16);
    Block original;
    for (auto& byte : original) {
        byte = static_cast<std::uint8_t>(random());
    }
    const Sums stored = sums_of(original);
    for (std::size_t at = 0; at < BLOCK_SIZE; ++at) {
        for (const unsigned flip : {0x01u, 0x80u, 0x5Au}) {
            Block copy = original;
            copy[at] = static_cast<std::uint8_t>(copy[at] ^ flip);
            const Difference d = explain(copy, BLOCK_SIZE, stored);
            ASSERT_TRUE(d.located) << at;
            EXPECT_EQ(d.offset, at);
            EXPECT_EQ(d.is, copy[at]);
            EXPECT_EQ(d.was, original[at]);
        }
    }
}

TEST(Difference, Describes)
{
    Block original{};
    original[20] = 7; // row 2, column 4
    const Sums stored = sums_of(original);
    const auto change = [&](std::initializer_list<std::pair<std::size_t, int>> changes) {
        Block copy = original;
        for (const auto& [at, by] : changes) {
            copy[at] = static_cast<std::uint8_t>(copy[at] + by);
        }
        return copy;
    };
    const struct {
        Block block;
        std::size_t filled;
        std::uint16_t rows;
        std::uint8_t columns;
        bool crc;
        bool located;
    } cases[] = {
        {original, BLOCK_SIZE, 0, 0, false, false},
        {change({{0, 1}, {9, 1}}), BLOCK_SIZE, 0b11, 0b11, true, false},             // two bytes
        {change({{0, 1}, {1, -1}, {9, 1}, {8, -1}}), BLOCK_SIZE, 0, 0, true, false}, // sums cancel
        {change({{1, 3}, {2, 3}, {3, -6}}), BLOCK_SIZE, 0, 0b1110, true, false},     // row unchanged
        // one byte's sums, but more bytes changed: the CRC does not confirm it
        {change({{0, 1}, {9, 1}, {10, -1}, {18, 1}, {17, -1}}), BLOCK_SIZE, 1, 1, true, false},
        {change({{20, -7}}), 20, 1u << 2, 1u << 4, true, false}, // the byte lies in the zero filling
        {change({{20, -7}}), 21, 1u << 2, 1u << 4, true, true},
    };
    for (const auto& c : cases) {
        const Difference d = explain(c.block, c.filled, stored);
        EXPECT_EQ(d.rows, c.rows);
        EXPECT_EQ(d.columns, c.columns);
        EXPECT_EQ(d.crc, c.crc);
        EXPECT_EQ(d.located, c.located);
    }
}
