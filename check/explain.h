// SPDX-License-Identifier: MIT
#pragma once

// Explaining one block that differs from its report: by the smallest change
// of FILE that gives every value of the block's report, and only when every
// change of that size gives the same bytes. The CRC decides between
// explanations that the sums allow alike. Here: what an explanation is,
// and changed bytes; runs of bytes more or fewer are in runs.h.

#include "check/window.h"
#include "checksums/block.h"
#include "checksums/block_report.h"

#include <array>
#include <cstddef>
#include <cstdint>

// A missing run's values come from the column sums, one byte a column, so
// at most a block's row of them in each block the run touches.
inline constexpr std::size_t MAX_VALUES = 2 * BLOCK_COLUMNS;

// The report's blocks from the one being explained on, as far as they are
// held: sums[i] is that block's i-th successor. `ends` says the report ends
// after the last of them. A run of missing bytes touches at most STORED_BLOCKS.
inline constexpr std::size_t STORED_BLOCKS = MAX_SHIFT / BLOCK_SIZE + 3;
struct StoredBlocks {
    const BlockSums* sums;
    std::size_t count;
    bool ends;
};

enum class Kind : std::uint8_t {
    DIFFERS,       // nothing explains it: `rows`, `columns` and `crc` say what differs
    BYTES,         // one or two changed bytes
    REPORT_VALUE,  // one value of the report alone differs: a slip in a typed report
    EXTRA,         // `length` extra bytes from `at`
    MISSING,       // `length` missing bytes before `at`
    EXTRA_RANGE,   // `length` extra bytes from somewhere in at..last
    MISSING_RANGE, // `length` missing bytes before somewhere in at..last
    AFTER_DATA,    // FILE's bytes from `at` on, `length` of them, follow the report's data
};

struct Change {
    long long at;
    std::uint8_t is;
    std::uint8_t was;
};

// Offsets in FILE (`at`, `last`, a change's `at`) and in the report
// (`place`: the byte the report's block, row and column name).
struct Explanation {
    Kind kind = Kind::DIFFERS;
    std::uint16_t rows = 0;
    std::uint8_t columns = 0;
    bool crc = false;
    std::array<Change, 2> changes{};
    std::size_t changed = 0;
    bool is_row = false; // REPORT_VALUE: a row's value or a column's
    std::size_t index = 0;
    std::uint8_t stored = 0;
    std::uint8_t file = 0;
    long long length = 0;
    long long at = 0;
    long long last = 0;
    long long place = 0;
    bool cuts = false; // AFTER_DATA: the cut changes the bytes of the block it falls in
    std::array<std::uint8_t, MAX_VALUES> values{}; // MISSING, when `known`
    bool known = false;
    // A run of a whole block at the start of the report's block
    // `report_slip` (FILE's offset `slip_at`) has a second reading, as a
    // slip of the report itself: a block left out of it (EXTRA) or typed
    // twice (MISSING); -1 where it has none.
    long long report_slip = -1;
    long long slip_at = 0;
    // A run in a listing placed by its addresses, at the start of a line:
    // the address of the line left out (MISSING) or typed twice (EXTRA).
    long long line_address = -1;
    // BYTES in a listing: a digit slip in a run of one digit, which could
    // be anywhere from one place to another (`span.byte` is the slip's
    // byte; -1 where its place is the byte's own).
    struct DigitSpan {
        long long byte = -1;
        long long from_line = 0;
        long long from_column = 0;
        long long to_line = 0;
        long long to_column = 0;
        long long from_block = 0;
        long long to_block = 0;
    } span;
};

// The block at FILE's offset `at`, of which `filled` bytes are FILE's, at
// the current alignment, with its values `now`: one or two changed bytes,
// one report value alone, or what differs.
Explanation explain_changes(const Block& block, std::size_t filled, long long at, const BlockSums& stored,
                            const BlockSums& now);

// A block `block` at FILE's `p`, of which `filled` bytes are FILE's, has
// the values `stored` as it is, or with one or two bytes changed; and
// FILE's own block at `p` does.
bool fits(const Block& block, std::size_t filled, long long p, const BlockSums& stored);
bool fits_at(const FileView& file, long long p, const BlockSums& stored);

// What differs between a block's values `now` and a typed report's
// `stored`, on the report's digits that could be read (those not in
// `unread`, as UnreadDigits has them): DIFFERS with the values that do.
Explanation differs_on_read_digits(const BlockSums& now, const BlockSums& stored, std::uint64_t unread);

// The rows of a block of which only `filled` bytes are there yet that are
// complete and differ from the report's, as a mask: the column sums and
// the CRC wait for the whole block.
std::uint16_t complete_rows_differing(const BlockSums& now, const BlockSums& stored, std::size_t filled);

// A last block of which only `filled` bytes are there stops short of the
// report's data: its complete rows are right and the report has bytes in
// a row after them. Read as a listing not typed to its end yet.
bool stops_short(const BlockSums& now, const BlockSums& stored, std::size_t filled);
