// SPDX-License-Identifier: MIT
#include "check/runs.h"

#include <algorithm>
#include <climits>

namespace {

constexpr long long SIZE = BLOCK_SIZE;
constexpr long long COLUMNS = BLOCK_COLUMNS;
constexpr long long ROWS = BLOCK_ROWS;

std::uint8_t row_at(const FileView& file, long long at)
{
    unsigned sum = 0;
    for (long long i = 0; i < COLUMNS; ++i) {
        sum += file_byte(file, at + i);
    }
    return static_cast<std::uint8_t>(sum);
}

// The first row of the report's block that FILE's bytes from `at` do not
// match; all 16 when they all match.
long long first_differing_row(const FileView& file, long long at, const BlockSums& stored)
{
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        if (row_at(file, at + COLUMNS * static_cast<long long>(r)) != stored.rows[r]) {
            return static_cast<long long>(r);
        }
    }
    return ROWS;
}

// The last row, from `lowest` on, that FILE's bytes from `at` do not match;
// the rows below `lowest` count as not matching.
long long last_differing_row(const FileView& file, long long at, const BlockSums& stored, long long lowest)
{
    for (long long r = ROWS - 1; r >= lowest; --r) {
        if (row_at(file, at + COLUMNS * r) != stored.rows[static_cast<std::size_t>(r)]) {
            return r;
        }
    }
    return lowest - 1;
}

// A run at block offset t needs every row before t's row to match at the
// alignment before it, and every row after it at the alignment after it:
// the first differing row at the one bounds t from above, the last
// differing one at the other from below.
struct Places {
    long long first;
    long long last;
};

Places clamp(long long first, long long last)
{
    return {std::max(first, 0LL), std::min(last, SIZE - 1)};
}

// The places that a run with a change besides may have: the change may add
// a differing row on either side, so t's row lies between the first
// differing row before and one after the last differing row after.
Places loose_places(long long first_row, long long last_row, long long missing)
{
    const Places p =
        clamp(COLUMNS * std::min(first_row, ROWS - 1), COLUMNS * last_row + 2 * COLUMNS - 1 - missing);
    return p.first <= p.last ? p : Places{0, SIZE - 1};
}

Explanation range(Kind kind, long long at, long long block, long long length, Places places)
{
    Explanation e;
    e.kind = kind;
    e.length = length;
    e.at = at + places.first;
    e.last = at + places.last;
    e.place = SIZE * block + places.first;
    return e;
}

bool report_ends_with(const StoredBlocks& stored, std::size_t block)
{
    return stored.ends && block + 1 == stored.count;
}

// FILE's block from `at` matches the report's block `j` of the run; a block
// the report does not have contradicts nothing.
bool block_matches(const FileView& file, long long at, const StoredBlocks& stored, std::size_t j)
{
    if (j >= stored.count) {
        return stored.ends;
    }
    return matches(file, at, stored.sums[j]);
}

} // namespace

bool block_follows(const FileView& file, long long at, const StoredBlocks& stored, std::size_t j)
{
    if (j >= stored.count) {
        return stored.ends;
    }
    return matches(file, at, stored.sums[j]) && !matches(file, at - 1, stored.sums[j]) &&
           !matches(file, at + 1, stored.sums[j]);
}

