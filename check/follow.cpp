// SPDX-License-Identifier: MIT
#include "check/follow.h"

#include "check/digits.h"
#include "check/readings.h"

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
    Teller teller;
    Repair* repair = nullptr;
    const char* report_name = "";
    const char* file_name = "";
    long long shift = 0;       // FILE's offset less the report's, at the current block
    long long failed = 0;      // the report's blocks that FILE does not match
    long long data_end = -1;   // where the report's data ends in FILE, once its last block said
    long long last_block = -1; // the report's last block compared, where, and whether it matched
    long long last_at = 0;
    bool last_matched = false;
    bool rows_differ = false; // FILE ends inside a block before the report's last, with a complete row wrong
    bool stops_in_last = false;  // FILE ends inside the report's last block, short of its data
    long long report_blocks = 0; // once checked: the report's blocks
    long long matched = 0;       // the report's blocks that FILE matched
    bool not_a_report = false;
    // A listing's window with its digits paired half a byte on, where the
    // blocks after a differing one are looked up in that pairing too.
    std::array<std::uint8_t, FILE_WINDOW_SIZE> flipped{};
};

constexpr long long SIZE = BLOCK_SIZE;

// ---- FILE ----

// The lowest offset of FILE still needed: the current block's and the one
// before it (which says whether a block that FILE lacks is one the report
// has twice), or what the repair has not written yet; and for the repair,
// where it can, FILE's own block at the offset of the block it writes.
long long needed_from(const Check& c, long long at)
{
    const long long before = std::max(0LL, at - SIZE);
    if (c.repair == nullptr) {
        return before;
    }
    // FILE's own block at the offset of the report's block OUTPUT is at,
    // which a run kept as FILE has it puts a block or more from OUTPUT's.
    const long long own = std::max(SIZE * (c.repair->block - c.repair->kept), at - MAX_SHIFT);
    return std::min({before, c.repair->copied, own});
}

bool matches_at(const Check& c, long long block, long long at)
{
    return matches(view(c.file), at, sums_of(c.ahead, block));
}

// ---- telling and undoing ----

void alignment_changes(Check& c, long long by)
{
    c.shift += by;
    c.scan.valid = false;
}

// The first block after a run, and where it stands in FILE at the
// alignment the run leaves: a missing run takes its bytes from every block
// it reaches, at its last place.
struct After {
    long long block;
    long long at;
};

After after_run(long long n, long long at, const Explanation& run)
{
    if (run.kind == Kind::MISSING || run.kind == Kind::MISSING_RANGE) {
        const long long next = (run.place + (run.last - run.at) + run.length - 1) / SIZE + 1;
        return {next, at + SIZE * (next - n) - run.length};
    }
    return {n + 1, at + SIZE + run.length};
}

