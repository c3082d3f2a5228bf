// SPDX-License-Identifier: MIT
#include "checksums/crc16.h"

#include "checksums/words.h"

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

// h * x^N (mod P) as a value below x^N, for h < 2^N and N = 16m. By the
// identity, h * x^N = h * T with T = x^(12m) + x^(5m) + 1. What of h * T
// lies below x^N stays; what lies at and above is s(h) * x^N, with
// s(h) = h >> 4m ^ h >> 11m, and is replaced by T once more, and so on.
// s(s(h)) = h >> 8m (the two h >> 15m cancel), s(s(s(h))) = h >> 12m, and
// s applied four times leaves nothing, so all the rounds together come to
// q * T below x^N, for q = h ^ s(h) ^ s(s(h)) ^ s(s(s(h))). No loop.
template <unsigned N>
std::uint64_t times_x_pow(std::uint64_t h)
{
    constexpr unsigned m = N / 16;
    const std::uint64_t q = h ^ (h >> 4 * m) ^ (h >> 8 * m) ^ (h >> 11 * m) ^ (h >> 12 * m);
    const std::uint64_t below = (q << 12 * m) ^ (q << 5 * m) ^ q;
    return below & (~std::uint64_t{0} >> (64 - N));
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
    // The last four words, 256 bits, by Horner's rule in steps of 64 bits.
    std::uint64_t v = w[12] ^ load_be64(block, 96);
    for (std::size_t j = 13; j < 16; ++j) {
        v = times_x_pow<64>(v) ^ w[j] ^ load_be64(block, 8 * j);
    }
    // Then 64 bits down to 32, and 32 down to 16.
    v = (v & 0xFFFFFFFFu) ^ times_x_pow<32>(v >> 32u);
    return static_cast<std::uint16_t>((v & 0xFFFFu) ^ times_x_pow<16>(v >> 16u));
}
