// SPDX-License-Identifier: MIT
#include "check/findings.h"

#include <algorithm>

namespace {

constexpr long long SIZE = BLOCK_SIZE;
constexpr long long COLUMNS = BLOCK_COLUMNS;

// The report's block, row and column of a report offset.
void put_place(std::FILE* out, long long place)
{
    std::fprintf(out, "block %lld, row %lld, column %lld", place / SIZE, place % SIZE / COLUMNS,
                 place % COLUMNS);
}

// Writes "rows 1 5" for the set bits of `bits`, after the separator, which
// then becomes ", "; nothing when no bit is set.
void put_numbers(std::FILE* out, const char*& separator, const char* label, unsigned bits, std::size_t count)
{
    if (bits == 0) {
        return;
    }
    std::fprintf(out, "%s%s", separator, label);
    for (std::size_t i = 0; i < count; ++i) {
        if ((bits >> i & 1u) != 0) {
            std::fprintf(out, " %zu", i);
        }
    }
    separator = ", ";
}

// "bytes F-L" of FILE, or in a listing "lines A-B" (or "line A").
void put_span(std::FILE* out, bool listing, long long first, long long last, long long first_line,
              long long last_line)
{
    if (!listing) {
        std::fprintf(out, "bytes %lld-%lld", first, last);
    } else if (first_line == last_line) {
        std::fprintf(out, "line %lld", first_line);
    } else {
        std::fprintf(out, "lines %lld-%lld", first_line, last_line);
    }
}

void put_unexplained(std::FILE* out, bool listing, const Unexplained& u)
{
    std::fprintf(out, "block %lld (", u.block);
    put_span(out, listing, u.first, u.last, u.first_line, u.last_line);
    std::fputs(") differs:", out);
    const char* separator = " ";
    put_numbers(out, separator, "rows", u.rows, BLOCK_ROWS);
    put_numbers(out, separator, "columns", u.columns, BLOCK_COLUMNS);
    if (u.crc) {
        std::fprintf(out, "%sCRC", separator);
    }
    std::fputc('\n', out);
}

// Tells the run that is not told yet: one line for each of its blocks, or
// one line for all of them.
void end_run(Teller& t)
{
    const bool listing = t.listing != nullptr;
    if (t.unexplained >= static_cast<long long>(GROUP)) {
        std::fprintf(t.out, "blocks %lld-%lld (", t.group_first.block, t.group_last.block);
        put_span(t.out, listing, t.group_first.first, t.group_last.last, t.group_first.first_line,
                 t.group_last.last_line);
        std::fputs(") all differ\n", t.out);
    } else {
        for (long long i = 0; i < t.unexplained; ++i) {
            put_unexplained(t.out, listing, t.waiting[static_cast<std::size_t>(i)]);
        }
    }
    t.unexplained = 0;
}

// FILE's offset `at`, or in a listing the place where it was typed.
void put_at(const Teller& t, long long at)
{
    if (t.listing == nullptr) {
        std::fprintf(t.out, "%lld", at);
        return;
    }
    const Origin o = origin_of(*t.listing, at);
    std::fprintf(t.out, "line %lld, column %lld", o.line, o.column);
}

// The run's other reading, as a slip of the report itself.
void put_report_slip(std::FILE* out, const Explanation& e)
{
    if (e.report_slip < 0) {
        return;
    }
    if (e.kind == Kind::EXTRA || e.kind == Kind::EXTRA_RANGE) {
        std::fprintf(out, ", or a block left out of the report before block %lld", e.report_slip);
    } else {
        std::fprintf(out, ", or a block typed twice in the report at block %lld", e.report_slip);
    }
}

const char* bytes_word(long long count)
{
    return count == 1 ? "byte" : "bytes";
}

} // namespace

void start_telling(Teller& teller, std::FILE* out)
{
    teller.out = out;
    teller.unexplained = 0;
}

