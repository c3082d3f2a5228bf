// SPDX-License-Identifier: MIT
#include "checksums/crc16.h"

#include "checksums/words.h"

#include <cstddef>
#include <type_traits>

// The register after the whole block is M mod P, where M is the block read
// as one 1024-bit polynomial (first byte's bit 7 highest) and
// P = x^16 + x^12 + x^5 + 1. Rather than step 128 bytes through one
// register, whose every step waits for the one before, M is folded down a
// word at a time.
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
template <unsigned N, typename Word>
Word times_x_pow(Word h)
{
    constexpr unsigned m = N / 16;
    const Word q = h ^ (h >> 4 * m) ^ (h >> 8 * m) ^ (h >> 11 * m) ^ (h >> 12 * m);
    const Word below = (q << 12 * m) ^ (q << 5 * m) ^ q;
    return below & static_cast<Word>(~Word{0} >> (8 * sizeof(Word) - N));
}

// Adds v, a word that stands at word j, into the words S bits lower: into
// one word, or across two where S is not a whole number of words.
template <unsigned S, typename Word, std::size_t WORDS>
void move_down(Word (&w)[WORDS], std::size_t j, Word v)
{
    constexpr unsigned BITS = 8 * sizeof(Word);
    constexpr std::size_t k = S / BITS;
    if constexpr (S % BITS == 0) {
        w[j + k] ^= v;
    } else {
        w[j + k] ^= v >> (S % BITS);
        w[j + k + 1] ^= v << (BITS - S % BITS);
    }
}

// Folds the upper half of the lowest 2N bits onto the lower half, by
// x^N = x^(3N/4) + x^(5N/16) + 1: each word moves down by N/4, 11N/16 and
// N bits. The block's own word joins what the folds above moved onto it.
template <unsigned N, typename Word, std::size_t WORDS>
void fold(Word (&w)[WORDS], const Block& block)
{
    constexpr std::size_t BITS = 8 * sizeof(Word);
    constexpr std::size_t first = WORDS - std::size_t{2} * N / BITS;
    for (std::size_t j = first; j < first + N / BITS; ++j) {
        const Word v = w[j] ^ load_be<Word>(block, j * sizeof(Word));
        move_down<N / 4>(w, j, v);
        move_down<11 * N / 16>(w, j, v);
        move_down<N>(w, j, v);
    }
}

// The block in words of the machine's width: 64 bits where registers hold
// them, 32 where a 64-bit word would take two registers and every step
// twice the instructions. Word j, bytes j * sizeof(Word) on, stands at
// x^(BITS * (WORDS - 1 - j)); w[j] collects what the folds move onto it.
template <typename Word>
std::uint16_t fold_block(const Block& block)
{
    constexpr unsigned BITS = 8 * sizeof(Word);
    constexpr std::size_t WORDS = BLOCK_SIZE * 8 / BITS;
    Word w[WORDS] = {};
    // Halve the block by folds until four words are left: 1024 bits to 512,
    // to 256, and with 32-bit words on to 128.
    fold<512>(w, block);
    fold<256>(w, block);
    if constexpr (BITS == 32) {
        fold<128>(w, block);
    }
    // The last four words by Horner's rule, a word at a time.
    Word v = w[WORDS - 4] ^ load_be<Word>(block, BLOCK_SIZE - 4 * sizeof(Word));
    for (std::size_t j = WORDS - 3; j < WORDS; ++j) {
        v = times_x_pow<BITS>(v) ^ w[j] ^ load_be<Word>(block, j * sizeof(Word));
    }
    // Then halves down to 16 bits.
    if constexpr (BITS == 64) {
        v = (v & 0xFFFFFFFFu) ^ times_x_pow<32>(v >> 32u);
    }
    return static_cast<std::uint16_t>((v & 0xFFFFu) ^ times_x_pow<16>(v >> 16u));
}

} // namespace

std::uint16_t crc16_block(const Block& block)
{
    using Word = std::conditional_t<(sizeof(std::size_t) >= 8), std::uint64_t, std::uint32_t>;
    return fold_block<Word>(block);
}
