// SPDX-License-Identifier: MIT
#include "check/align.h"

#include <algorithm>
#include <bit>

std::uint64_t column_word(const std::array<std::uint8_t, BLOCK_COLUMNS>& columns)
{
    std::uint64_t word = 0;
    for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
        word |= std::uint64_t{columns[c]} << (8 * c);
    }
    return word;
}

// Column c takes column c + 1's sum, and the last column the first's, less
// the byte that leaves, plus the one that comes: in the top byte, so that
// the carry falls off the word.
std::uint64_t roll(std::uint64_t columns, std::uint8_t leaves, std::uint8_t comes)
{
    return std::rotr(columns, 8) + (std::uint64_t{static_cast<std::uint8_t>(comes - leaves)} << 56u);
}

namespace {

constexpr long long SIZE = BLOCK_SIZE;

std::size_t slot(long long block)
{
    return static_cast<std::size_t>(block) % AHEAD;
}

std::size_t bucket_of(std::uint64_t columns)
{
    return static_cast<std::size_t>((columns * 0x9E3779B97F4A7C15u) >> (64 - BUCKET_BITS));
}

void append(Ahead& a, const BlockSums& sums, const UnreadDigits& unread)
{
    const long long block = a.first + a.count;
    const std::size_t s = slot(block);
    a.sums[s] = sums;
    a.unread[s].mask = unread.mask;
    if (unread.mask != 0) {
        a.unread[s] = unread;
    }
    a.sums[s + AHEAD] = sums;
    a.columns[s] = column_word(sums.columns);
    a.index[s] = block;
    a.hit_count[s] = 0;
    long long& head = a.bucket[bucket_of(a.columns[s])];
    a.next[s] = head;
    head = block;
    ++a.count;
}

void clear_hits(Ahead& a)
{
    a.hit_count.fill(0);
    a.hits_total = 0;
}

std::uint64_t window_columns(const FileView& f, long long at)
{
    const BlockSums sums = sum_block(file_block(f, at));
    return column_word(sums.columns);
}

// FILE's window at p has the column sums of a coming block: where its rows
// and CRC match too, and within MAX_SHIFT of the current alignment, that
// block stands there.
void look_up(Ahead& a, Scan& scan, const FileView& f, long long shift, long long block, long long p,
             std::uint64_t columns)
{
    for (long long j = a.bucket[bucket_of(columns)]; j > block && has_block(a, j) && a.index[slot(j)] == j;
         j = a.next[slot(j)]) {
        const std::size_t s = slot(j);
        const long long by = p - SIZE * j - shift;
        if (a.columns[s] != columns || by < -MAX_SHIFT || by > MAX_SHIFT) {
            continue;
        }
        if (scan.summed_at != p) {
            scan.sums = sum_block(file_block(f, p));
            scan.summed_at = p;
        }
        if (scan.sums == a.sums[s] && a.hit_count[s] <= HITS) {
            if (a.hit_count[s] < HITS) {
                a.hits[s][a.hit_count[s]] = p;
            }
            ++a.hit_count[s];
            ++a.hits_total;
        }
    }
}

// Looks up FILE's windows from the scan's next one to `limit`, in one pass
// of a rolling sum: mostly a bucket that names no coming block.
void scan_to(Ahead& a, Scan& scan, const FileView& f, long long shift, long long block, long long limit)
{
    std::uint64_t columns = scan.columns;
    long long p = scan.next;
    // Where the window holds both bytes of each step, straight from it.
    const long long direct = std::min(limit, f.end - SIZE);
    if (p >= f.base && p < direct) {
        const std::uint8_t* leaves = f.data + (p - f.base);
        for (; p < direct; ++p, ++leaves) {
            if (a.bucket[bucket_of(columns)] > block) {
                look_up(a, scan, f, shift, block, p, columns);
            }
            columns = roll(columns, *leaves, leaves[SIZE]);
        }
    }
    for (; p < limit; ++p) {
        look_up(a, scan, f, shift, block, p, columns);
        columns = roll(columns, file_byte(f, p), file_byte(f, p + SIZE));
    }
    scan.columns = columns;
    scan.next = std::max(scan.next, limit);
}

// The alignments, as shifts from the current one, at which a block stands
// in FILE from `from` on; false when there are too many to tell.
bool stands_at(const Ahead& a, long long shift, long long block, long long from,
               std::array<long long, HITS>& shifts, std::size_t& count)
{
    const std::size_t s = slot(block);
    count = 0;
    if (a.hit_count[s] > HITS) {
        return false;
    }
    for (std::size_t i = 0; i < a.hit_count[s]; ++i) {
        const long long p = a.hits[s][i];
        const long long by = p - SIZE * block - shift;
        if (p >= from && by >= -MAX_SHIFT && by <= MAX_SHIFT) {
            shifts[count++] = by;
        }
    }
    return true;
}

bool contains(const std::array<long long, HITS>& set, std::size_t count, long long value)
{
    return std::find(set.begin(), set.begin() + static_cast<std::ptrdiff_t>(count), value) !=
           set.begin() + static_cast<std::ptrdiff_t>(count);
}

} // namespace

void start_ahead(Ahead& ahead, Scan& scan)
{
    ahead.bucket.fill(-1);
    scan.summed_at = -1;
}

void forget_scan(Scan& scan, bool rewritten)
{
    scan.valid = false;
    if (rewritten) {
        scan.summed_at = -1;
    }
}

void passed_whole(Ahead& ahead, Scan& scan, long long block)
{
    ahead.first = block + 1;
    scan.valid = false;
}

bool has_block(const Ahead& a, long long block)
{
    return block >= a.first && block < a.first + a.count;
}