void tell(Teller& teller, long long block, long long first, long long last, const Explanation& e)
{
    std::FILE* const out = teller.out;
    const bool listing = teller.listing != nullptr;
    const long long first_line = listing ? origin_of(*teller.listing, first).line : 0;
    const long long last_line = listing ? origin_of(*teller.listing, last).line : 0;
    if (e.kind == Kind::DIFFERS) {
        const Unexplained u{block, first, last, first_line, last_line, e.rows, e.columns, e.crc};
        if (teller.unexplained < static_cast<long long>(teller.waiting.size())) {
            teller.waiting[static_cast<std::size_t>(teller.unexplained)] = u;
        }
        if (teller.unexplained == 0) {
            teller.group_first = u;
        }
        ++teller.unexplained;
        teller.group_last = u;
        return;
    }
    end_run(teller);
    switch (e.kind) {
    case Kind::BYTES:
        for (std::size_t k = 0; k < e.changed; ++k) {
            const Change& c = e.changes[k];
            if (listing && e.span.byte >= 0) {
                // A slip in a run of one digit: every place it could be.
                const Explanation::DigitSpan& d = e.span;
                std::fprintf(out, "line %lld, column %lld to line %lld, column %lld (", d.from_line,
                             d.from_column, d.to_line, d.to_column);
                if (d.from_block == d.to_block) {
                    std::fprintf(out, "block %lld", d.from_block);
                } else {
                    std::fprintf(out, "blocks %lld-%lld", d.from_block, d.to_block);
                }
                const Origin o = origin_of(*teller.listing, c.at);
                std::fputs(") is ", out);
                std::fwrite(o.text.data(), 1, o.size, out);
                std::fprintf(out, "; the report says %02X\n", static_cast<unsigned>(c.was));
                continue;
            }
            if (listing) {
                put_at(teller, c.at);
                std::fputs(" (", out);
            } else {
                std::fprintf(out, "byte %lld (", c.at);
            }
            put_place(out, SIZE * block + c.at - first);
            if (listing) {
                // What was typed for the byte, as it stands.
                const Origin o = origin_of(*teller.listing, c.at);
                std::fputs(") is ", out);
                std::fwrite(o.text.data(), 1, o.size, out);
            } else {
                std::fprintf(out, ") is %02X", static_cast<unsigned>(c.is));
            }
            std::fprintf(out, "; the report says %02X\n", static_cast<unsigned>(c.was));
        }
        break;
    case Kind::REPORT_VALUE:
        std::fprintf(out, "block %lld (", block);
        put_span(out, listing, first, last, first_line, last_line);
        std::fprintf(out, "): the report's %s %zu is %02X, the file's is %02X; nothing else differs\n",
                     e.is_row ? "row" : "column", e.index, static_cast<unsigned>(e.stored),
                     static_cast<unsigned>(e.file));
        break;
    case Kind::EXTRA:
    case Kind::MISSING:
    case Kind::AFTER_DATA:
        std::fprintf(out, "%lld %s %s at ", e.length, e.kind == Kind::MISSING ? "missing" : "extra",
                     bytes_word(e.length));
        if (e.line_address >= 0) {
            // Placed by the addresses: the whole line, from its start.
            std::fprintf(out, "line %lld, column 1", origin_of(*teller.listing, e.at).line);
        } else {
            put_at(teller, e.at);
        }
        std::fputs(" (", out);
        put_place(out, e.place);
        std::fputc(')', out);
        if (e.line_address >= 0) {
            std::fprintf(out, ", the line for address %0*llX%s",
                         static_cast<int>(teller.listing->listing->addresses.width), e.line_address,
                         e.kind == Kind::EXTRA ? " typed twice" : "");
        }
        if (e.known) {
            std::fputs("; the report says", out);
            for (long long k = 0; k < e.length; ++k) {
                std::fprintf(out, " %02X", static_cast<unsigned>(e.values[static_cast<std::size_t>(k)]));
            }
        }
        put_report_slip(out, e);
        std::fputc('\n', out);
        break;
    case Kind::EXTRA_RANGE:
    case Kind::MISSING_RANGE:
        std::fprintf(out, "%lld %s %s at ", e.length, e.kind == Kind::EXTRA_RANGE ? "extra" : "missing",
                     bytes_word(e.length));
        put_at(teller, e.at);
        std::fputs(listing ? " to " : "-", out);
        put_at(teller, e.last);
        std::fprintf(out, " (block %lld)", e.place / SIZE);
        put_report_slip(out, e);
        std::fputc('\n', out);
        break;
    case Kind::DIFFERS:
        break;
    }
}