Explanation explain_extra(const FileView& file, long long at, long long block, long long length,
                          const StoredBlocks& stored, bool loose)
{
    const BlockSums& sums = stored.sums[0];
    if (!report_ends_with(stored, 0) && at + SIZE + length > file.size) {
        return {}; // the bytes after the run are not all there
    }
    const long long first_row = first_differing_row(file, at, sums);
    const long long last_row = last_differing_row(file, at + length, sums, 0);
    const Places places = clamp(COLUMNS * last_row + 1, COLUMNS * first_row + COLUMNS - 1);

    // The block without the run at t: FILE's bytes before t, then those
    // after the run. Places with the same bytes are the same result.
    long long found = -1;
    long long last = -1;
    bool distinct = false;
    Block first{};
    for (long long t = places.first; t <= places.last; ++t) {
        Block without;
        for (long long i = 0; i < SIZE; ++i) {
            without[static_cast<std::size_t>(i)] = file_byte(file, at + i + (i < t ? 0 : length));
        }
        if (sum_block(without) != sums) {
            continue;
        }
        if (found < 0) {
            found = t;
            first = without;
        } else {
            distinct = distinct || without != first;
        }
        last = t;
    }
    if (found >= 0) {
        Explanation e = range(distinct ? Kind::EXTRA_RANGE : Kind::EXTRA, at, block, length, {found, last});
        return e;
    }
    if (!loose) {
        return {};
    }
    return range(Kind::EXTRA_RANGE, at, block, length, loose_places(first_row, last_row, 0));
}

namespace {

// A block of which the bytes from..to are unknown, zero in `bytes`, against
// its report. Up to a row of them lie in distinct columns and each column's
// sum gives its value, put in `bytes`; the rows and the CRC must then
// confirm them. More leave only the rows without one to check, and the
// values unknown.
bool check_partly_known(Block& bytes, std::size_t from, std::size_t to, const BlockSums& stored,
                        bool& determined)
{
    const BlockSums now = sum_block(bytes);
    if (to == from) {
        return now == stored;
    }
    if (to - from <= BLOCK_COLUMNS) {
        for (std::size_t q = from; q < to; ++q) {
            const std::size_t c = q % BLOCK_COLUMNS;
            bytes[q] = static_cast<std::uint8_t>(stored.columns[c] - now.columns[c]);
        }
        return sum_block(bytes) == stored;
    }
    determined = false;
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        const bool unknown = r * BLOCK_COLUMNS < to && (r + 1) * BLOCK_COLUMNS > from;
        if (!unknown && now.rows[r] != stored.rows[r]) {
            return false;
        }
    }
    return true;
}

// The run of missing bytes put in at block offset t: the blocks it touches
// checked, and, where they are all determined, the values and the two
// blocks from the one it begins in as the result.
struct Trial {
    bool fits = false;
    bool determined = true;
    std::array<std::uint8_t, MAX_VALUES> values{};
    std::array<Block, 2> result{};
};

Trial try_missing(const FileView& file, long long at, long long length, long long t,
                  const StoredBlocks& stored)
{
    Trial trial;
    const long long end = t + length; // block offsets, from the start of the run's first block
    const long long last_block = (end - 1) / SIZE;
    const auto last = static_cast<std::size_t>(last_block);
    if (last >= stored.count) {
        return trial;
    }
    // Bytes before the run are FILE's at the old alignment, bytes after it
    // FILE's shifted back by the run. Only the report's last block may read
    // FILE's zero filling.
    const long long reads_to =
        last == 0 ? std::max(at + t, at + SIZE - length) : at + SIZE * (last_block + 1) - length;
    if (reads_to > file.size && !report_ends_with(stored, last)) {
        return trial;
    }
    Block& first = trial.result[0];
    for (long long i = 0; i < SIZE; ++i) {
        std::uint8_t byte = 0; // unknown, in the run
        if (i < t) {
            byte = file_byte(file, at + i);
        } else if (i >= end) {
            byte = file_byte(file, at + i - length);
        }
        first[static_cast<std::size_t>(i)] = byte;
    }
    const auto first_to = static_cast<std::size_t>(std::min(end, SIZE));
    const auto from = static_cast<std::size_t>(t);
    trial.fits = check_partly_known(first, from, first_to, stored.sums[0], trial.determined);
    Block& second = trial.result[1];
    std::size_t tail = 0;
    if (last > 0) {
        const long long base = SIZE * static_cast<long long>(last);
        tail = static_cast<std::size_t>(end - base);
        for (long long i = 0; i < SIZE; ++i) {
            second[static_cast<std::size_t>(i)] =
                static_cast<std::size_t>(i) < tail ? 0 : file_byte(file, at + base + i - length);
        }
        trial.fits = trial.fits && check_partly_known(second, 0, tail, stored.sums[last], trial.determined);
        trial.determined = trial.determined && last == 1;
    } else {
        second = file_block(file, at + SIZE - length);
    }
    if (trial.fits && trial.determined) {
        std::size_t k = 0;
        for (std::size_t q = from; q < first_to; ++q) {
            trial.values[k++] = first[q];
        }
        for (std::size_t q = 0; q < tail; ++q) {
            trial.values[k++] = second[q];
        }
    }
    return trial;
}

} // namespace

