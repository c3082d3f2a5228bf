// SPDX-License-Identifier: MIT
#include "check/digits.h"

#include "check/unread.h"

#include <algorithm>
#include <array>

namespace {

// One typed digit: its value, and where and as what it was typed.
struct Part {
    long long line = 0;
    long long column = 0;
    std::array<char, 4> text{};
    std::uint8_t size = 0;
    bool unread = false;
    unsigned value = 0;
};

Part part_of(const Origin& o, bool high, unsigned value)
{
    Part p;
    p.line = high ? o.line : o.low_line;
    p.column = high ? o.column : o.low_column;
    const std::size_t from = high ? 0 : o.high_size;
    const std::size_t to = high ? o.high_size : o.size;
    for (std::size_t i = from; i < to && p.size < p.text.size(); ++i) {
        p.text[p.size++] = o.text[i];
    }
    p.unread = (o.unread & (high ? UNREAD_HIGH : UNREAD_LOW)) != 0;
    p.value = value;
    return p;
}

long long window_end(const FileWindow& w)
{
    return w.base + static_cast<long long>(w.filled);
}

// The digits the window holds, and the reader's digit that waits for its
// pair after them.
long long digits_end(const FileWindow& w)
{
    return 2 * window_end(w) + (w.listing->has_high ? 1 : 0);
}

int digit_value(const FileWindow& w, long long k)
{
    const long long p = k >> 1;
    if (p < window_end(w)) {
        const std::uint8_t b = w.bytes[static_cast<std::size_t>(p - w.base)];
        return (k & 1) != 0 ? b & 0xF : b >> 4;
    }
    return k < digits_end(w) ? w.listing->high : -1;
}

Part digit_part(const FileWindow& w, long long k)
{
    const long long p = k >> 1;
    if (k < 2 * w.base || k >= digits_end(w)) {
        return {};
    }
    if (p < window_end(w)) {
        const Origin o = origin_at(w.places, place_slot(p), w.bytes[static_cast<std::size_t>(p - w.base)]);
        return part_of(o, (k & 1) == 0, static_cast<unsigned>(digit_value(w, k)));
    }
    const ListingReader& r = *w.listing;
    Part part = part_of(r.pending, true, r.high);
    part.size = 0;
    for (std::size_t i = 0; i < r.pending.size && part.size < part.text.size(); ++i) {
        part.text[part.size++] = r.pending.text[i];
    }
    return part;
}

void add_text(Origin& o, const Part& p)
{
    for (std::size_t i = 0; i < p.size && o.size < o.text.size(); ++i) {
        o.text[o.size++] = p.text[i];
    }
}

Origin joined(const Part& high, const Part& low)
{
    Origin o;
    o.line = high.line;
    o.column = high.column;
    o.low_line = low.line;
    o.low_column = low.column;
    add_text(o, high);
    o.high_size = o.size;
    add_text(o, low);
    o.unread = static_cast<std::uint8_t>((high.unread ? UNREAD_HIGH : 0) | (low.unread ? UNREAD_LOW : 0));
    return o;
}

// The new pairing's digit `k`, as the old one holds it.
Part source(const FileWindow& w, Slip slip, long long q, unsigned value, long long k)
{
    if (k < q) {
        return digit_part(w, k);
    }
    if (slip == Slip::EXTRA) {
        return digit_part(w, k + 1);
    }
    if (k > q) {
        return digit_part(w, k - 1);
    }
    // The digit put in has no place of its own: it stands where the one
    // before it was typed.
    Part put = digit_part(w, q - 1);
    put.value = value;
    put.unread = false;
    return put;
}

} // namespace