const BlockSums& sums_of(const Ahead& a, long long block)
{
    return a.sums[slot(block)];
}

const UnreadDigits& unread_of(const Ahead& a, long long block)
{
    return a.unread[slot(block)];
}

void read_ahead(Ahead& a, ReportReader& report, long long last)
{
    while (!a.ended && a.first + a.count <= last && a.count < static_cast<long long>(AHEAD)) {
        BlockSums sums{};
        const Record r = read_record(report, sums);
        if (r == Record::READ) {
            append(a, sums, report.unread);
        } else {
            a.ended = true;
            a.end = r;
        }
    }
}

void drop_before(Ahead& a, long long block)
{
    for (long long j = a.first; j < std::min(block, a.first + a.count); ++j) {
        a.hits_total -= static_cast<long long>(a.hit_count[slot(j)]);
    }
    if (block > a.first) {
        a.count = std::max(0LL, a.first + a.count - block);
        a.first = block;
    }
}

// A report ends only where it ends well: one that goes on with a line that
// is not part of a report is trouble once the check reaches that line, and
// its blocks before that line are not its last.
StoredBlocks stored_blocks(Ahead& a, ReportReader& report, long long block)
{
    read_ahead(a, report, block + static_cast<long long>(STORED_BLOCKS) - 1);
    const auto count = static_cast<std::size_t>(
        std::clamp(a.first + a.count - block, 0LL, static_cast<long long>(STORED_BLOCKS)));
    return {&a.sums[slot(block)], count,
            a.ended && a.end == Record::END && a.first + a.count == block + static_cast<long long>(count)};
}

Decision decide(Ahead& a, Scan& scan, ReportReader& report, const FileView& f, long long shift, long long n,
                long long at)
{
    read_ahead(a, report, n + DECIDE + 2 * MAX_SHIFT / SIZE + 1);
    if (!scan.valid || scan.shift != shift) {
        clear_hits(a);
        scan.valid = true;
        scan.shift = shift;
        scan.next = at;
        scan.columns = window_columns(f, at);
    } else if (scan.next < at) {
        scan.next = at;
        scan.columns = window_columns(f, at);
    }
    const long long limit = std::min(SIZE * (n + DECIDE) + shift + MAX_SHIFT + 1, f.size);
    scan_to(a, scan, f, shift, n, limit);

    // The first block after that stands anywhere gives the candidates; each
    // later one that stands at some of them but not all keeps those. Blocks
    // that stand at too many places (zeros, repeated data) decide nothing,
    // but may still rule candidates out.
    Decision d{Decision::Is::STAY, {}, 0, {}, 0, n, n};
    bool defined = false;
    bool ambiguous = false;
    bool after = false;
    const long long last = std::min(n + DECIDE, a.first + a.count - 1);
    for (long long j = n + 1; j <= last && SIZE * j + shift - MAX_SHIFT < f.size; ++j) {
        after = true;
        if (a.hits_total == 0) {
            break; // no coming block stands anywhere
        }
        std::array<long long, HITS> shifts;
        std::size_t count = 0;
        if (!stands_at(a, shift, j, at, shifts, count)) {
            if (!defined) {
                ambiguous = true;
                continue;
            }
            count = 0;
            for (std::size_t i = 0; i < d.count; ++i) {
                if (matches(f, SIZE * j + shift + d.shifts[i], sums_of(a, j))) {
                    shifts[count++] = d.shifts[i];
                }
            }
        } else if (count == 0) {
            continue;
        }
        if (!defined) {
            d.shifts = shifts;
            d.count = count;
            d.first = shifts;
            d.first_count = count;
            d.first_by = j;
            d.by = j;
            defined = true;
        } else {
            std::size_t kept = 0;
            std::array<long long, HITS> both{};
            for (std::size_t i = 0; i < d.count; ++i) {
                if (contains(shifts, count, d.shifts[i])) {
                    both[kept++] = d.shifts[i];
                }
            }
            if (kept > 0) {
                d.shifts = both;
                d.count = kept;
                d.by = j;
            }
        }
        if (d.count == 1) {
            break;
        }
    }
    if (!defined) {
        d.is = ambiguous || !after ? Decision::Is::OPEN : Decision::Is::STAY;
        return d;
    }
    if (contains(d.shifts, d.count, 0)) {
        // The current alignment, and the others alike.
        std::size_t others = 0;
        for (std::size_t i = 0; i < d.count; ++i) {
            if (d.shifts[i] != 0) {
                d.shifts[others++] = d.shifts[i];
            }
        }
        d.count = others;
        d.is = others == 0 ? Decision::Is::STAY : Decision::Is::AMONG;
        return d;
    }
    d.is = ambiguous ? Decision::Is::OPEN : d.count == 1 ? Decision::Is::SHIFT : Decision::Is::AMONG;
    return d;
}

int tells_apart(Ahead& a, ReportReader& report, const FileView& f, long long n, long long from,
                long long at_a, long long at_b)
{
    read_ahead(a, report, n + DECIDE);
    for (long long j = from; j <= n + DECIDE && has_block(a, j); ++j) {
        const long long pa = at_a + SIZE * (j - from);
        const long long pb = at_b + SIZE * (j - from);
        if (pa >= f.size && pb >= f.size) {
            break;
        }
        const bool ma = matches(f, pa, sums_of(a, j));
        const bool mb = matches(f, pb, sums_of(a, j));
        if (ma != mb) {
            return ma ? 1 : -1;
        }
        if (!ma) {
            return 0; // a slip between: a block beyond it sees both added up
        }
    }
    return 0;
}
