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
#include "check/places.h"
#include "check/unread.h"
#include "checksums/block.h"
#include "checksums/block_report.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

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