void tell_report_unread(Teller& teller, long long block, long long first, long long last,
                        const UnreadDigits& unread, const BlockSums& now)
{
    end_run(teller);
    const bool listing = teller.listing != nullptr;
    const long long first_line = listing ? origin_of(*teller.listing, first).line : 0;
    const long long last_line = listing ? origin_of(*teller.listing, last).line : 0;
    for (std::size_t k = 0; k < REPORT_DIGITS;) {
        const std::uint64_t digits = value_digits(k);
        const std::size_t width = k >= FIRST_CRC_DIGIT ? 4 : 2;
        if ((unread.mask & digits) != 0) {
            std::fprintf(teller.out, "block %lld (", block);
            put_span(teller.out, listing, first, last, first_line, last_line);
            if (k >= FIRST_CRC_DIGIT) {
                std::fputs("): the report's CRC reads ", teller.out);
            } else {
                std::fprintf(teller.out, "): the report's %s %zu reads ",
                             k < FIRST_COLUMN_DIGIT ? "row" : "column", (k % FIRST_COLUMN_DIGIT) / 2);
            }
            // The value as it was typed: its digits read, and the rest as
            // they stand.
            const unsigned value = k >= FIRST_CRC_DIGIT     ? now.crc
                                   : k < FIRST_COLUMN_DIGIT ? now.rows[k / 2]
                                                            : now.columns[(k - FIRST_COLUMN_DIGIT) / 2];
            for (std::size_t d = 0; d < width; ++d) {
                if ((unread.mask >> (k + d) & 1u) != 0) {
                    const std::array<char, 4>& text = unread.text[k + d];
                    std::fwrite(text.data(), 1, std::find(text.begin(), text.end(), '\0') - text.begin(),
                                teller.out);
                } else {
                    std::fputc("0123456789ABCDEF"[value >> (4 * (width - 1 - d)) & 0xFu], teller.out);
                }
            }
            std::fprintf(teller.out, "; the file gives %0*X\n", static_cast<int>(width), value);
        }
        k += width;
    }
}

void tell_match(Teller& teller)
{
    if (teller.unexplained > 0) {
        end_run(teller);
    }
}

void tell_counts(Teller& teller, long long file_blocks, long long report_blocks)
{
    end_run(teller);
    std::fprintf(teller.out, "the file has %lld blocks; the report has %lld\n", file_blocks, report_blocks);
}

void tell_verdict(Teller& teller, const char* name, long long failed, long long blocks,
                  const RepairNotes& notes)
{
    end_run(teller);
    if (failed == 0) {
        std::fprintf(teller.out, "%s: OK\n", name);
        return;
    }
    std::fprintf(teller.out, "%s: FAILED, %lld of %lld blocks differ", name, failed, blocks);
    if (notes.zeros > 0) {
        std::fprintf(teller.out, "; %lld %s put in as zeros, the report does not give them", notes.zeros,
                     bytes_word(notes.zeros));
    }
    if (notes.report_kept) {
        std::fputs("; kept as the file has it where the report may have a block left out or typed twice",
                   teller.out);
    }
    std::fputc('\n', teller.out);
}

void tell_so_far(Teller& teller, const char* name, long long bytes, long long report_blocks)
{
    end_run(teller);
    std::fprintf(teller.out, "%s: matches so far, %lld %s", name, bytes, bytes_word(bytes));
    // A listing with addresses: where its typing goes on, as it prints it.
    const Addresses* const addresses =
        teller.listing != nullptr ? &teller.listing->listing->addresses : nullptr;
    if (addresses != nullptr && addresses->width > 0 && addresses->base >= 0) {
        std::fprintf(teller.out, " (to address %0*llX),", static_cast<int>(addresses->width),
                     addresses->base + bytes);
    }
    // The last complete row, counted over the whole file: a block's rows
    // follow the last row of the block before.
    const long long rows = bytes / COLUMNS;
    if (rows > 0) {
        const long long row = rows - 1;
        std::fprintf(teller.out, " to block %lld, row %lld", row / BLOCK_ROWS, row % BLOCK_ROWS);
    }
    std::fprintf(teller.out, "; the report has %lld blocks\n", report_blocks);
}

void tell_failed_so_far(Teller& teller, const char* name, long long failed, long long reached,
                        long long report_blocks)
{
    end_run(teller);
    std::fprintf(teller.out, "%s: FAILED, %lld of %lld blocks differ so far; the report has %lld blocks\n",
                 name, failed, reached, report_blocks);
}
