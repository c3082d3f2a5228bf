// SPDX-License-Identifier: MIT
#pragma once

// Reading a typed or scanned listing as hex text: its digits pair up into
// bytes, high digit first, and each byte keeps where it was typed, so that
// a finding names the listing's line and column rather than an offset.
//
// Digits are 0-9, A-F and a-f, also in their fullwidth forms (what a
// Japanese input method types). Spaces, tabs, commas, CR and LF separate
// nothing; `#` starts a comment to the end of its line; a colon among a
// line's first 12 characters ends an address, skipped with everything
// before it; where the lines begin with addresses however printed
// (`0000 `, `$0000` ...), as the first lines show, each is skipped and
// kept as an anchor. Fullwidth space, comma, colon and `#` count as those (the
// input skips a byte-order mark, and reads UTF-16 as UTF-8). Any other character (an
// O read for a 0, a speck, a byte that is not UTF-8) is a digit that could
// not be read: its place is known, its value is not, and it reads as 0.

#include "check/addresses.h"
#include "check/input.h"
#include "check/unread.h"
#include "checksums/block.h"
#include "checksums/block_report.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Where a byte of the listing was typed: the line and column of its first
// character, counting from 1 (lines by LF, columns by characters), and its
// characters as they stand, without what separates them: two, or one or
// three where a digit was left out or typed twice. The low digit's place
// and the length of the high one's text let the digits pair up anew.
struct Origin {
    long long line = 0;
    long long column = 0;
    long long low_line = 0;
    long long low_column = 0;
    std::array<char, 12> text{}; // up to three characters of at most four bytes each
    std::uint8_t size = 0;
    std::uint8_t high_size = 0; // text's bytes that are the first character
    std::uint8_t unread = 0;    // its digits that could not be read: UNREAD_HIGH, UNREAD_LOW
};

// The origins of the listing's bytes that a window holds, slot `at %
// PLACES` for byte `at`. Most lines are runs of bytes typed alike, two
// digits and a space or two digits side by side, in one case: such a run
// keeps one record, in its first byte's slot (RUN_FIRST), and its other
// bytes only the flag RUN; a byte's place is then the run's start and its
// stride, its text the byte's digits in the run's case. A byte typed as
// two characters side by side otherwise keeps the line, the first one's
// column and the two characters; one typed any other way a full Origin
// (FULL). A block's flags are two cache lines.
inline constexpr std::size_t PLACES = BUFFER_SIZE;
inline constexpr std::uint8_t FULL = 0x80;
inline constexpr std::uint8_t RUN = 0x40;
inline constexpr std::uint8_t RUN_FIRST = 0x20;
// The bytes of one run, at most: a place in a run is found from its
// first byte.
inline constexpr std::size_t LONGEST_RUN = 64;

struct TypedPlaces {
    std::array<std::uint8_t, PLACES> flags{}; // UNREAD_HIGH, UNREAD_LOW, FULL, RUN, RUN_FIRST
    std::array<std::uint32_t, PLACES> columns{};
    std::array<std::array<char, 2>, PLACES> chars{}; // a run's: its stride and whether it is lower case
    std::array<long long, PLACES> lines{};
    // A run's: its bytes a line, and where in its line its first byte is.
    std::array<std::array<std::uint16_t, 2>, PLACES> shapes{};
    std::array<Origin, PLACES> full{};
};

inline std::size_t place_slot(long long at)
{
    return static_cast<std::size_t>(at) & (PLACES - 1);
}

// Slot i's byte was typed as `o`.
void put_origin(TypedPlaces& places, std::size_t i, const Origin& o);
// Where the byte in slot i, whose value is now `value`, was typed.
Origin origin_at(const TypedPlaces& places, std::size_t i, std::uint8_t value);
// Makes the byte in slot i, of a run, the first of a run of its own, so
// that the byte before it can be given another origin or be dropped.
void start_run(TypedPlaces& places, std::size_t i);

struct ListingReader : Input {
    long long line = 1;
    long long column = 0;   // the last character's
    bool line_start = true; // no character of this line read yet
    bool has_high = false;  // a digit waits for the one that makes its byte
    std::uint8_t high = 0;
    Origin pending{};
    Origin end{};               // the place after the last byte's last character
    std::size_t run_line = 0;   // the length of the last line read as a run
    long long last_unread = -1; // of the bytes the last read made, the last with a digit not read
    bool looked = false;        // at the first lines, for addresses
    Addresses addresses;
    long long offset = 0; // FILE's offset of the next byte made: the window sets it before a read
};

void start_listing(ListingReader& reader, std::FILE* stream);

// The listing's next bytes, at most `room` of them, with their origins
// from slot `first` on (which must leave room for them before the last):
// how many; 0 only at the listing's end (or where reading failed). Sets
// the reader's `last_unread`.
std::size_t read_listing(ListingReader& reader, std::uint8_t* bytes, TypedPlaces& places, std::size_t first,
                         std::size_t room);
