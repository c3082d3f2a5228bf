// SPDX-License-Identifier: MIT
#pragma once

// A listing's addresses: the number a printed listing puts before each
// line, written however it was printed (`0000:`, `0000 `, `$0000`,
// `&0000`, `0000-`, `>0000`, either case). They are recognised from the
// listing's first lines together, never guessed line by line: the first
// word of each line is 4 to 8 hex digits, all of one width, and each
// steps from the one before by the bytes typed on the line before. Once
// recognised, each line's address is skipped, and where one is not the
// address before plus the bytes since, the difference is kept: a line
// left out or typed twice shows there, and a run the report finds near
// it is placed at that line exactly. A slip in an address alone makes
// two differences that cancel and match no run; the bytes typed decide.

#include <array>
#include <cstddef>
#include <cstdint>

// Of the listing's first `size` bytes of text: the width of its
// addresses, or 0 where its lines do not begin with addresses.
std::size_t recognise_addresses(const char* text, std::size_t size);

// The address at a line's start, of the width recognised or wider: the characters
// it takes (blanks, a prefix, the digits and a colon or dash after them),
// and its value, -1 where a character of it is no digit (an OCR misread).
// 0 characters where the line's first word is not of that width.
struct LineAddress {
    std::size_t chars;
    long long value;
};
LineAddress address_at(const char* text, std::size_t size, std::size_t width);

// Where a line's address differs from the one before plus the bytes typed
// since. Counted in digits, which a digit slip does not move as it moves
// bytes: FILE's digit of the line's first (2p for byte p's high digit),
// and the difference, twice the bytes; an odd one is a digit slip's, which
// the bytes typed tell better.
struct AddressGap {
    long long digit;
    long long gap;
    long long value; // the line's address
};

// The gaps kept, the newest: those the window holds, where a line of 16
// bytes or more is left out or typed twice in every other block of it (the
// window's bytes are read before the check reaches them).
inline constexpr std::size_t GAPS = 4096;

struct Addresses {
    std::size_t width = 0; // 0: the listing has none
    long long base = -1;   // the address of FILE's first byte, once a line's was read
    long long last = -1;   // the last line's address, and FILE's digit of its first
    long long last_digit = 0;
    std::array<AddressGap, GAPS> gaps{};
    std::size_t gap_count = 0; // of all ever kept; the newest GAPS are held
};

// A line's address `value` (or -1), whose first digit is FILE's `digit`.
void note_address(Addresses& addresses, long long value, long long digit);

// The digits from `digit` on were paired anew, `by` digits on (a digit
// put in before them) or back (one taken out).
void shift_addresses(Addresses& addresses, long long digit, long long by);

// The one line in FILE's bytes from..to whose first byte follows `gap`
// bytes more (fewer, where negative) than its address says: the line's
// first byte, and the address of the line left out (or typed twice).
struct LineGap {
    bool found;
    long long at;
    long long address;
    long long bytes; // the gap: bytes more (left out) or fewer (typed twice)
};
LineGap gap_in(const Addresses& addresses, long long from, long long to, long long gap);
// The first line in FILE's bytes from..to whose first byte follows a gap
// of whole bytes, of any length.
LineGap first_gap(const Addresses& addresses, long long from, long long to);
