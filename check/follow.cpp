// SPDX-License-Identifier: MIT
#include "check/follow.h"

#include "check/digits.h"
#include "check/ledger.h"
#include "check/readings.h"
#include "check/runs.h"
#include "check/typed.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <new>
#include <utility>

namespace {

struct Check {
    ReportReader report;
    ListingReader listing; // FILE's text, where FILE is a typed listing
    FileWindow file;
    Ahead ahead;
    Scan scan;
    Ledger ledger;
    const char* file_name = "";
    long long shift = 0;       // FILE's offset less the report's, at the current block
    long long data_end = -1;   // where the report's data ends in FILE, once its last block said
    long long last_block = -1; // the report's last block compared, where, and whether it matched
    long long last_at = 0;
    bool last_matched = false;
    bool stops_in_last = false;  // FILE ends inside the report's last block, short of its data
    long long report_blocks = 0; // once checked: the report's blocks
    Trouble trouble = Trouble::NONE;
    Typed typed; // where FILE is a listing
};

constexpr long long SIZE = BLOCK_SIZE;

// Besides a block to go on with, what explaining a block may come to.
constexpr long long CANNOT_READ = -1; // FILE could not be read, or its window had no room
constexpr long long NOT_TYPED = -2;   // a listing's digits made nothing of the block

// ---- FILE ----

// The lowest offset of FILE still needed: the current block's and the one
// before it (which says whether a block that FILE lacks is one the report
// has twice), or what the repair has not written yet; and for the repair,
// where it can, FILE's own block at the offset of the block it writes.
long long needed_from(const Check& c, long long at)
{
    const long long before = std::max(0LL, at - SIZE);
    if (c.ledger.repair == nullptr) {
        return before;
    }
    return std::min(before, repair_needs_from(*c.ledger.repair, at - MAX_SHIFT));
}

bool matches_at(const Check& c, long long block, long long at)
{
    return matches(view(c.file), at, sums_of(c.ahead, block));
}

// ---- telling and undoing ----

void alignment_changes(Check& c, long long by)
{
    c.shift += by;
    forget_scan(c.scan, false);
}

// Settles the explanation of block n, compared with FILE's bytes from
// `at`: tells it, undoes it in the repair, moves the alignment, and counts
// the report's blocks it accounts for. The block to go on with.
long long settle(Check& c, long long n, long long at, std::size_t filled, const Explanation& found,
                 const StoredBlocks& stored, const Explanation* told = nullptr)
{
    Explanation e = found;
    if (told == nullptr) {
        place_by_address(view(c.file), c.file.listing != nullptr ? &c.file.listing->addresses : nullptr, e);
        read_as_report_slip(view(c.file), stored, n, e);
    }
    const long long shift_before = c.shift;
    long long next = n + 1;
    switch (e.kind) {
    case Kind::DIFFERS:
    case Kind::REPORT_VALUE:
    case Kind::BYTES:
        break;
    case Kind::EXTRA:
    case Kind::EXTRA_RANGE:
        alignment_changes(c, e.length);
        break;
    case Kind::MISSING:
    case Kind::MISSING_RANGE:
        next = after_run(n, at, e).block;
        alignment_changes(c, -e.length);
        break;
    case Kind::AFTER_DATA:
        // Told at the end, where FILE's size is known. Block n has a finding
        // where the bytes start among its own; its zero filling cut off at
        // a block's end changes no block.
        c.data_end = e.at;
        next = e.at < at + SIZE ? n + 1 : n;
        break;
    }
    record_finding(c.ledger, c.file, n, next, at, filled, e, told, stored, shift_before, c.shift);
    return next;
}

// ---- a listing's digits ----

TypedCheck typed_check(Check& c, long long at)
{
    return {c.file, c.ahead, c.report, c.scan, c.shift, needed_from(c, at), c.ledger.teller.unexplained};
}

// What the listing's digits made of block n, settled: the block to go on
// with, NOT_TYPED, or CANNOT_READ where the window had no room.
long long settle_typed(Check& c, long long n, long long at, const StoredBlocks& stored, const TypedChoice& t)
{
    switch (t.is) {
    case TypedChoice::Is::NOTHING:
        return NOT_TYPED;
    case TypedChoice::Is::NO_ROOM:
        return CANNOT_READ;
    case TypedChoice::Is::SETTLE:
        break;
    }
    return settle(c, n, at, t.filled, t.e, stored, t.tells_other ? &t.told : nullptr);
}

// Block k stands at FILE's `p` as it is, or with one or two bytes changed.
bool fits_at(const Check& c, long long k, long long p)
{
    return fits_at(view(c.file), p, sums_of(c.ahead, k));
}

// The blocks from the first after a run up to block `until`, which chose
// the run's alignment, stand there, changed bytes aside. A run chosen by a
// block far ahead claims them all; one of them that nothing explains there
// has a slip of its own, and FILE may have shifted there instead, or
// partly there: in repeated data the block far ahead sees only the shifts
// added up.
bool holds_until(const Check& c, long long n, long long at, const Explanation& run, long long until)
{
    const After after = after_run(n, at, run);
    for (long long k = after.block; k < until; ++k) {
        if (!fits_at(c, k, after.at + SIZE * (k - after.block))) {
            return false;
        }
    }
    return true;
}

// FILE ends inside block n, before the report's data ends: the rows it
// has are compared by their row sums, since the column sums and the CRC
// wait for the whole block, and only those that differ are told. Block n
// and those after it count as differing unless FILE matches so far.
void ends_inside(Check& c, long long n, long long at, const BlockSums& now, std::size_t filled)
{
    record_stop_inside(c.ledger, n, at, now, filled, sums_of(c.ahead, n));
}

// Nothing in bytes moves the alignment at block n: what changes make of
// it, or in a listing, what the other pairing of its digits may.
long long differs_as_is(Check& c, long long n, long long at, std::size_t filled, const StoredBlocks& stored,
                        const Explanation& changes)
{
    if (c.file.listing != nullptr && changes.kind == Kind::DIFFERS) {
        const long long next = settle_typed(
            c, n, at, stored, other_pairing(c.typed, typed_check(c, at), n, at, filled, stored, changes));
        if (next != NOT_TYPED) {
            return next;
        }
    }
    // FILE ends inside the report's last block, short of its data: judged
    // as one that stops in an earlier block.
    const BlockSums now = sum_block(file_block(view(c.file), at));
    if (changes.kind == Kind::DIFFERS && stored.ends && stored.count == 1 &&
        stops_short(now, stored.sums[0], filled)) {
        ends_inside(c, n, at, now, filled);
        c.stops_in_last = true;
        return n + 1;
    }
    return settle(c, n, at, filled, changes, stored);
}

// Block n differs at the current alignment: decides the alignment and
// explains the block. The block to go on with, or CANNOT_READ.
long long differs(Check& c, long long n, long long at, const Block& block, const BlockSums& now,
                  std::size_t filled)
{
    // Everything an explanation reads, and the decision too.
    if (!hold(c.file, at + DECIDE_REACH, needed_from(c, at))) {
        return CANNOT_READ;
    }
    const StoredBlocks stored = stored_blocks(c.ahead, c.report, n);
    const FileView f = view(c.file);
    const BlockSums& sums = stored.sums[0];
    const bool is_last = stored.ends && stored.count == 1;

    // FILE's bytes from there on are told at the end, where FILE's size is
    // known.
    if (is_last) {
        Explanation after;
        after.at = data_end(f, at, sums);
        if (after.at >= 0) {
            after.kind = Kind::AFTER_DATA;
            after.cuts = true;
            return settle(c, n, at, filled, after, stored);
        }
    }

    const Explanation changes = explain_changes(block, filled, at, sums, now);
    if (c.file.listing != nullptr) {
        const long long next =
            settle_typed(c, n, at, stored, digit_slip(typed_check(c, at), n, at, filled, stored, changes));
        if (next != NOT_TYPED) {
            return next;
        }
        // A line the addresses show left out or typed twice here, which the
        // report confirms and after which the next block stands: where data
        // repeats, the blocks ahead may tell no alignment, and changed bytes
        // may make a line the one before it, but the typed addresses tell.
        // Changes that leave the next block standing where it is come first.
        const Explanation line = run_at_address_gap(f, &c.file.listing->addresses, at, n, stored);
        const bool changes_hold = changes.kind != Kind::DIFFERS &&
                                  (is_last || (stored.count > 1 && matches_at(c, n + 1, at + SIZE)));
        if (line.kind != Kind::DIFFERS && !changes_hold) {
            const After after = after_run(n, at, line);
            if (block_follows(f, after.at, stored, static_cast<std::size_t>(after.block - n))) {
                return settle(c, n, at, filled, line, stored);
            }
        }
    }

    // A change explains the block, and the next block matches as it stands:
    // the alignment holds. Where that block would match a byte either way
    // too (zeros, silence), a run may explain the block as well, and the
    // alignment FILE has then shows only where the repeated data ends: the
    // first block that stands at one of the two and not the other decides.
    if (changes.kind != Kind::DIFFERS && (is_last || (stored.count > 1 && matches_at(c, n + 1, at + SIZE)))) {
        if (!is_last && !block_follows(f, at + SIZE, stored, 1)) {
            const Explanation own = explain_by_block(f, at, n, stored, nullptr, 0);
            if (own.kind == Kind::EXTRA || own.kind == Kind::MISSING) {
                const After after = after_run(n, at, own);
                if (tells_apart(c.ahead, c.report, f, n, after.block, after.at,
                                SIZE * after.block + c.shift) > 0) {
                    return settle(c, n, at, filled, own, stored);
                }
            }
        }
        return settle(c, n, at, filled, changes, stored);
    }

    const Decision d = decide(c.ahead, c.scan, c.report, f, c.shift, n, at);
    const FileView file_now = view(c.file);
    if (d.is == Decision::Is::STAY) {
        // A change that leaves the block after it differing is two slips;
        // a run that explains the block and puts the block after it right
        // is one, and is what happened.
        if (changes.kind != Kind::DIFFERS && !is_last) {
            const Explanation own = explain_by_block(file_now, at, n, stored, nullptr, 0);
            const After after = after_run(n, at, own);
            if ((own.kind == Kind::EXTRA || own.kind == Kind::MISSING) &&
                block_follows(file_now, after.at, stored, static_cast<std::size_t>(after.block - n))) {
                return settle(c, n, at, filled, own, stored);
            }
        }
        return differs_as_is(c, n, at, filled, stored, changes);
    }
    // Where the blocks after chose another alignment, a run to it that
    // explains the block exactly comes first, even before a change; then
    // one to an alignment the first of those blocks allowed, since a later
    // run may have moved the one they chose.
    if (d.is == Decision::Is::SHIFT || d.is == Decision::Is::OPEN) {
        const Explanation run = exact_run(file_now, at, n, stored, d.shifts.data(), d.count);
        if (run.kind != Kind::DIFFERS && holds_until(c, n, at, run, d.by)) {
            return settle(c, n, at, filled, run, stored);
        }
        const Explanation near = exact_run(file_now, at, n, stored, d.first.data(), d.first_count);
        if (near.kind != Kind::DIFFERS && holds_until(c, n, at, near, d.first_by)) {
            return settle(c, n, at, filled, near, stored);
        }
        // The blocks after do not stand where that run would put them: FILE
        // shifted part of the way here, where a shorter run the same way
        // explains the block, and the rest later.
        if (d.count == 1 && changes.kind != Kind::DIFFERS) {
            const Explanation own = explain_by_block(file_now, at, n, stored, nullptr, 0);
            const long long part = own.kind == Kind::EXTRA     ? own.length
                                   : own.kind == Kind::MISSING ? -own.length
                                                               : 0;
            if (part != 0 && (part > 0) == (d.shifts[0] > 0) && std::llabs(part) < std::llabs(d.shifts[0])) {
                return settle(c, n, at, filled, own, stored);
            }
        }
    }
    // A run is taken where it explains the block and no change does: the
    // block's own report decides.
    if (changes.kind != Kind::DIFFERS) {
        return settle(c, n, at, filled, changes, stored);
    }
    // Where the blocks after stand at the current alignment too, a run is
    // taken only within the block: one a block long or more explains it by
    // leaving all its bytes out, or all the report's, and in data that
    // repeats with that length it always does.
    const bool among = d.is == Decision::Is::AMONG;
    std::array<long long, HITS> within{};
    std::size_t count = 0;
    for (std::size_t i = 0; among && i < d.count; ++i) {
        if (std::llabs(d.shifts[i]) < SIZE) {
            within[count++] = d.shifts[i];
        }
    }
    const Explanation own = explain_by_block(file_now, at, n, stored, among ? within.data() : nullptr, count);
    if (own.kind != Kind::DIFFERS) {
        return settle(c, n, at, filled, own, stored);
    }
    // The blocks after say FILE has shifted here, but no run explains the
    // block exactly: it has a change besides, and the run is known to a
    // range of places.
    if (!among && d.count == 1) {
        const Explanation loose = run_to(file_now, at, n, stored, d.shifts[0], true);
        if (holds_until(c, n, at, loose, d.by)) {
            return settle(c, n, at, filled, loose, stored);
        }
    }
    return differs_as_is(c, n, at, filled, stored, changes);
}

Outcome trouble(Check& c, Trouble why)
{
    c.trouble = why;
    return Outcome::TROUBLE;
}

Outcome report_trouble(Check& c, Record r)
{
    return trouble(c, r == Record::FAILED ? Trouble::READ_REPORT : Trouble::NOT_A_REPORT);
}

// Block n matches at `at`; `unread` says a listing's block has digits that
// could not be read.
void matched(Check& c, long long n, long long at, bool unread)
{
    // A listing's block that matches with digits that could not be read,
    // read as 0, is settled by its report, and still typed wrong.
    record_match(c.ledger, c.file, n, at, unread);
    c.last_block = n;
    c.last_at = at;
    c.last_matched = true;
}

// FILE's block n has `left` bytes, which end it before the report's last
// block: it is judged on its complete rows.
bool ends_early(Check& c, long long n, long long left)
{
    if (left >= SIZE) {
        return false;
    }
    read_ahead(c.ahead, c.report, n + 1);
    return has_block(c.ahead, n + 1);
}

// Block n's report has digits that could not be read: FILE's block is
// checked on its other values. Where it gives all of them, each value
// misread is told with what FILE gives; else the block differs, and no
// explanation is tried, since one would rest on a value nobody read. The
// alignment stays, and the block counts as differing either way: the
// report is not right yet. A listing's own unreadable digits there stay
// unsolved for the same reason.
void report_unread(Check& c, long long n, long long at)
{
    record_report_unread(c.ledger, view(c.file), n, at, sums_of(c.ahead, n), unread_of(c.ahead, n));
    c.last_block = n;
    c.last_at = at;
    c.last_matched = false;
}

// After the report's last block: FILE's bytes after the report's data, the
// report's blocks FILE does not reach, and the counts.
Outcome finish_check(Check& c, long long n)
{
    Ahead& a = c.ahead;
    // The rest of the report, still checked to its end.
    while (!a.ended) {
        drop_before(a, a.first + a.count);
        read_ahead(a, c.report, a.first + a.count);
    }
    if (a.end != Record::END) {
        return report_trouble(c, a.end);
    }
    const long long report_blocks = a.first + a.count;
    c.report_blocks = report_blocks;
    const long long report_end = SIZE * report_blocks;

    // The block loop has held FILE a block past the report's last block,
    // or seen it end.
    FileView f = view(c.file);
    // FILE not read to its end yet goes on past the report's end (its size
    // then reads as the largest offset, which no shift may be taken from).
    if (c.data_end >= 0 || !c.file.ended || f.size - c.shift > report_end) {
        Explanation e;
        e.kind = Kind::AFTER_DATA;
        e.at = c.data_end;
        if (c.data_end < 0) {
            // After the report's last block; where that block matched, from
            // its last byte that is not zero, since zeros there may be the
            // filling.
            e.at = report_end + c.shift;
            if (c.last_block == report_blocks - 1 && c.last_matched) {
                e.at = c.last_at + 1;
                for (long long p = c.last_at + SIZE - 1; p > c.last_at; --p) {
                    if (file_byte(f, p) != 0) {
                        e.at = p + 1;
                        break;
                    }
                }
            }
            const long long last = report_blocks - 1;
            settle(c, last, SIZE * last + c.shift, 0, e, StoredBlocks{nullptr, 0, false});
        }
        mark_origin(c.file, e.at);
        while (!c.file.ended) {
            if (!hold(c.file, c.file.base + static_cast<long long>(c.file.filled) + 1,
                      c.file.base + static_cast<long long>(c.file.filled))) {
                return trouble(c, Trouble::READ_FILE);
            }
        }
        f = view(c.file);
        e.length = f.size - e.at;
        e.place = e.at - c.shift;
        record_after_data(c.ledger, report_blocks, e, f.size);
    }
    // FILE stops before the report's data ends: before its last block, or
    // inside it short of its data.
    const bool early = f.size - c.shift <= SIZE * (report_blocks - 1) || c.stops_in_last;
    return record_end(c.ledger, f, c.file_name, n, c.shift, report_blocks, early) ? Outcome::MATCHES
                                                                                  : Outcome::DIFFERS;
}

// The check's state: large, so held once for the program, and made new
// for each check rather than reset field by field.
Check state;

void start(Check& c, std::FILE* report, std::FILE* file, const char* file_name, bool listing, std::FILE* out,
           Repair* repair)
{
    ::new (static_cast<void*>(&c)) Check{};
    start_reading(c.report, report);
    c.file.stream = file;
    start_ahead(c.ahead, c.scan);
    if (listing) {
        start_listing(c.listing, file);
        c.file.listing = &c.listing;
    }
    start_ledger(c.ledger, c.file, out, repair);
    c.file_name = file_name;
}

Outcome run_check(Check& c, std::FILE* report, std::FILE* file, const char* file_name, bool listing,
                  std::FILE* out, Repair* repair)
{
    start(c, report, file, file_name, listing, out, repair);
    Ahead& a = c.ahead;
    long long n = 0;
    for (;;) {
        const long long at = SIZE * n + c.shift;
        if (c.ledger.repair != nullptr) {
            repair_copy(*c.ledger.repair, view(c.file), at);
        }
        if (!hold(c.file, at + SIZE, needed_from(c, at))) {
            return trouble(c, Trouble::READ_FILE);
        }
        drop_before(a, n);
        const FileView f = view(c.file);
        if (!has_block(a, n)) {
            if (a.ended) {
                break;
            }
            // Nothing read ahead: the record itself, compared whole.
            if (at < f.size && take_if_same(c.report, format_block_report(file_block(f, at)))) {
                passed_whole(a, c.scan, n);
                matched(c, n, at, unread_in(c.file, at, at + SIZE));
                ++n;
                continue;
            }
            read_ahead(a, c.report, n);
            if (!has_block(a, n)) {
                if (a.end != Record::END) {
                    return report_trouble(c, a.end);
                }
                break;
            }
        }
        if (at >= f.size) {
            break; // FILE has ended: the report's blocks from here on it lacks
        }
        if (unread_of(a, n).mask != 0 && !ends_early(c, n, f.size - at)) {
            report_unread(c, n, at);
            ++n;
            continue;
        }
        const bool unread = c.file.listing != nullptr && solve_listing_block(c.file, at, sums_of(a, n));
        const Block block = file_block(f, at);
        const BlockSums now = sum_block(block);
        if (now == sums_of(a, n)) {
            matched(c, n, at, unread);
            ++n;
            continue;
        }
        const auto filled = static_cast<std::size_t>(std::min(SIZE, f.size - at));
        if (ends_early(c, n, f.size - at)) {
            ends_inside(c, n, at, now, filled);
            break;
        }
        c.last_block = n;
        c.last_at = at;
        c.last_matched = false;
        n = differs(c, n, at, block, now, filled);
        if (n == CANNOT_READ) {
            return trouble(c, Trouble::READ_FILE);
        }
        if (std::ferror(c.ledger.teller.out) != 0) {
            return trouble(c, Trouble::WRITE);
        }
    }
    return finish_check(c, n);
}

} // namespace

Checked check(std::FILE* report, std::FILE* file, const char* file_name, bool listing, std::FILE* out,
              Repair* repair)
{
    const Outcome outcome = run_check(state, report, file, file_name, listing, out, repair);
    return {outcome,       state.ledger.failed,   state.report_blocks,    state.ledger.matched,
            state.trouble, state.report.bad_line, state.report.bad_column};
}
