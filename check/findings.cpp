// SPDX-License-Identifier: MIT
#include "check/findings.h"

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

void put_unexplained(std::FILE* out, const Unexplained& u)
{
    std::fprintf(out, "block %lld (bytes %lld-%lld) differs:", u.block, u.first, u.last);
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
    if (t.unexplained >= static_cast<long long>(GROUP)) {
        std::fprintf(t.out, "blocks %lld-%lld (bytes %lld-%lld) all differ\n", t.group_first.block,
                     t.group_last.block, t.group_first.first, t.group_last.last);
    } else {
        for (long long i = 0; i < t.unexplained; ++i) {
            put_unexplained(t.out, t.waiting[static_cast<std::size_t>(i)]);
        }
    }
    t.unexplained = 0;
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
    if (e.kind == Kind::DIFFERS) {
        const Unexplained u{block, first, last, e.rows, e.columns, e.crc};
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
            std::fprintf(out, "byte %lld (", c.at);
            put_place(out, SIZE * block + c.at - first);
            std::fprintf(out, ") is %02X; the report says %02X\n", static_cast<unsigned>(c.is),
                         static_cast<unsigned>(c.was));
        }
        break;
    case Kind::REPORT_VALUE:
        std::fprintf(out,
                     "block %lld (bytes %lld-%lld): the report's %s %zu is %02X, the file's is %02X; nothing "
                     "else differs\n",
                     block, first, last, e.is_row ? "row" : "column", e.index,
                     static_cast<unsigned>(e.stored), static_cast<unsigned>(e.file));
        break;
    case Kind::EXTRA:
    case Kind::MISSING:
    case Kind::AFTER_DATA:
        std::fprintf(out, "%lld %s %s at %lld (", e.length, e.kind == Kind::MISSING ? "missing" : "extra",
                     bytes_word(e.length), e.at);
        put_place(out, e.place);
        std::fputc(')', out);
        if (e.known) {
            std::fputs("; the report says", out);
            for (long long k = 0; k < e.length; ++k) {
                std::fprintf(out, " %02X", static_cast<unsigned>(e.values[static_cast<std::size_t>(k)]));
            }
        }
        std::fputc('\n', out);
        break;
    case Kind::EXTRA_RANGE:
    case Kind::MISSING_RANGE:
        std::fprintf(out, "%lld %s %s at %lld-%lld (block %lld)\n", e.length,
                     e.kind == Kind::EXTRA_RANGE ? "extra" : "missing", bytes_word(e.length), e.at, e.last,
                     e.place / SIZE);
        break;
    case Kind::DIFFERS:
        break;
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

void tell_verdict(Teller& teller, const char* name, long long failed, long long blocks)
{
    end_run(teller);
    if (failed == 0) {
        std::fprintf(teller.out, "%s: OK\n", name);
    } else {
        std::fprintf(teller.out, "%s: FAILED, %lld of %lld blocks differ\n", name, failed, blocks);
    }
}

void tell_so_far(Teller& teller, const char* name, long long bytes, long long report_blocks)
{
    end_run(teller);
    std::fprintf(teller.out, "%s: matches so far, %lld %s", name, bytes, bytes_word(bytes));
    // The last complete row, counted over the whole file: a block's rows
    // follow the last row of the block before.
    const long long rows = bytes / COLUMNS;
    if (rows > 0) {
        const long long row = rows - 1;
        std::fprintf(teller.out, " to block %lld, row %lld", row / BLOCK_ROWS, row % BLOCK_ROWS);
    }
    std::fprintf(teller.out, "; the report has %lld blocks\n", report_blocks);
}
