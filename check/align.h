// SPDX-License-Identifier: MIT
#pragma once

// Where the report's blocks ahead stand in FILE, and what that says of the
// alignment of a block that differs.
//
// The report's blocks ahead are held as values and indexed by their column
// sums. A rolling sum of FILE's columns, one step a byte, is looked up in
// that index: mostly it names no coming block, and where it does, the rows
// and CRC confirm the block there, as rsync finds shifted data. Each coming
// block thus gets the places where it stands within MAX_SHIFT of the
// current alignment; the first block after the differing one that stands
// anywhere gives the candidate shifts, and each later one keeps those it
// stands at too, until one is left or the horizon is reached.

#include "check/explain.h"
#include "check/stored_report.h"
#include "check/window.h"

#include <array>
#include <cstddef>
#include <cstdint>

// A window's eight column sums in one word, column c in byte c; and the
// word of the window one byte on, from the byte that leaves it and the one
// that comes.
std::uint64_t column_word(const std::array<std::uint8_t, BLOCK_COLUMNS>& columns);
std::uint64_t roll(std::uint64_t columns, std::uint8_t leaves, std::uint8_t comes);

// The blocks after a differing one that may decide its alignment: 63, so
// that with it they span 8 KiB, as wide as the shifts either way, and the
// index below holds 128 blocks. Repeated data that reaches further than
// that is left to the block's own report.
inline constexpr long long DECIDE = 63;

// The report's blocks held ahead: every block that may still stand where
// FILE has been looked up, which is the differing block, the DECIDE after
// it, and those within MAX_SHIFT either way of the last of them.
inline constexpr std::size_t AHEAD = 128;
static_assert(DECIDE + 2 * MAX_SHIFT / BLOCK_SIZE + 1 <= static_cast<long long>(AHEAD));

// FILE's bytes a decision reads from the differing block's offset on.
inline constexpr long long DECIDE_REACH = BLOCK_SIZE * (DECIDE + 2) + 2 * MAX_SHIFT;
static_assert(DECIDE_REACH + 2 * MAX_SHIFT < static_cast<long long>(FILE_WINDOW_SIZE) / 2,
              "the window holds a decision, the repair's unwritten bytes and FILE's own block of the "
              "one it writes, and half as much again");

// The places kept for one coming block. A block that stands at more than 8
// places within the shift either way is repeated data (zeros, a tone, a
// table): it tells no alignment apart, and counting it is enough.
inline constexpr std::size_t HITS = 8;

// The index's buckets: 4096 for the 128 blocks held, so that a rolling
// sum's bucket is nearly always empty and a byte costs one look-up.
inline constexpr std::size_t BUCKET_BITS = 12;

// The report's blocks held ahead, with where each stands in FILE. Each
// bucket names its newest block, each block the next older one in its
// bucket.
struct Ahead {
    // Each block's values twice, at its slot and AHEAD on, so that the
    // blocks from any one on lie in a row.
    std::array<BlockSums, 2 * AHEAD> sums{};
    std::array<std::uint64_t, AHEAD> columns{};
    std::array<long long, AHEAD> index{};
    std::array<long long, AHEAD> next{};
    std::array<std::array<long long, HITS>, AHEAD> hits{};
    std::array<std::size_t, AHEAD> hit_count{}; // more than HITS: too many to tell anything
    std::array<UnreadDigits, AHEAD> unread{};   // a typed report's digits that could not be read
    long long hits_total = 0;                   // the held blocks' hit counts, added
    std::array<long long, std::size_t{1} << BUCKET_BITS> bucket{};
    long long first = 0; // blocks first .. first + count - 1 are held
    long long count = 0;
    bool ended = false;
    Record end = Record::END;
};

// How far FILE's windows have been looked up, at which alignment, and the
// column sums of the next one.
struct Scan {
    bool valid = false;
    long long shift = 0;
    long long next = 0;
    std::uint64_t columns = 0;
    long long summed_at = -1; // the window whose sums are in `sums`
    BlockSums sums{};
};

void start_ahead(Ahead& ahead, Scan& scan);

// The places found ahead are stale: the alignment moved, or, with
// `rewritten`, FILE's bytes in the window changed (its digits paired anew,
// or the other pairing looked up), so that no sum of them stands either.
void forget_scan(Scan& scan, bool rewritten);

// The report's record for `block` was taken whole, nothing held ahead:
// the next block to read is the one after it.
void passed_whole(Ahead& ahead, Scan& scan, long long block);

bool has_block(const Ahead& ahead, long long block);
const BlockSums& sums_of(const Ahead& ahead, long long block);
const UnreadDigits& unread_of(const Ahead& ahead, long long block);

// Reads the report's blocks up to `last` into the ahead, as far as there
// is room and report.
void read_ahead(Ahead& ahead, ReportReader& report, long long last);
// Drops the blocks before `block`, and the places found for them.
void drop_before(Ahead& ahead, long long block);

// The report's blocks from `block` on, as the explanations take them.
StoredBlocks stored_blocks(Ahead& ahead, ReportReader& report, long long block);

// Of two alignments that explain block n alike, which the blocks after
// it tell: the first from `from` on that stands at one and not at the
// other decides, as far as DECIDE blocks after n, where every block
// before it stands at both. FILE's offsets of block `from` at each are
// `at_a` and `at_b`; FILE must be held to DECIDE_REACH past block n. 1 for
// a, -1 for b, 0 where no block tells.
int tells_apart(Ahead& ahead, ReportReader& report, const FileView& file, long long n, long long from,
                long long at_a, long long at_b);

// What the blocks after block n say of its alignment.
struct Decision {
    enum class Is : std::uint8_t {
        STAY,  // the current alignment
        SHIFT, // the one shift in `shifts`
        AMONG, // the blocks after match at the current alignment and at the shifts too
        OPEN,  // nothing after tells: the block's own report decides, else the shifts, if one
    } is;
    std::array<long long, HITS> shifts;
    std::size_t count;
    // The candidates of the first block after that stood anywhere: a later
    // run may have narrowed them to its own shift.
    std::array<long long, HITS> first;
    std::size_t first_count;
    // The blocks that gave `shifts` and `first`: a run to them claims the
    // blocks from it up to that one stand where they matched.
    long long by;
    long long first_by;
};

// Block n, at FILE's `at` (`shift` past the report's offset), differs. FILE
// must be held to DECIDE_REACH past `at`.
Decision decide(Ahead& ahead, Scan& scan, ReportReader& report, const FileView& file, long long shift,
                long long n, long long at);
