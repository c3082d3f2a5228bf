// SPDX-License-Identifier: MIT
#pragma once

// What a typed listing changes in the choice of a differing block's
// explanation. A digit left out or typed twice pairs every digit after it
// anew, which no run of bytes explains: the blocks after say so, by the
// pairing they stand in. Where nothing in bytes explains a block, the
// blocks after may stand in the other pairing of the digits, an odd number
// of digits on or back. And a listing's unreadable digits are given by the
// block's report where it settles them.
//
// The choice is returned, not told: the block loop settles it as any other.

#include "check/align.h"
#include "check/explain.h"
#include "check/stored_report.h"
#include "check/window.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The listing's own state: its window's digits paired half a byte on, where
// the blocks after a differing one are looked up in that pairing too.
struct Typed {
    std::array<std::uint8_t, FILE_WINDOW_SIZE> flipped{};
};

// The parts of the check that the listing's choice reads, and the two it
// changes: the window's digits, paired anew, and the places found ahead,
// which a new pairing makes stale.
struct TypedCheck {
    FileWindow& file;
    Ahead& ahead;
    ReportReader& report;
    Scan& scan;
    long long shift;       // FILE's offset less the report's, at the block
    long long keep_from;   // the lowest offset of FILE the check still needs
    long long unexplained; // blocks that nothing explained in a row so far
};

// What the listing's digits make of a differing block.
struct TypedChoice {
    enum class Is : std::uint8_t {
        NOTHING, // the digits pair as they are: the choice is the bytes'
        SETTLE,  // settle `e`, `filled` bytes of the block FILE's
        NO_ROOM, // the window had no room to pair the digits anew
    } is = Is::NOTHING;
    Explanation e;
    std::size_t filled = 0;
    // The alignment moves by `e`, silently: the block is told as `told`.
    bool tells_other = false;
    Explanation told;
};

// Where the blocks after pair the digits anew, a digit is missing in block
// n or one too many: the one place (or several with one result) that gives
// the block its report is told as the byte typed wrong; where none does,
// the block is `changes`, and the digits pair anew from the block after.
// Where the blocks after do not say so for sure, the block's own report
// may still show the digit, if no change explains it.
TypedChoice digit_slip(TypedCheck c, long long n, long long at, std::size_t filled,
                       const StoredBlocks& stored, const Explanation& changes);

// Block n differs, and nothing in bytes explains it or stands after it:
// what the other pairing of the digits makes of it.
TypedChoice other_pairing(Typed& t, TypedCheck c, long long n, long long at, std::size_t filled,
                          const StoredBlocks& stored, const Explanation& changes);

// The listing's digits that could not be read, in the block at FILE's
// `at`, given by `stored` where it settles them: the window then holds
// their values. Whether the block has such digits.
bool solve_listing_block(FileWindow& w, long long at, const BlockSums& stored);
