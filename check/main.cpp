// SPDX-License-Identifier: MIT
// quorvil-check REPORT FILE: reads a report that quorvil wrote and FILE in
// step, block by block, and says where FILE no longer matches it.

#include "check/difference.h"
#include "check/stored_report.h"
#include "checksums/block.h"
#include "checksums/block_report.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace {

// Exit statuses, as cmp and diff have them.
constexpr int MATCHES = 0;
constexpr int DIFFERS = 1;
constexpr int TROUBLE = 2;

// Large stream buffers, as quorvil has: one system call per 64 KiB, not per
// block. Static, so memory is the same whatever the sizes.
constexpr std::size_t STREAM_BUFFER_SIZE = 1 << 16;
char report_buffer[STREAM_BUFFER_SIZE];
char file_buffer[STREAM_BUFFER_SIZE];
char output_buffer[STREAM_BUFFER_SIZE];

// A run of this many differing blocks, none of them one located byte, is
// told in one line: a shift of the data makes every later block differ.
constexpr std::size_t RUN = 8;

using Count = unsigned long long;

struct Finding {
    Count block;
    Count last_byte;
    Difference difference;
};

// What has been found so far, and the run of differing blocks that is not
// told yet: its first RUN - 1 findings are kept, since they are told one by
// one if the run stays short.
struct Tally {
    Count differing = 0;
    std::array<Finding, RUN - 1> held{};
    Count run = 0;
    Finding run_end{};
};

// Writes "rows 1 5" for the set bits of `bits`, after the separator, which
// then becomes ", "; nothing when no bit is set.
void put_numbers(const char*& separator, const char* label, unsigned bits, std::size_t count)
{
    if (bits == 0) {
        return;
    }
    std::printf("%s%s", separator, label);
    for (std::size_t i = 0; i < count; ++i) {
        if ((bits >> i & 1u) != 0) {
            std::printf(" %zu", i);
        }
    }
    separator = ", ";
}

void put_finding(const Finding& f)
{
    const Difference& d = f.difference;
    const Count first = f.block * BLOCK_SIZE;
    if (d.located) {
        std::printf("byte %llu (block %llu, row %zu, column %zu) is %02X; the report says %02X\n",
                    first + d.offset, f.block, d.offset / BLOCK_COLUMNS, d.offset % BLOCK_COLUMNS,
                    static_cast<unsigned>(d.is), static_cast<unsigned>(d.was));
        return;
    }
    std::printf("block %llu (bytes %llu-%llu) differs:", f.block, first, f.last_byte);
    const char* separator = " ";
    put_numbers(separator, "rows", d.rows, BLOCK_ROWS);
    put_numbers(separator, "columns", d.columns, BLOCK_COLUMNS);
    if (d.crc) {
        std::printf("%sCRC", separator);
    }
    std::putchar('\n');
}

// Tells the run that is not told yet, one line for each of its blocks or
// one line for all of them.
void end_run(Tally& t)
{
    if (t.run >= RUN) {
        const Count first = t.run_end.block + 1 - t.run;
        std::printf("blocks %llu-%llu (bytes %llu-%llu) all differ\n", first, t.run_end.block,
                    first * BLOCK_SIZE, t.run_end.last_byte);
    } else {
        for (Count i = 0; i < t.run; ++i) {
            put_finding(t.held[i]);
        }
    }
    t.run = 0;
}

void add_finding(Tally& t, const Finding& f)
{
    ++t.differing;
    if (f.difference.located) {
        end_run(t);
        put_finding(f);
        return;
    }
    if (t.run < t.held.size()) {
        t.held[t.run] = f;
    }
    ++t.run;
    t.run_end = f;
}

// Every exit goes through here, so that output that never arrived cannot
// end in a status that claims it did. Standard output is what failed, so
// standard error is where it is said.
int finish(int status)
{
    const bool flushed = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (std::fclose(stdout) != 0 || !flushed) {
        std::fputs("cannot write output\n", stderr);
        return TROUBLE;
    }
    return status;
}

int trouble(const char* text, const char* name)
{
    std::fprintf(stderr, "%s%s\n", text, name);
    return finish(TROUBLE);
}

int not_a_report(const char* name, Count blocks_before, unsigned line)
{
    std::fprintf(stderr, "%s: line %llu is not part of a report\n", name,
                 blocks_before * REPORT_LINES + line);
    return finish(TROUBLE);
}

