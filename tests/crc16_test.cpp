// SPDX-License-Identifier: MIT
#include "checksums/crc16.h"
#include "reference.h"

#include <gtest/gtest.h>

#include <random>

TEST(Crc16, ShiftByteTable)
{
    struct Case {
        std::uint16_t reg;
        std::uint8_t byte;
        std::uint16_t expected;
    };
    const Case cases[] = {
        {0x0000, 0x00, 0x0000}, {0x0000, 0x01, 0x0001}, {0x0000, 0x80, 0x0080},
        {0x8000, 0x00, 0x9188}, {0xFFFF, 0xFF, 0xE10F}, {0x1234, 0x56, 0x0625},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(crc16_shift_byte(c.reg, c.byte), c.expected) << std::hex << c.reg << " " << +c.byte;
    }
}

TEST(Crc16, ShiftByteMatchesBitByBitForEveryRegisterAndByte)
{
    for (std::uint32_t reg = 0; reg <= 0xFFFF; ++reg) {
        for (std::uint32_t byte = 0; byte <= 0xFF; ++byte) {
            const auto r = static_cast<std::uint16_t>(reg);
            const auto b = static_cast<std::uint8_t>(byte);
            if (crc16_shift_byte(r, b) != reference_shift_byte(r, b)) {
                FAIL() << std::hex << "register " << reg << " byte " << byte;
            }
        }
    }
}

// The folded block CRC against 128 plain register steps: the worked
// example, single set bits at every position, and random blocks.
TEST(Crc16, BlockMatchesRegisterSteps)
{
    Block abc{'a', 'b', 'c'};
    EXPECT_EQ(crc16_block(abc), 0x0ADE);

    for (std::size_t bit = 0; bit < BLOCK_SIZE * 8; ++bit) {
        Block block{};
        block[bit / 8] = static_cast<std::uint8_t>(1u << (bit % 8));
        ASSERT_EQ(crc16_block(block), reference_crc16_block(block)) << "bit " << bit;
    }
    std::mt19937 random(2026);
    for (int i = 0; i < 100000; ++i) {
        Block block;
        for (auto& byte : block) {
            byte = static_cast<std::uint8_t>(random());
        }
        ASSERT_EQ(crc16_block(block), reference_crc16_block(block)) << "random block " << i;
    }
}
