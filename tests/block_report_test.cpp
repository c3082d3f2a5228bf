// SPDX-License-Identifier: MIT
#include "checksums/block_report.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string formatted(const Block& block)
{
    const Report report = format_block_report(block);
    return std::string(report.begin(), report.end());
}

Block filled(std::uint8_t value)
{
    Block block;
    block.fill(value);
    return block;
}

} // namespace

TEST(BlockReport, KnownBlocks)
{
    Block high{};
    high[9] = 0x80; // row 1: 0x80 + 0xC1 = 0x141, shown as 41
    high[10] = 0xC1;
    const struct {
        Block block;
        const char* expected;
    } cases[] = {
        {Block{'a', 'b', 'c'},
         "yoko\n26 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \ntate\n61 62 63 00 00 00 00 00 0ADE\n\n"},
        {filled(0x00),
         "yoko\n00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \ntate\n00 00 00 00 00 00 00 00 0000\n\n"},
        {filled(0xFF),
         "yoko\nF8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 F8 \ntate\nF0 F0 F0 F0 F0 F0 F0 F0 E25C\n\n"},
        {high,
         "yoko\n00 41 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \ntate\n00 80 C1 00 00 00 00 00 D94A\n\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatted(c.block), c.expected);
        EXPECT_EQ(reference_report(c.block), c.expected);
    }
}

// Random blocks, and blocks of few distinct values so that sums reach
// every hex digit and wrap past 0xFF, against the plain reference.
TEST(BlockReport, MatchesReference)
{
    std::mt19937 random(128);
    for (int i = 0; i < 20000; ++i) {
        const unsigned mask = (i % 2 == 0) ? 0xFFu : 0xF1u;
        Block block;
        for (auto& byte : block) {
            byte = static_cast<std::uint8_t>(random() & mask);
        }
        ASSERT_EQ(formatted(block), reference_report(block)) << "block " << i;
        ASSERT_EQ(sum_block(block), reference_sums(block)) << "block " << i;
    }
}
