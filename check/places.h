// SPDX-License-Identifier: MIT
#pragma once

// Where each byte of a typed listing was typed, held compactly for the
// bytes a window holds.

#include "check/buffers.h"
#include "check/unread.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Past this column a place no longer fits the compact slot.
inline constexpr long long WIDEST_COLUMN = 0xFFFFFFFF;

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
// The bytes of one run, at most: a place in a run is found by walking back
// to its first byte, which this keeps within a cache line of flags.
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
