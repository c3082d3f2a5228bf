// SPDX-License-Identifier: MIT
#include "checksums/crc16.h"

#include <cstddef>

// The register after the whole block is M mod P, where M is the block read
// as one 1024-bit polynomial (first byte's bit 7 highest) and
// P = x^16 + x^12 + x^5 + 1. Rather than step 128 bytes through one
// register, whose every step waits for the one before, M is folded down a
// 64-bit word at a time.
//
// The folds rest on one identity. x^16 = x^12 + x^5 + 1 (mod P), and
// squaring is linear over GF(2), so for every m that is a power of two
//   x^(16m) = x^(12m) + x^(5m) + 1   (mod P).
// A word w standing at x^e, e >= 16m, may therefore be replaced by three
// copies of itself at x^(e - 4m), x^(e - 11m) and x^(e - 16m): three
// shifted exclusive-ors, no multiplication, no table.

namespace {

// Checks the identity above straight from the register step: feeding the
// byte 2^(n % 8) and then n / 8 zero bytes leaves x^n mod P in the register.
constexpr std::uint16_t x_pow_mod(unsigned n)
{
    auto reg = crc16_shift_byte(0, static_cast<std::uint8_t>(1u << (n % 8)));
    for (unsigned i = 0; i < n / 8; ++i) {
        reg = crc16_shift_byte(reg, 0);
    }
    return reg;
}

constexpr bool folds_hold(unsigned n)
{
    return x_pow_mod(n) == (x_pow_mod(n * 3 / 4) ^ x_pow_mod(n * 5 / 16) ^ 1);
}

static_assert(folds_hold(16) && folds_hold(32) && folds_hold(64) && folds_hold(128) && folds_hold(256) &&
              folds_hold(512));

// Folds the bits of v (WIDTH bits at most) at and above x^N into the lower
// ones with x^N = x^(3N/4) + x^(5N/16) + 1. Each round moves the high part
// down by N/4 bits, so a fixed number of rounds leaves fewer than N bits.
template <unsigned WIDTH, unsigned N>
std::uint64_t fold_below(std::uint64_t v)
{
    constexpr std::uint64_t low = (std::uint64_t{1} << N) - 1;
    for (unsigned round = 0; round < (WIDTH - N) / (N / 4); ++round) {
        const std::uint64_t high = v >> N;
        v = (v & low) ^ (high << (N * 3 / 4)) ^ (high << (N * 5 / 16)) ^ high;
    }
    return v;
}

} // namespace

std::uint16_t crc16_block(const Block& block)
{
    // Word j of the block, bytes 8j..8j+7, stands at x^(64 * (15 - j)).
    // w[j] collects what the folds move onto word j; the block's own word
    // joins it when word j's turn comes.
    std::uint64_t w[BLOCK_SIZE / 8] = {};

    // x^512 = x^384 + x^160 + 1: words 0..7 move down by 2, 6.5 and 8 words.
    for (std::size_t j = 0; j < 8; ++j) {
        const std::uint64_t v = w[j] ^ load_be64(block, 8 * j);
        w[j + 2] ^= v;
        w[j + 5] ^= v >> 32u;
        w[j + 6] ^= v << 32u;
        w[j + 8] ^= v;
    }
    // x^256 = x^192 + x^80 + 1: words 8..11 move down by 1, 2.75 and 4 words.
    for (std::size_t j = 8; j < 12; ++j) {
        const std::uint64_t v = w[j] ^ load_be64(block, 8 * j);
        w[j + 1] ^= v;
        w[j + 2] ^= v >> 48u;
        w[j + 3] ^= v << 16u;
        w[j + 4] ^= v;
    }
    // x^128 = x^96 + x^40 + 1: words 12 and 13 move down by 0.5, 1.375 and
    // 2 words; half of each lands in its own place, so each takes two rounds.
    for (std::size_t j = 12; j < 14; ++j) {
        std::uint64_t v = w[j] ^ load_be64(block, 8 * j);
        for (int round = 0; round < 2; ++round) {
            w[j + 1] ^= (v << 32u) ^ (v >> 24u);
            w[j + 2] ^= (v << 40u) ^ v;
            v >>= 32u;
        }
    }
    // x^64 = x^48 + x^20 + 1 on the last two words, 16 bits a round.
    std::uint64_t high = w[14] ^ load_be64(block, 112);
    std::uint64_t low = w[15] ^ load_be64(block, 120);
    for (int round = 0; round < 4; ++round) {
        low ^= (high << 48u) ^ (high << 20u) ^ high;
        high = (high >> 16u) ^ (high >> 44u);
    }
    return static_cast<std::uint16_t>(fold_below<32, 16>(fold_below<64, 32>(low)));
}