Block slipped_block(const FileWindow& w, long long at, Slip slip, long long q, unsigned value,
                    std::size_t& filled)
{
    Block block{};
    filled = 0;
    for (long long k = 0; k < 2 * static_cast<long long>(BLOCK_SIZE); ++k) {
        const long long at_k = 2 * at + k;
        const int d = at_k < q              ? digit_value(w, at_k)
                      : slip == Slip::EXTRA ? digit_value(w, at_k + 1)
                      : at_k == q           ? static_cast<int>(value)
                                            : digit_value(w, at_k - 1);
        if (d < 0) {
            break;
        }
        const auto i = static_cast<std::size_t>(k >> 1);
        if ((k & 1) == 0) {
            block[i] = static_cast<std::uint8_t>(d << 4);
        } else {
            block[i] = static_cast<std::uint8_t>(block[i] | d);
            filled = i + 1;
        }
    }
    if (filled < BLOCK_SIZE) {
        block[filled] = 0; // a digit left over is no byte yet
    }
    return block;
}

namespace {

// Adds the result of the slip at `q` (its block `block`) to `found`: false
// once two results differ.
bool add_result(SlipFound& found, Slip slip, long long q, unsigned value, const Block& block,
                const Change* other)
{
    if (found.results == 0) {
        found = {slip, q, value, 1, block, other != nullptr, other != nullptr ? *other : Change{}};
        return true;
    }
    if (block != found.block) {
        found.results = 2;
        return false;
    }
    return true;
}

// The slip at `q` with one other byte typed wrong, as the changed bytes
// of the block with the slip made (a missing digit read as 0) say: one
// byte besides the slip's, whose own change, if any, is only the missing
// digit.
bool with_one_besides(Block& block, std::size_t filled, long long at, Slip slip, long long q,
                      const BlockSums& stored, unsigned& value, Change& other)
{
    const auto i = static_cast<std::size_t>((q >> 1) - at);
    const Explanation e = explain_changes(block, filled, at, stored, sum_block(block));
    if (e.kind != Kind::BYTES) {
        return false;
    }
    std::size_t others = 0;
    for (std::size_t k = 0; k < e.changed; ++k) {
        const Change& change = e.changes[k];
        if (change.at != at + static_cast<long long>(i)) {
            other = change;
            ++others;
            continue;
        }
        const bool high = (q & 1) == 0;
        if (slip == Slip::EXTRA || ((change.is ^ change.was) & (high ? 0x0Fu : 0xF0u)) != 0) {
            return false; // a digit of the slip's byte typed wrong besides
        }
        value = high ? change.was >> 4u : change.was & 0xFu;
    }
    if (others != 1) {
        return false;
    }
    for (std::size_t k = 0; k < e.changed; ++k) {
        block[static_cast<std::size_t>(e.changes[k].at - at)] = e.changes[k].was;
    }
    return true;
}

// The missing digit at `q` is what its row's sum leaves: false where no
// digit can make the sum.
bool missing_from_row(Block& block, std::size_t i, long long q, const BlockSums& stored, unsigned& value)
{
    const std::size_t row = i / BLOCK_COLUMNS;
    const auto by = static_cast<std::uint8_t>(stored.rows[row] - row_sum(block, row));
    const bool high = (q & 1) == 0;
    if (high ? (by & 0xFu) != 0 : by > 0xFu) {
        return false;
    }
    value = high ? by >> 4u : by;
    block[i] = static_cast<std::uint8_t>(block[i] | (high ? value << 4u : value));
    return true;
}

// The slips of one kind that explain the block alone, or `besides` one
// other byte typed wrong.
void find_kind(const FileWindow& w, long long at, Slip slip, bool besides, const BlockSums& stored,
               SlipFound& found)
{
    for (long long q = 2 * at; q < 2 * (at + static_cast<long long>(BLOCK_SIZE)); ++q) {
        std::size_t filled = 0;
        Block block = slipped_block(w, at, slip, q, 0, filled);
        const auto i = static_cast<std::size_t>((q >> 1) - at);
        if (i >= filled) {
            break;
        }
        unsigned value = 0;
        Change other{};
        const bool explains = besides
                                  ? with_one_besides(block, filled, at, slip, q, stored, value, other)
                                  : (slip == Slip::EXTRA || missing_from_row(block, i, q, stored, value)) &&
                                        sum_block(block) == stored;
        if (explains && !add_result(found, slip, q, value, block, besides ? &other : nullptr)) {
            return;
        }
    }
}

} // namespace