namespace {

// The places that fit so far, and whether they all give the same bytes.
struct Fitting {
    long long found = -1;
    long long last = -1;
    long long count = 0;
    bool all_determined = true;
    bool distinct = false;
    Trial first{};
};

void add(Fitting& f, long long t, const Trial& trial)
{
    ++f.count;
    f.all_determined = f.all_determined && trial.determined;
    if (f.found < 0) {
        f.found = t;
        f.first = trial;
    } else {
        f.distinct = f.distinct || trial.result != f.first.result;
    }
    f.last = t;
}

} // namespace

Explanation explain_missing(const FileView& file, long long at, long long block, long long length,
                            const StoredBlocks& stored, bool loose)
{
    const BlockSums& sums = stored.sums[0];
    const long long first_row = first_differing_row(file, at, sums);
    // Rows that start before the run's length read FILE before the block.
    const long long lowest = std::min((length + COLUMNS - 1) / COLUMNS, ROWS);
    const long long last_row = last_differing_row(file, at - length, sums, lowest);
    const Places places = clamp(COLUMNS * last_row + 1 - length, COLUMNS * first_row + COLUMNS - 1);

    // A place that ends the run where the next block then matches is
    // preferred to one that leaves that block differing: the blocks after
    // chose this alignment.
    Fitting any;
    Fitting followed;
    for (long long t = places.first; t <= places.last; ++t) {
        const Trial trial = try_missing(file, at, length, t, stored);
        if (!trial.fits) {
            continue;
        }
        add(any, t, trial);
        const long long after = (t + length - 1) / SIZE + 1;
        if (block_matches(file, at + SIZE * after - length, stored, static_cast<std::size_t>(after))) {
            add(followed, t, trial);
        }
    }
    const Fitting& f = followed.count > 0 ? followed : any;
    if (f.found < 0) {
        return loose
                   ? range(Kind::MISSING_RANGE, at, block, length, loose_places(first_row, last_row, length))
                   : Explanation{};
    }
    Explanation e = range(Kind::MISSING, at, block, length, {f.found, f.found});
    if (f.all_determined && !f.distinct) {
        e.known = true;
        e.values = f.first.values;
        return e;
    }
    if (f.count == 1) {
        return e;
    }
    // Whole blocks lost at a block boundary: the block after them matches
    // whole where they start at the block's first byte, and any later start
    // would take the lost blocks' first bytes to be the ones FILE has there.
    if (f.found == 0 && length % SIZE == 0) {
        return e;
    }
    return range(Kind::MISSING_RANGE, at, block, length, {f.found, f.last});
}

namespace {

// The smallest run that explains a block so far, and whether another of
// its size does too.
struct Best {
    Explanation e;
    long long length = LLONG_MAX; // none yet
    bool tie = false;
};

void offer(Best& best, const Explanation& e)
{
    if (e.length < best.length) {
        best = {e, e.length, false};
    } else if (e.length == best.length) {
        best.tie = true;
    }
}

} // namespace

