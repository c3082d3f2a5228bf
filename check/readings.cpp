// SPDX-License-Identifier: MIT
#include "check/readings.h"

#include "check/runs.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr long long SIZE = BLOCK_SIZE;

} // namespace

void read_as_report_slip(const FileView& f, const StoredBlocks& stored, long long n, Explanation& e)
{
    const bool extra = e.kind == Kind::EXTRA || e.kind == Kind::EXTRA_RANGE;
    if (e.length != SIZE || (!extra && e.kind != Kind::MISSING && e.kind != Kind::MISSING_RANGE)) {
        return;
    }
    const long long boundary = (e.place + SIZE - 1) / SIZE; // the first block start from the run's place on
    const long long at = e.at + SIZE * boundary - e.place;
    const bool exact = e.kind == Kind::EXTRA || e.kind == Kind::MISSING;
    if (at > (exact ? e.at : e.last)) {
        return;
    }
    if (extra) {
        const Block block = file_block(f, at);
        if ((at - SIZE >= f.base && file_block(f, at - SIZE) == block) || file_block(f, at + SIZE) == block) {
            return;
        }
    } else {
        const auto i = static_cast<std::size_t>(boundary - n);
        if (i >= stored.count || !((at - SIZE >= f.base && matches(f, at - SIZE, stored.sums[i])) ||
                                   (at < f.size && matches(f, at, stored.sums[i])))) {
            return;
        }
    }
    e.report_slip = boundary;
    e.slip_at = at;
}

// The places that give the same bytes as the one the report found are the
// run's range, and those after it while the bytes repeat: taking out the L
// bytes at q or at q + 1 is the same where byte q is byte q + L; putting
// in values V at q, or V rotated by one at q + 1, where V's first is byte q.
void place_by_address(const FileView& f, const Addresses* addresses, Explanation& e)
{
    const bool extra = e.kind == Kind::EXTRA || e.kind == Kind::EXTRA_RANGE;
    if (addresses == nullptr || addresses->width == 0 ||
        (!extra && e.kind != Kind::MISSING && e.kind != Kind::MISSING_RANGE)) {
        return;
    }
    const long long last = e.kind == Kind::EXTRA || e.kind == Kind::MISSING ? e.at : e.last;
    const auto length = static_cast<std::size_t>(e.length);
    std::array<std::uint8_t, MAX_VALUES> values = e.values;
    long long to = last;
    if (extra) {
        while (to + e.length < f.end && to - last < MAX_SHIFT &&
               file_byte(f, to) == file_byte(f, to + e.length)) {
            ++to;
        }
    } else if (e.known && length <= values.size()) {
        while (to < f.end && to - last < MAX_SHIFT && values[0] == file_byte(f, to)) {
            std::rotate(values.begin(), values.begin() + 1,
                        values.begin() + static_cast<std::ptrdiff_t>(length));
            values[length - 1] = file_byte(f, to);
            ++to;
        }
    }
    const LineGap g = gap_in(*addresses, e.at, to, extra ? -e.length : e.length);
    if (!g.found) {
        return;
    }
    // The values at the line's start: V rotated once for each place after
    // the run's last.
    if (!extra && e.known && g.at > last) {
        for (long long q = last; q < g.at; ++q) {
            std::rotate(e.values.begin(), e.values.begin() + 1,
                        e.values.begin() + static_cast<std::ptrdiff_t>(length));
            e.values[length - 1] = file_byte(f, q);
        }
    }
    e.place += g.at - e.at;
    e.at = g.at;
    e.last = g.at;
    e.kind = extra ? Kind::EXTRA : Kind::MISSING;
    e.line_address = g.address;
}

Explanation run_at_address_gap(const FileView& f, const Addresses* addresses, long long at, long long n,
                               const StoredBlocks& stored)
{
    if (addresses == nullptr || addresses->width == 0) {
        return {};
    }
    const LineGap g = first_gap(*addresses, at, at + SIZE - 1);
    if (!g.found || g.bytes == 0 || std::llabs(g.bytes) > MAX_SHIFT) {
        return {};
    }
    Explanation run = g.bytes > 0 ? explain_missing(f, at, n, g.bytes, stored, false)
                                  : explain_extra(f, at, n, -g.bytes, stored, false);
    if (run.kind == Kind::DIFFERS) {
        return {};
    }
    place_by_address(f, addresses, run);
    return run.line_address >= 0 && run.at == g.at ? run : Explanation{};
}
