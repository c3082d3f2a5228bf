// SPDX-License-Identifier: MIT
#include "check/ledger.h"

#include <algorithm>

namespace {

constexpr long long SIZE = BLOCK_SIZE;

// In a listing, the bytes of block n typed wrong, in FILE's order: those
// the changes of `e` set back, and those with a digit that could not be
// read, which the block's report gives where nothing else differs, and
// which the typist must see even where it gives the value they read as.
// Whether any was told.
bool tell_typed(Ledger& l, const FileWindow& file, long long n, long long at, std::size_t filled,
                const Explanation& e)
{
    if (e.kind != Kind::BYTES && !unread_in(file, at, at + static_cast<long long>(filled))) {
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
        if (!typed_wrong && !in_run && unread_in(file, p, p + 1)) {
            const std::uint8_t value = file_byte(view(file), p); // the report's, solved or read
            one.changes[0] = {p, value, value};
            typed_wrong = true;
        }
        if (p == e.span.byte) {
            one.span = e.span;
        }
        if (typed_wrong) {
            tell(l.teller, n, at, at + static_cast<long long>(filled) - 1, one);
            told = true;
        }
    }
    return told;
}

} // namespace

void start_ledger(Ledger& l, const FileWindow& file, std::FILE* out, Repair* repair)
{
    start_telling(l.teller, out);
    l.teller.listing = file.listing != nullptr ? &file : nullptr;
    l.repair = repair;
}

void record_match(Ledger& l, const FileWindow& file, long long n, long long at, bool unread)
{
    ++l.matched;
    const auto filled = static_cast<std::size_t>(std::min(SIZE, view(file).size - at));
    if (!unread || !tell_typed(l, file, n, at, filled, Explanation{})) {
        tell_match(l.teller);
    } else {
        ++l.failed;
    }
    if (l.repair != nullptr) {
        repair_verdict(*l.repair, n, true, nullptr);
    }
}

void record_finding(Ledger& l, const FileWindow& file, long long n, long long next, long long at,
                    std::size_t filled, const Explanation& e, const Explanation* told,
                    const StoredBlocks& stored, long long shift_before, long long shift_after)
{
    const bool listing = file.listing != nullptr;
    if (told != nullptr) {
        tell(l.teller, n, at, at + static_cast<long long>(filled) - 1, *told);
    } else if (listing && e.kind == Kind::BYTES) {
        tell_typed(l, file, n, at, filled, e);
    } else if (e.kind != Kind::AFTER_DATA) {
        tell(l.teller, n, at, at + static_cast<long long>(filled) - 1, e);
        if (listing && e.kind != Kind::DIFFERS) {
            tell_typed(l, file, n, at, filled, e);
        }
    }
    // The blocks it accounts for differ as FILE has them, except where only
    // the zero filling after the data is cut.
    const bool differ = e.kind != Kind::AFTER_DATA || e.cuts;
    if (l.repair != nullptr) {
        const FileView f = view(file);
        for (long long k = n; k < next && differ; ++k) {
            const auto i = static_cast<std::size_t>(k - n);
            // A run kept as FILE has it leaves the report's blocks on either
            // side as FILE has them, before it at the alignment it found.
            const bool kept =
                e.report_slip >= 0 && i < stored.count &&
                matches(f, SIZE * k + (k < e.report_slip ? shift_before : shift_after), stored.sums[i]);
            repair_verdict(*l.repair, k, kept, i < stored.count ? &stored.sums[i] : nullptr);
        }
        if (e.report_slip >= 0) {
            repair_keep(*l.repair, f, e, stored, n);
        } else {
            repair_undo(*l.repair, f, e, stored, n);
        }
    }
    l.failed += next - n;
}

void record_report_unread(Ledger& l, const FileView& file, long long n, long long at, const BlockSums& stored,
                          const UnreadDigits& unread)
{
    const auto filled = static_cast<std::size_t>(std::min(SIZE, file.size - at));
    const BlockSums now = sum_block(file_block(file, at));
    const Explanation e = differs_on_read_digits(now, stored, unread.mask);
    const long long last = at + static_cast<long long>(filled) - 1;
    if (e.rows == 0 && e.columns == 0 && !e.crc) {
        tell_report_unread(l.teller, n, at, last, unread, now);
    } else {
        tell(l.teller, n, at, last, e);
    }
    ++l.failed;
    if (l.repair != nullptr) {
        repair_verdict(*l.repair, n, false, &stored);
    }
}

void record_stop_inside(Ledger& l, long long n, long long at, const BlockSums& now, std::size_t filled,
                        const BlockSums& stored)
{
    Explanation e;
    e.rows = complete_rows_differing(now, stored, filled);
    if (e.rows != 0) {
        tell(l.teller, n, at, at + static_cast<long long>(filled) - 1, e);
        l.rows_differ = true;
    }
    if (l.repair != nullptr) {
        repair_verdict(*l.repair, n, false, &stored);
    }
}

void record_after_data(Ledger& l, long long report_blocks, const Explanation& e, long long file_size)
{
    tell(l.teller, report_blocks, e.at, file_size - 1, e);
}

bool record_end(Ledger& l, const FileView& file, const char* file_name, long long n, long long shift,
                long long report_blocks, bool early)
{
    if (l.repair != nullptr) {
        repair_end(*l.repair, file, report_blocks);
    }
    const long long report_end = SIZE * report_blocks;
    const long long aligned_end = file.size - shift;
    // FILE stops before the report's data ends, as a listing typed over
    // several evenings does: where nothing before its end differs, the
    // blocks not yet there are no findings.
    const bool so_far = early && l.failed == 0 && !l.rows_differ;
    const long long after = aligned_end > report_end ? (aligned_end - report_end + SIZE - 1) / SIZE : 0;
    // Where FILE stops early and something differs, the blocks it reached
    // are what it is judged on: one not typed yet is no damage.
    const long long reached_failed = l.failed + (l.rows_differ ? 1 : 0);
    l.failed += std::max(0LL, report_blocks - n) + after;
    if (so_far) {
        tell_so_far(l.teller, file_name, file.size, report_blocks);
        return false;
    }
    if (early) {
        // The blocks compared, and the one FILE ends in.
        const long long reached = std::min(report_blocks, std::max(n, (aligned_end + SIZE - 1) / SIZE));
        tell_failed_so_far(l.teller, file_name, reached_failed, reached, report_blocks);
        return false;
    }
    const long long blocks = report_blocks + after;
    const long long file_blocks = (file.size + SIZE - 1) / SIZE;
    if (file_blocks != report_blocks &&
        (aligned_end <= SIZE * (report_blocks - 1) || aligned_end > report_end)) {
        tell_counts(l.teller, file_blocks, report_blocks);
    }
    tell_verdict(l.teller, file_name, l.failed, blocks);
    return l.failed == 0;
}