Explanation explain_by_block(const FileView& file, long long at, long long block, const StoredBlocks& stored,
                             const long long* shifts, std::size_t count)
{
    const auto allowed = [&](long long shift) {
        return shifts == nullptr || std::find(shifts, shifts + count, shift) != shifts + count;
    };
    const BlockSums& sums = stored.sums[0];
    const long long first_row = first_differing_row(file, at, sums);
    // The smallest run that explains the block, missing or extra, and the
    // smallest after which the next block matches too, which is preferred:
    // where the next block has a slip of its own, the block alone decides.
    // So it does once two runs of extra bytes explain it: in data that
    // repeats (a tone, a table, zeros) one in every period does, and the
    // next block then matches after one far off only where FILE has no
    // other slip for a while, which tells nothing of this block.
    constexpr int FOLLOW_AMONG = 2;
    int explaining = 0;
    Best alone;
    Best followed;
    for (long long length = 1; length <= static_cast<long long>(MAX_VALUES); ++length) {
        if (!allowed(-length)) {
            continue;
        }
        const Explanation e = explain_missing(file, at, block, length, stored, false);
        if (e.kind != Kind::MISSING || !e.known) {
            continue;
        }
        offer(alone, e);
        const long long after = (e.place - SIZE * block + length - 1) / SIZE + 1;
        if (block_matches(file, at + SIZE * after - length, stored, static_cast<std::size_t>(after))) {
            offer(followed, e);
            break;
        }
    }
    // A run of extra bytes is FILE's own: no longer than what FILE has left.
    const long long longest = std::min({MAX_SHIFT, followed.length, file.size - at});
    for (long long length = 1; length <= longest; ++length) {
        if (!allowed(length)) {
            continue;
        }
        // The rows after the run must match shifted by it: mostly the last
        // row alone rules a shift out, before any block is put together.
        if (last_differing_row(file, at + length, sums, 0) > first_row) {
            continue;
        }
        const Explanation e = explain_extra(file, at, block, length, stored, false);
        if (e.kind != Kind::EXTRA) {
            continue;
        }
        offer(alone, e);
        if (block_matches(file, at + SIZE + length, stored, 1)) {
            offer(followed, e);
            break;
        }
        if (++explaining == FOLLOW_AMONG) {
            break;
        }
    }
    const Best& best = followed.length < LLONG_MAX ? followed : alone;
    return best.tie ? Explanation{} : best.e;
}

Explanation run_to(const FileView& file, long long at, long long block, const StoredBlocks& stored,
                   long long shift, bool loose)
{
    return shift > 0 ? explain_extra(file, at, block, shift, stored, loose)
                     : explain_missing(file, at, block, -shift, stored, loose);
}

After after_run(long long n, long long at, const Explanation& run)
{
    if (run.kind == Kind::MISSING || run.kind == Kind::MISSING_RANGE) {
        const long long next = (run.place + (run.last - run.at) + run.length - 1) / SIZE + 1;
        return {next, at + SIZE * (next - n) - run.length};
    }
    return {n + 1, at + SIZE + run.length};
}

long long data_end(const FileView& f, long long at, const BlockSums& stored)
{
    const long long end = std::min(f.size, at + SIZE);
    Block block = file_block(f, at);
    long long found = -1;
    for (long long x = end; x > at; --x) {
        if (x < end) {
            block[static_cast<std::size_t>(x - at)] = 0;
        }
        if (sum_block(block) == stored) {
            found = x;
        }
    }
    return found;
}

Explanation exact_run(const FileView& f, long long at, long long n, const StoredBlocks& stored,
                      const long long* shifts, std::size_t count)
{
    Explanation found;
    for (std::size_t i = 0; i < count; ++i) {
        if (shifts[i] == 0) {
            continue;
        }
        const Explanation e = run_to(f, at, n, stored, shifts[i], false);
        if (e.kind != Kind::EXTRA && e.kind != Kind::MISSING) {
            continue;
        }
        if (found.kind != Kind::DIFFERS) {
            return {};
        }
        found = e;
    }
    return found;
}
