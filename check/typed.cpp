// SPDX-License-Identifier: MIT
#include "check/typed.h"

#include "check/digits.h"
#include "check/findings.h"
#include "check/runs.h"
#include "check/unread.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <utility>

namespace {

constexpr long long SIZE = BLOCK_SIZE;

TypedChoice settle_as(const Explanation& e, std::size_t filled)
{
    return {TypedChoice::Is::SETTLE, e, filled, false, {}};
}

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

Pairing pairing_after(const TypedCheck& c, long long n, long long at)
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
        const FileView f = view(w);
        const bool back_a_byte = fits_at(f, p - 1, stored);
        if (back_a_byte || fits_at(f, p + 1, stored)) {
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

// Pairs the digits anew, for the block being explained, and keeps no sum of
// the window's old bytes. False where the window has no room.
bool pair_digits(TypedCheck& c, Slip slip, long long q, unsigned value, bool typed)
{
    forget_scan(c.scan, true);
    return pair_anew(c.file, slip, q, value, typed, c.keep_from);
}

// The digit slip `found` in block n: the digits pair anew from it, and it
// is told as the byte typed wrong.
TypedChoice slip_choice(TypedCheck& c, long long n, long long at, const SlipFound& found)
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
    if (!pair_digits(c, found.slip, found.q, found.value, true)) {
        return {TypedChoice::Is::NO_ROOM, {}, 0, false, {}};
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
    return settle_as(e, now_filled);
}

} // namespace

TypedChoice digit_slip(TypedCheck c, long long n, long long at, std::size_t filled,
                       const StoredBlocks& stored, const Explanation& changes)
{
    const Pairing after = pairing_after(c, n, at);
    if (after.is == Pairing::Is::SAME || (!after.sure && changes.kind != Kind::DIFFERS)) {
        return {};
    }
    if (after.a_byte &&
        run_to(view(c.file), at, n, stored, after.is == Pairing::Is::EXTRA ? 1 : -1, false).kind !=
            Kind::DIFFERS) {
        return {};
    }
    const SlipFound found = find_slip(c.file, at, after.is != Pairing::Is::EXTRA,
                                      after.is != Pairing::Is::MISSING, stored.sums[0]);
    if (found.results != 1) {
        if (!after.sure) {
            return {};
        }
        // The digits after the block pair anew, the block as typed.
        const long long end = 2 * (at + SIZE);
        const bool paired =
            after.is == Pairing::Is::MISSING
                ? pair_digits(c, Slip::MISSING, end, file_byte(view(c.file), at + SIZE - 1) & 0xFu, false)
                : pair_digits(c, Slip::EXTRA, end, 0, false);
        return paired ? settle_as(changes, filled) : TypedChoice{TypedChoice::Is::NO_ROOM, {}, 0, false, {}};
    }
    return slip_choice(c, n, at, found);
}

namespace {

// The window's digits paired half a byte on: its byte j is the low digit
// of FILE's byte j and the high digit of byte j + 1.
FileView flipped_view(Typed& t, const FileWindow& w)
{
    std::size_t made = w.filled > 0 ? w.filled - 1 : 0;
    for (std::size_t i = 0; i < made; ++i) {
        t.flipped[i] = static_cast<std::uint8_t>((w.bytes[i] & 0xFu) << 4u | w.bytes[i + 1] >> 4u);
    }
    if (w.filled > 0 && w.listing->has_high) {
        t.flipped[made] = static_cast<std::uint8_t>((w.bytes[made] & 0xFu) << 4u | w.listing->high);
        ++made;
    }
    const long long end = w.base + static_cast<long long>(made);
    return {t.flipped.data(), w.base, end, w.ended ? end : LLONG_MAX};
}

} // namespace

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
// most a block long.
TypedChoice other_pairing(Typed& t, TypedCheck c, long long n, long long at, std::size_t filled,
                          const StoredBlocks& stored, const Explanation& changes)
{
    if (c.unexplained % static_cast<long long>(GROUP) != 0 || stored.count < 2) {
        return {};
    }
    Scan scan;
    const FileView other = flipped_view(t, c.file);
    const Decision d = decide(c.ahead, scan, c.report, other, c.shift, n, at);
    forget_scan(c.scan, false); // the blocks' places found are the other pairing's
    if (d.is != Decision::Is::SHIFT || d.count != 1) {
        return {};
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
            return settle_as(e, filled);
        }
    }
    const SlipFound found = find_slip(c.file, at, true, true, stored.sums[0]);
    if (found.results == 1) {
        return slip_choice(c, n, at, found);
    }
    // Moved silently, the alignment must hold for the blocks before the one
    // that chose it, changed bytes aside: a slip among them would be told
    // at the wrong place.
    if (s < -SIZE || s > SIZE) {
        return {};
    }
    for (long long k = n + 1; k < d.by; ++k) {
        const long long p = SIZE * k + c.shift + s;
        if (!fits(file_block(other, p), BLOCK_SIZE, p, sums_of(c.ahead, k))) {
            return {};
        }
    }
    // The block's end, or where a run missing from its end begins: from
    // there the digits pair on, and the block after stands `s` further.
    const long long from = at + SIZE + std::min(s, 0LL);
    if (!pair_digits(c, Slip::EXTRA, 2 * from, 0, false)) {
        return {TypedChoice::Is::NO_ROOM, {}, 0, false, {}};
    }
    if (s == 0) {
        return settle_as(changes, filled);
    }
    Explanation run;
    run.kind = s > 0 ? Kind::EXTRA : Kind::MISSING;
    run.length = std::llabs(s);
    run.at = from;
    run.last = from;
    run.place = SIZE * (n + 1) + std::min(s, 0LL);
    return {TypedChoice::Is::SETTLE, run, filled, true, changes};
}

// The bytes are still told as typed wrong; the window's values serve the
// explanations and the repair alike.
bool solve_listing_block(FileWindow& w, long long at, const BlockSums& stored)
{
    const long long end = std::min(at + SIZE, w.base + static_cast<long long>(w.filled));
    if (!unread_in(w, at, end)) {
        return false; // the common block: nothing to solve, nothing to copy
    }
    std::array<std::uint8_t, BLOCK_SIZE> unread{};
    for (long long p = at; p < end; ++p) {
        unread[static_cast<std::size_t>(p - at)] = unread_at(w, p);
    }
    Block block = file_block(view(w), at);
    if (solve_unread(block, unread, static_cast<std::size_t>(end - at), stored)) {
        std::copy(block.begin(), block.begin() + (end - at), w.bytes.begin() + (at - w.base));
    }
    return true;
}
