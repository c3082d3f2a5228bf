// SPDX-License-Identifier: MIT
#pragma once

// Following FILE along its report: block by block while they match, and
// where a block differs, deciding by the blocks after it whether FILE has
// lost or gained bytes there, and how many, before the block is explained.
//
// FILE is held in a window that reaches far enough ahead for that decision,
// and the report's blocks ahead are held as values. A rolling sum of FILE's
// columns, looked up among the coming blocks' column sums, finds where any
// of them stands in FILE at about one look-up a byte, as rsync finds
// shifted data.

#include "check/explain.h"
#include "check/findings.h"
#include "check/repair.h"
#include "check/stored_report.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// A window's eight column sums in one word, column c in byte c; and the
// word of the window one byte on, from the byte that leaves it and the one
// that comes.
std::uint64_t column_word(const std::array<std::uint8_t, BLOCK_COLUMNS>& columns);
std::uint64_t roll(std::uint64_t columns, std::uint8_t leaves, std::uint8_t comes);

// The report's blocks held ahead, with where each stands in FILE. They are
// found through buckets by column sums: each bucket names its newest block,
// each block the next older one in its bucket.
inline constexpr std::size_t AHEAD = 128;
inline constexpr std::size_t BUCKET_BITS = 12;
inline constexpr std::size_t HITS = 8;

struct Ahead {
    // Each block's values twice, at its slot and AHEAD on, so that the
    // blocks from any one on lie in a row.
    std::array<BlockSums, 2 * AHEAD> sums{};
    std::array<std::uint64_t, AHEAD> columns{};
    std::array<long long, AHEAD> index{};
    std::array<long long, AHEAD> next{};
    std::array<std::array<long long, HITS>, AHEAD> hits{};
    std::array<std::size_t, AHEAD> hit_count{}; // more than HITS: too many to tell anything
    long long hits_held = 0;                    // the held blocks' hit counts, added
    std::array<long long, std::size_t{1} << BUCKET_BITS> bucket{};
    long long first = 0; // blocks first .. first + count - 1 are held
    long long count = 0;
    bool ended = false;
    Record end = Record::END;
};

// How far FILE's windows have been looked up, and the column sums of the
// next one.
struct Scan {
    bool valid = false;
    long long shift = 0;
    long long next = 0;
    std::uint64_t columns = 0;
    long long summed_at = -1; // the window whose sums are in `sums`
    BlockSums sums{};
};

struct Check {
    ReportReader report;
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
    long long report_blocks = 0; // once checked: the report's blocks
};

enum class Outcome { MATCHES, DIFFERS, TROUBLE };

// Checks FILE against REPORT, telling the findings and FILE's last line on
// `out`; trouble is told on standard error. With a repair, writes it too.
Outcome check(Check& check, std::FILE* report, const char* report_name, std::FILE* file,
              const char* file_name, std::FILE* out, Repair* repair);