// Reads up to one block of the file, zero-filled: the count of bytes, or
// -1 on an error.
long read_block(std::FILE* file, Block& block)
{
    const std::size_t n = std::fread(block.data(), 1, BLOCK_SIZE, file);
    if (n < BLOCK_SIZE && std::ferror(file) != 0) {
        return -1;
    }
    for (std::size_t i = n; i < BLOCK_SIZE; ++i) {
        block[i] = 0;
    }
    return static_cast<long>(n);
}

// Reads the bytes of one block's report: the count (0 at the end of the
// report, less than a record's size when it is cut short), or -1 on an
// error. The first record's first line says how its lines end.
long read_stored(std::FILE* report, char* out, LineEnd& end, bool first)
{
    std::size_t got = 0;
    if (first) {
        got = std::fread(out, 1, 5, report);
        end = line_end_of(out, got);
    }
    const std::size_t size = record_size(end);
    got += std::fread(out + got, 1, size - got, report);
    if (got < size && std::ferror(report) != 0) {
        return -1;
    }
    return static_cast<long>(got);
}

// The block's own report equals the stored one byte for byte: the common
// case, one comparison.
bool same_report(const Block& block, const char* stored, std::size_t size, LineEnd end)
{
    const Report report = format_block_report(block);
    if (end == LineEnd::LF) {
        return size == REPORT_SIZE && std::memcmp(stored, report.data(), REPORT_SIZE) == 0;
    }
    return size == CR_LF_RECORD_SIZE &&
           std::memcmp(stored, with_cr_lf(report).data(), CR_LF_RECORD_SIZE) == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    if (argc != 3) {
        std::fputs("usage: quorvil-check report-file file\n", stderr);
        return finish(TROUBLE);
    }
    const char* const report_name = argv[1];
    const char* const file_name = argv[2];

    std::FILE* const report = std::fopen(report_name, "rb");
    if (report == nullptr) {
        return trouble("cannot open ", report_name);
    }
    std::setvbuf(report, report_buffer, _IOFBF, sizeof report_buffer);
    std::FILE* const file = std::fopen(file_name, "rb");
    if (file == nullptr) {
        return trouble("cannot open ", file_name);
    }
    std::setvbuf(file, file_buffer, _IOFBF, sizeof file_buffer);

    // Both sides are read in step until both have ended; the blocks that
    // only one side has are counted, and the report's are still checked.
    Block block{};
    std::array<char, CR_LF_RECORD_SIZE> stored{};
    LineEnd end = LineEnd::LF;
    Count file_blocks = 0;
    Count report_blocks = 0;
    Tally tally;
    bool file_ended = false;
    bool report_ended = false;
    for (;;) {
        long n = 0;
        if (!file_ended) {
            n = read_block(file, block);
            if (n < 0) {
                return trouble("cannot read ", file_name);
            }
            file_ended = n == 0;
        }
        long got = 0;
        if (!report_ended) {
            got = read_stored(report, stored.data(), end, report_blocks == 0);
            if (got < 0) {
                return trouble("cannot read ", report_name);
            }
            report_ended = got == 0;
        }
        if (file_ended && report_ended) {
            break;
        }
        const auto size = static_cast<std::size_t>(got);
        if (!file_ended && !report_ended && same_report(block, stored.data(), size, end)) {
            ++file_blocks;
            ++report_blocks;
            if (tally.run > 0) {
                end_run(tally);
            }
            continue;
        }
        Sums sums{};
        if (!report_ended) {
            const unsigned line = read_record(stored.data(), size, end, sums);
            if (line != 0) {
                return not_a_report(report_name, report_blocks, line);
            }
        }
        if (!file_ended && !report_ended) {
            const auto filled = static_cast<std::size_t>(n);
            add_finding(tally,
                        {file_blocks, file_blocks * BLOCK_SIZE + filled - 1, explain(block, filled, sums)});
        }
        file_blocks += file_ended ? 0 : 1;
        report_blocks += report_ended ? 0 : 1;
        if (std::ferror(stdout) != 0) {
            return finish(TROUBLE); // says "cannot write output"
        }
    }
    end_run(tally);

    // The blocks that only one side has differ too.
    const Count blocks = std::max(file_blocks, report_blocks);
    if (file_blocks != report_blocks) {
        std::printf("the file has %llu blocks; the report has %llu\n", file_blocks, report_blocks);
    }
    const Count failed = tally.differing + (blocks - std::min(file_blocks, report_blocks));
    if (failed == 0) {
        std::printf("%s: OK\n", file_name);
    } else {
        std::printf("%s: FAILED, %llu of %llu blocks differ\n", file_name, failed, blocks);
    }
    std::fclose(file);
    std::fclose(report);
    return finish(failed == 0 ? MATCHES : DIFFERS);
}