// In a listing, the bytes of block n typed wrong, in FILE's order: those
// the changes of `e` set back, and those with a digit that could not be
// read, which the block's report gives where nothing else differs, and
// which the typist must see even where it gives the value they read as.
// Whether any was told.
bool tell_typed(Check& c, long long n, long long at, std::size_t filled, const Explanation& e)
{
    if (e.kind != Kind::BYTES && !unread_in(c.file, at, at + static_cast<long long>(filled))) {
        return false; // the common block
    }
    bool told = false;
    for (long long p = at; p < at + static_cast<long long>(filled); ++p) {
        Explanation one;
        one.kind = Kind::BYTES;
        one.changed = 1;
        one.changes[0] = {p, 0, 0};
        bool typed_wrong = false;
        for (std::size_t k = 0; e.kind == Kind::BYTES && k < e.changed; ++k) {
            if (e.changes[k].at == p) {
                one.changes[0] = e.changes[k];
                typed_wrong = true;
            }
        }
        const bool in_run =
            (e.kind == Kind::EXTRA || e.kind == Kind::EXTRA_RANGE) && p >= e.at && p < e.at + e.length;
        if (!typed_wrong && !in_run && unread_in(c.file, p, p + 1)) {
            const std::uint8_t value = file_byte(view(c.file), p); // the report's, solved or read
            one.changes[0] = {p, value, value};
            typed_wrong = true;
        }
        if (p == e.span.byte) {
            one.span = e.span;
        }
        if (typed_wrong) {
            tell(c.teller, n, at, at + static_cast<long long>(filled) - 1, one);
            told = true;
        }
    }
    return told;
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
    if (told != nullptr) {
        tell(c.teller, n, at, at + static_cast<long long>(filled) - 1, *told);
    } else if (c.file.listing != nullptr && e.kind == Kind::BYTES) {
        tell_typed(c, n, at, filled, e);
    } else if (e.kind != Kind::AFTER_DATA) {
        tell(c.teller, n, at, at + static_cast<long long>(filled) - 1, e);
        if (c.file.listing != nullptr && e.kind != Kind::DIFFERS) {
            tell_typed(c, n, at, filled, e);
        }
    }
    // The blocks it accounts for differ as FILE has them, except where only
    // the zero filling after the data is cut.
    const bool differ = e.kind != Kind::AFTER_DATA || e.cuts;
    if (c.repair != nullptr) {
        for (long long k = n; k < next && differ; ++k) {
            const auto i = static_cast<std::size_t>(k - n);
            // A run kept as FILE has it leaves the report's blocks on either
            // side as FILE has them, before it at the alignment it found.
            const bool kept = e.report_slip >= 0 && i < stored.count &&
                              matches(view(c.file), SIZE * k + (k < e.report_slip ? shift_before : c.shift),
                                      stored.sums[i]);
            repair_verdict(*c.repair, k, kept, i < stored.count ? &stored.sums[i] : nullptr);
        }
        if (e.report_slip >= 0) {
            repair_keep(*c.repair, view(c.file), e, stored, n);
        } else {
            repair_undo(*c.repair, view(c.file), e, stored, n);
        }
    }
    c.failed += next - n;
    return next;
}

// The report's last block at FILE's `at`: where FILE matches it with its
// bytes from some X on cut off, those are FILE's bytes after the report's
// data. The report cannot tell a zero byte from the filling, so the
// shortest such FILE is taken; the report's data has at least one byte of
// its last block.
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

Explanation run_to(const FileView& f, long long at, long long n, const StoredBlocks& stored, long long shift,
                   bool loose)
{
    return shift > 0 ? explain_extra(f, at, n, shift, stored, loose)
                     : explain_missing(f, at, n, -shift, stored, loose);
}

// The one run among the shifts that explains the block exactly at one
// place (or several with the same result); DIFFERS if none, or several, do.
Explanation exact_run(const FileView& f, long long at, long long n, const StoredBlocks& stored,
                      const std::array<long long, HITS>& shifts, std::size_t count)
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

// FILE's block `block` at `p`, of which `filled` bytes are FILE's, has
// the values `stored` as it is, or with one or two bytes changed.
bool fits(const Block& block, std::size_t filled, long long p, const BlockSums& stored)
{
    const BlockSums now = sum_block(block);
    return now == stored ||
           (filled > 0 && explain_changes(block, filled, p, stored, now).kind != Kind::DIFFERS);
}