SlipFound find_slip(const FileWindow& w, long long at, bool missing, bool extra, const BlockSums& stored)
{
    SlipFound found;
    for (const bool besides : {false, true}) {
        if (missing) {
            find_kind(w, at, Slip::MISSING, besides, stored, found);
        }
        if (extra && found.results < 2) {
            find_kind(w, at, Slip::EXTRA, besides, stored, found);
        }
        if (found.results > 0) {
            break;
        }
    }
    return found;
}

DigitRange slip_range(const FileWindow& w, Slip slip, long long q, unsigned value)
{
    const int d = slip == Slip::MISSING ? static_cast<int>(value) : digit_value(w, q);
    DigitRange range{q, q};
    while (range.first > 2 * w.base && digit_value(w, range.first - 1) == d) {
        --range.first;
    }
    if (slip == Slip::MISSING) {
        while (digit_value(w, range.last) == d) {
            ++range.last; // the digit may go in after each of the run's
        }
    } else {
        while (digit_value(w, range.last + 1) == d) {
            ++range.last;
        }
    }
    return range;
}

DigitPlace digit_place(const FileWindow& w, long long k)
{
    if (k >= digits_end(w)) {
        return {w.listing->end.line, w.listing->end.column};
    }
    const Part part = digit_part(w, k);
    return {part.line, part.column};
}

bool pair_anew(FileWindow& w, Slip slip, long long q, unsigned value, bool typed, long long keep)
{
    ListingReader& r = *w.listing;
    // The addresses' places, read in the old pairing, move with the digits.
    shift_addresses(r.addresses, slip == Slip::MISSING ? q : q + 1, slip == Slip::MISSING ? 1 : -1);
    if (slip == Slip::MISSING && r.has_high && !make_room(w, keep)) {
        return false;
    }
    const long long digits = digits_end(w) + (slip == Slip::MISSING ? 1 : -1);
    const long long first = q >> 1;
    const long long last = digits / 2 - 1; // the last whole byte of the new pairing

    // What was typed for the byte that holds the slip: the digit it has
    // where the other is missing, or its three.
    Origin slip_origin;
    if (slip == Slip::MISSING) {
        const Part one = digit_part(w, (q & 1) == 0 ? q : q - 1);
        add_text(slip_origin, one);
        slip_origin.line = one.line;
        slip_origin.column = one.column;
    } else {
        for (long long k = 2 * first; k < 2 * first + 3; ++k) {
            const Part part = digit_part(w, k);
            if (k == 2 * first) {
                slip_origin.line = part.line;
                slip_origin.column = part.column;
            }
            add_text(slip_origin, part);
        }
    }
    slip_origin.high_size = slip_origin.size;
    const Part left = (digits & 1) != 0 ? source(w, slip, q, value, digits - 1) : Part{};

    const auto make = [&](long long j) {
        const Part high = source(w, slip, q, value, 2 * j);
        const Part low = source(w, slip, q, value, 2 * j + 1);
        const auto byte = static_cast<std::uint8_t>(high.value << 4 | low.value);
        const Origin origin = typed && j == first ? slip_origin : joined(high, low);
        w.bytes[static_cast<std::size_t>(j - w.base)] = byte;
        set_origin(w, j, origin);
    };
    // A digit put in moves every later one up: made from the last, each
    // byte reads only bytes not yet made; one taken out moves them down.
    if (slip == Slip::MISSING) {
        for (long long j = last; j >= first; --j) {
            make(j);
        }
    } else {
        for (long long j = first; j <= last; ++j) {
            make(j);
        }
    }
    w.filled = static_cast<std::size_t>(last + 1 - w.base);
    r.has_high = (digits & 1) != 0;
    if (r.has_high) {
        r.high = static_cast<std::uint8_t>(left.value);
        r.pending = Origin{};
        r.pending.line = left.line;
        r.pending.column = left.column;
        add_text(r.pending, left);
        r.pending.unread = left.unread ? UNREAD_HIGH : 0;
    }
    return true;
}