// Block k stands at FILE's `p` as it is, or with one or two bytes changed.
bool fits_at(const Check& c, long long k, long long p)
{
    const FileView f = view(c.file);
    const auto filled = static_cast<std::size_t>(std::clamp(f.size - p, 0LL, SIZE));
    return fits(file_block(f, p), filled, p, sums_of(c.ahead, k));
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

// ---- a listing's digits ----

// How the blocks after block n pair the listing's digits: as they are, or
// only anew after a digit missing in block n, or one too many. The first
// block after it that the pairing changes decides; where it has a digit
// slip of its own, the block after that stands a byte on or back (both
// slips one way), or where it stood (one each way): the slip in block n is
// then taken only where its own report shows it. UNTOLD where no block
// tells, before FILE or the report ends or DECIDE blocks on.
struct Pairing {
    enum class Is : std::uint8_t { SAME, MISSING, EXTRA, EITHER, UNTOLD } is;
    bool sure;   // the blocks after say so; else block n's report must
    bool a_byte; // they stand a byte on or back: a run of one byte, where that explains block n
};

// FILE's block at `p` as the digits pair now, and paired half a byte
// back and on.
struct Pairings {
    Block as_is;
    Block back;
    Block on;
    std::size_t back_filled;
    std::size_t on_filled;
};

Pairings pairings_at(const FileWindow& w, long long p)
{
    Pairings b{file_block(view(w), p), {}, {}, 0, 0};
    b.back = slipped_block(w, p, Slip::MISSING, 2 * p - 1, 0, b.back_filled);
    b.on = slipped_block(w, p, Slip::EXTRA, 2 * p - 1, 0, b.on_filled);
    return b;
}

// The block is one digit over and over, so that every pairing gives it.
bool any_pairing(const Pairings& b)
{
    return b.as_is == b.back && b.as_is == b.on && b.on_filled == BLOCK_SIZE;
}

Pairing pairing_after(const Check& c, long long n, long long at)
{
    const FileWindow& w = c.file;
    const long long held = w.base + static_cast<long long>(w.filled);
    for (long long k = n + 1; k <= n + DECIDE && has_block(c.ahead, k); ++k) {
        const long long p = at + SIZE * (k - n);
        if (p + SIZE > held) {
            break;
        }
        const Pairings b = pairings_at(w, p);
        if (any_pairing(b)) {
            continue;
        }
        const BlockSums& stored = sums_of(c.ahead, k);
        if (fits(b.as_is, BLOCK_SIZE, p, stored)) {
            return {Pairing::Is::SAME, true, false};
        }
        if (fits(b.back, b.back_filled, p, stored)) {
            return {Pairing::Is::MISSING, true, false};
        }
        if (fits(b.on, b.on_filled, p, stored)) {
            return {Pairing::Is::EXTRA, true, false};
        }
        // A byte either way: a run of one byte, or a digit slip in block n
        // and another one the same way in this block, where what stands
        // between them is a digit over and over.
        const bool back_a_byte = fits_at(c, k, p - 1);
        if (back_a_byte || fits_at(c, k, p + 1)) {
            return {back_a_byte ? Pairing::Is::MISSING : Pairing::Is::EXTRA, false, true};
        }
        if (!has_block(c.ahead, k + 1) || p + 2 * SIZE + 1 > held) {
            return {Pairing::Is::SAME, true, false};
        }
        for (const long long by : {0LL, -1LL, 1LL}) {
            const Pairings next = pairings_at(w, p + SIZE + by);
            if (!any_pairing(next) && fits(next.as_is, BLOCK_SIZE, p + SIZE + by, sums_of(c.ahead, k + 1))) {
                return {by == 0  ? Pairing::Is::EITHER
                        : by < 0 ? Pairing::Is::MISSING
                                 : Pairing::Is::EXTRA,
                        false, false};
            }
        }
        return {Pairing::Is::SAME, true, false};
    }
    return {Pairing::Is::UNTOLD, false, false};
}

// Pairs the digits anew, for block n at FILE's `at`, and keeps no sum of
// the window's old bytes. False where the window has no room.
bool pair_digits(Check& c, long long at, Slip slip, long long q, unsigned value, bool typed)
{
    c.scan.valid = false;
    c.scan.summed_at = -1;
    return pair_anew(c.file, slip, q, value, typed, needed_from(c, at));
}

// The digit slip `found` in block n: the digits pair anew from it, and it
// is told as the byte typed wrong. The block to go on with, -2 where the
// window has no room.
long long settle_slip(Check& c, long long n, long long at, const StoredBlocks& stored, const SlipFound& found)
{
    // In a run of one digit, the slip could be at any of its places: told
    // with all of them, as the digits stand before they pair anew.
    Explanation e;
    const DigitRange range = slip_range(c.file, found.slip, found.q, found.value);
    // Where every place is among the characters typed for the slip's byte
    // (three where a digit is one too many; one where a digit is missing,
    // which may go before or after it), the byte is named.
    const long long own = 2 * (found.q >> 1);
    if (range.first < own || range.last > own + (found.slip == Slip::EXTRA ? 2 : 1)) {
        const DigitPlace from = digit_place(c.file, range.first);
        const DigitPlace to = digit_place(c.file, range.last);
        e.span.byte = found.q >> 1;
        e.span.from_line = from.line;
        e.span.from_column = from.column;
        e.span.to_line = to.line;
        e.span.to_column = to.column;
        // The report's blocks, at the alignment of block n.
        const auto block_of = [&](long long digit) {
            const long long d = (digit >> 1) - at;
            return n + (d >= 0 ? d / SIZE : -((SIZE - 1 - d) / SIZE));
        };
        e.span.from_block = block_of(range.first);
        e.span.to_block = block_of(range.last);
    }
    if (!pair_digits(c, at, found.slip, found.q, found.value, true)) {
        return -2;
    }
    const long long p = found.q >> 1;
    const std::uint8_t value = file_byte(view(c.file), p);
    e.kind = Kind::BYTES;
    e.changed = 1;
    e.changes[0] = {p, value, value};
    if (found.besides) {
        // The byte typed wrong besides, as the digits now pair.
        e.changes[e.changed++] = {found.other.at, file_byte(view(c.file), found.other.at), found.other.was};
        if (e.changes[1].at < e.changes[0].at) {
            std::swap(e.changes[0], e.changes[1]); // in FILE's order, as the repair writes
        }
    }
    const auto now_filled = static_cast<std::size_t>(std::min(SIZE, view(c.file).size - at));
    return settle(c, n, at, now_filled, e, stored);
}

// Block n of a listing differs, and `changes` is what changed bytes make
// of it. Where the blocks after pair the digits anew, a digit is missing
// in it or one too many: the one place (or several with one result) that
// gives the block its report is told as the byte typed wrong; where none
// does, the block differs, and the digits pair anew from the block after.
// Where the blocks after do not say so for sure, the block's own report
// may still show the digit, if no change explains it. The block to go on
// with; -1 where the digits pair as they are, -2 where the window has no
// room.
long long digit_slip(Check& c, long long n, long long at, std::size_t filled, const StoredBlocks& stored,
                     const Explanation& changes)
{
    const Pairing after = pairing_after(c, n, at);
    if (after.is == Pairing::Is::SAME || (!after.sure && changes.kind != Kind::DIFFERS)) {
        return -1;
    }
    if (after.a_byte &&
        run_to(view(c.file), at, n, stored, after.is == Pairing::Is::EXTRA ? 1 : -1, false).kind !=
            Kind::DIFFERS) {
        return -1;
    }
    const SlipFound found = find_slip(c.file, at, after.is != Pairing::Is::EXTRA,
                                      after.is != Pairing::Is::MISSING, stored.sums[0]);
    if (found.results != 1) {
        if (!after.sure) {
            return -1;
        }
        // The digits after the block pair anew, the block as typed.
        const long long end = 2 * (at + SIZE);
        const bool paired =
            after.is == Pairing::Is::MISSING
                ? pair_digits(c, at, Slip::MISSING, end, file_byte(view(c.file), at + SIZE - 1) & 0xFu, false)
                : pair_digits(c, at, Slip::EXTRA, end, 0, false);
        return paired ? settle(c, n, at, filled, changes, stored) : -2;
    }
    return settle_slip(c, n, at, stored, found);
}

// The window's digits paired half a byte on: its byte j is the low digit
// of FILE's byte j and the high digit of byte j + 1.
FileView flipped_view(Check& c)
{
    const FileWindow& w = c.file;
    std::size_t made = w.filled > 0 ? w.filled - 1 : 0;
    for (std::size_t i = 0; i < made; ++i) {
        c.flipped[i] = static_cast<std::uint8_t>((w.bytes[i] & 0xFu) << 4u | w.bytes[i + 1] >> 4u);
    }
    if (w.filled > 0 && w.listing->has_high) {
        c.flipped[made] = static_cast<std::uint8_t>((w.bytes[made] & 0xFu) << 4u | w.listing->high);
        ++made;
    }
    const long long end = w.base + static_cast<long long>(made);
    return {c.flipped.data(), w.base, end, w.ended ? end : LLONG_MAX};
}

// Block n of a listing differs, and nothing in bytes explains it or stands
// after it: the blocks after may stand in the other pairing of the digits,
// an odd number of digits on or back, after a digit slip and a run of bytes
// in this block or the next. In that pairing they choose a shift, looked
// up as in bytes, at the first block of a run of differing ones and every
// GROUP-th after it (each look-up reads the window over). A run of bytes
// that explains the block to the shift either side of it comes first (the
// digit slip is then in a later block), then a digit slip that explains
// it (the run is later); otherwise the block differs, and the digits pair
// anew and the alignment moves at its end, silently, by a run of bytes at
// most a block long. The block to go on with; -1 where the other pairing
// tells nothing, -2 where the window has no room.
long long other_pairing(Check& c, long long n, long long at, std::size_t filled, const StoredBlocks& stored,
                        const Explanation& changes)
{
    if (c.teller.unexplained % static_cast<long long>(GROUP) != 0 || stored.count < 2) {
        return -1;
    }
    Scan scan;
    const FileView other = flipped_view(c);
    const Decision d = decide(c.ahead, scan, c.report, other, c.shift, n, at);
    c.scan.valid = false; // the blocks' places found are the other pairing's
    if (d.is != Decision::Is::SHIFT || d.count != 1) {
        return -1;
    }
    // Its byte shift s is 2s + 1 digits: a run of s bytes and a digit too
    // many, or of s + 1 bytes and a digit missing.
    const long long s = d.shifts[0];
    const FileView f = view(c.file);
    for (const long long run : {s, s + 1}) {
        if (run == 0) {
            continue;
        }
        const Explanation e = run_to(f, at, n, stored, run, false);
        if (e.kind == Kind::EXTRA || e.kind == Kind::MISSING) {
            return settle(c, n, at, filled, e, stored);
        }
    }
    const SlipFound found = find_slip(c.file, at, true, true, stored.sums[0]);
    if (found.results == 1) {
        return settle_slip(c, n, at, stored, found);
    }
    // Moved silently, the alignment must hold for the blocks before the one
    // that chose it, changed bytes aside: a slip among them would be told
    // at the wrong place.
    if (s < -SIZE || s > SIZE) {
        return -1;
    }
    for (long long k = n + 1; k < d.by; ++k) {
        const long long p = SIZE * k + c.shift + s;
        if (!fits(file_block(other, p), BLOCK_SIZE, p, sums_of(c.ahead, k))) {
            return -1;
        }
    }
    // The block's end, or where a run missing from its end begins: from
    // there the digits pair on, and the block after stands `s` further.
    const long long from = at + SIZE + std::min(s, 0LL);
    if (!pair_digits(c, at, Slip::EXTRA, 2 * from, 0, false)) {
        return -2;
    }
    if (s == 0) {
        return settle(c, n, at, filled, changes, stored);
    }
    Explanation run;
    run.kind = s > 0 ? Kind::EXTRA : Kind::MISSING;
    run.length = std::llabs(s);
    run.at = from;
    run.last = from;
    run.place = SIZE * (n + 1) + std::min(s, 0LL);
    return settle(c, n, at, filled, run, stored, &changes);
}

// FILE ends inside block n, before the report's data ends: the rows it
// has are compared by their row sums, since the column sums and the CRC
// wait for the whole block, and only those that differ are told. Block n
// and those after it count as differing unless FILE matches so far.
void ends_inside(Check& c, long long n, long long at, const BlockSums& now, std::size_t filled)
{
    const BlockSums& stored = sums_of(c.ahead, n);
    Explanation e;
    e.rows = complete_rows_differing(now, stored, filled);
    if (e.rows != 0) {
        tell(c.teller, n, at, at + static_cast<long long>(filled) - 1, e);
        c.rows_differ = true;
    }
    if (c.repair != nullptr) {
        repair_verdict(*c.repair, n, false, &stored);
    }
}

// Nothing in bytes moves the alignment at block n: what changes make of
// it, or in a listing, what the other pairing of its digits may.
long long differs_as_is(Check& c, long long n, long long at, std::size_t filled, const StoredBlocks& stored,
                        const Explanation& changes)
{
    if (c.file.listing != nullptr && changes.kind == Kind::DIFFERS) {
        const long long next = other_pairing(c, n, at, filled, stored, changes);
        if (next != -1) {
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
// explains the block. The block to go on with.
long long differs(Check& c, long long n, long long at, const Block& block, const BlockSums& now,
                  std::size_t filled)
{
    // Everything an explanation reads, and the decision too.
    if (!hold(c.file, at + DECIDE_REACH, needed_from(c, at))) {
        return -1;
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
        const long long next = digit_slip(c, n, at, filled, stored, changes);
        if (next != -1) {
            return std::max(next, -1LL); // the window's lack of room is trouble, as reading's
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
        const Explanation run = exact_run(file_now, at, n, stored, d.shifts, d.count);
        if (run.kind != Kind::DIFFERS && holds_until(c, n, at, run, d.by)) {
            return settle(c, n, at, filled, run, stored);
        }
        const Explanation near = exact_run(file_now, at, n, stored, d.first, d.first_count);
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

// A listing's digits that could not be read, in the block at FILE's `at`,
// are given by the report of block n where it settles them: the window
// then holds their values, for the explanations and the repair alike, and
// the bytes are still told as typed wrong.
// Whether the block has such digits.
bool solve_listing_block(Check& c, long long n, long long at)
{
    FileWindow& w = c.file;
    const long long end = std::min(at + SIZE, w.base + static_cast<long long>(w.filled));
    if (!unread_in(w, at, end)) {
        return false; // the common block: nothing to solve, nothing to copy
    }
    std::array<std::uint8_t, BLOCK_SIZE> unread{};
    for (long long p = at; p < end; ++p) {
        unread[static_cast<std::size_t>(p - at)] = unread_at(w, p);
    }
    Block block = file_block(view(w), at);
    if (solve_unread(block, unread, static_cast<std::size_t>(end - at), sums_of(c.ahead, n))) {
        std::copy(block.begin(), block.begin() + (end - at), w.bytes.begin() + (at - w.base));
    }
    return true;
}

Outcome trouble(const char* text, const char* name)
{
    std::fprintf(stderr, "%s%s\n", text, name);
    return Outcome::TROUBLE;
}

Outcome report_trouble(Check& c, Record r)
{
    if (r == Record::FAILED) {
        return trouble("cannot read ", c.report_name);
    }
    c.not_a_report = true;
    std::fprintf(stderr, "%s: line %lld, column %lld is not part of a report\n", c.report_name,
                 c.report.bad_line, c.report.bad_column);
    return Outcome::TROUBLE;
}

// Block n matches at `at`; `unread` says a listing's block has digits that
// could not be read.
void matched(Check& c, long long n, long long at, bool unread)
{
    // A listing's block that matches with digits that could not be read,
    // read as 0, is settled by its report, and still typed wrong.
    ++c.matched;
    const auto filled = static_cast<std::size_t>(std::min(SIZE, view(c.file).size - at));
    if (!unread || !tell_typed(c, n, at, filled, Explanation{})) {
        tell_match(c.teller);
    } else {
        ++c.failed;
    }
    if (c.repair != nullptr) {
        repair_verdict(*c.repair, n, true, nullptr);
    }
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
    const FileView f = view(c.file);
    const auto filled = static_cast<std::size_t>(std::min(SIZE, f.size - at));
    const BlockSums now = sum_block(file_block(f, at));
    const BlockSums& stored = sums_of(c.ahead, n);
    const UnreadDigits& unread = unread_of(c.ahead, n);
    const Explanation e = differs_on_read_digits(now, stored, unread.mask);
    const long long last = at + static_cast<long long>(filled) - 1;
    if (e.rows == 0 && e.columns == 0 && !e.crc) {
        tell_report_unread(c.teller, n, at, last, unread, now);
    } else {
        tell(c.teller, n, at, last, e);
    }
    ++c.failed;
    if (c.repair != nullptr) {
        repair_verdict(*c.repair, n, false, &stored);
    }
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
                return trouble("cannot read ", c.file_name);
            }
        }
        f = view(c.file);
        e.length = f.size - e.at;
        e.place = e.at - c.shift;
        tell(c.teller, report_blocks, e.at, f.size - 1, e);
    }
    if (c.repair != nullptr) {
        repair_end(*c.repair, f, report_blocks);
    }

    const long long aligned_end = f.size - c.shift;
    // FILE stops before the report's last block, as a listing typed over
    // several evenings does: where nothing before its end differs, the
    // blocks not yet there are no findings.
    const bool early = aligned_end <= SIZE * (report_blocks - 1) || c.stops_in_last;
    const bool so_far = early && c.failed == 0 && !c.rows_differ;
    const long long after = aligned_end > report_end ? (aligned_end - report_end + SIZE - 1) / SIZE : 0;
    // Where FILE stops early and something differs, the blocks it reached
    // are what it is judged on: one not typed yet is no damage.
    const long long reached_failed = c.failed + (c.rows_differ ? 1 : 0);
    c.failed += std::max(0LL, report_blocks - n) + after;
    if (so_far) {
        tell_so_far(c.teller, c.file_name, f.size, report_blocks);
        return Outcome::DIFFERS;
    }
    if (early) {
        // The blocks compared, and the one FILE ends in.
        const long long reached = std::min(report_blocks, std::max(n, (aligned_end + SIZE - 1) / SIZE));
        tell_failed_so_far(c.teller, c.file_name, reached_failed, reached, report_blocks);
        return Outcome::DIFFERS;
    }
    const long long blocks = report_blocks + after;
    const long long file_blocks = (f.size + SIZE - 1) / SIZE;
    if (file_blocks != report_blocks &&
        (aligned_end <= SIZE * (report_blocks - 1) || aligned_end > report_end)) {
        tell_counts(c.teller, file_blocks, report_blocks);
    }
    tell_verdict(c.teller, c.file_name, c.failed, blocks);
    return c.failed == 0 ? Outcome::MATCHES : Outcome::DIFFERS;
}

// The check's state: large, so held once for the program, and made new
// for each check rather than reset field by field.
Check state;

void start(Check& c, std::FILE* report, const char* report_name, std::FILE* file, const char* file_name,
           bool listing, std::FILE* out, Repair* repair)
{
    ::new (static_cast<void*>(&c)) Check{};
    start_reading(c.report, report);
    c.file.stream = file;
    start_ahead(c.ahead, c.scan);
    start_telling(c.teller, out);
    if (listing) {
        start_listing(c.listing, file);
        c.file.listing = &c.listing;
        c.teller.listing = &c.file;
    }
    c.repair = repair;
    c.report_name = report_name;
    c.file_name = file_name;
}

Outcome run_check(Check& c, std::FILE* report, const char* report_name, std::FILE* file,
                  const char* file_name, bool listing, std::FILE* out, Repair* repair)
{
    start(c, report, report_name, file, file_name, listing, out, repair);
    Ahead& a = c.ahead;
    long long n = 0;
    for (;;) {
        const long long at = SIZE * n + c.shift;
        if (c.repair != nullptr) {
            repair_copy(*c.repair, view(c.file), at);
        }
        if (!hold(c.file, at + SIZE, needed_from(c, at))) {
            return trouble("cannot read ", file_name);
        }
        drop_before(a, n);
        const FileView f = view(c.file);
        if (!has_block(a, n)) {
            if (a.ended) {
                break;
            }
            // Nothing read ahead: the record itself, compared whole.
            if (at < f.size && take_if_same(c.report, format_block_report(file_block(f, at)))) {
                a.first = n + 1;
                c.scan.valid = false;
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
        const bool unread = c.file.listing != nullptr && solve_listing_block(c, n, at);
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
        if (n < 0) {
            return trouble("cannot read ", file_name);
        }
        if (std::ferror(c.teller.out) != 0) {
            return Outcome::TROUBLE; // the caller says "cannot write output"
        }
    }
    return finish_check(c, n);
}

} // namespace

Checked check(std::FILE* report, const char* report_name, std::FILE* file, const char* file_name,
              bool listing, std::FILE* out, Repair* repair)
{
    const Outcome outcome = run_check(state, report, report_name, file, file_name, listing, out, repair);
    return {outcome, state.failed, state.report_blocks, state.matched, state.not_a_report};
}
