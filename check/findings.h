// SPDX-License-Identifier: MIT
#pragma once

// Telling the findings, one line each in FILE's order, and the last lines.
// Blocks that nothing explains are held back while they follow each other:
// a group of GROUP or more takes one line.

#include "check/explain.h"
#include "check/stored_report.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Eight blocks in a row, a kilobyte, that nothing explains are one
// stretch of damage (a run longer than the check follows, a garbled page):
// one line, so that it does not bury the findings around it.
inline constexpr std::size_t GROUP = 8;

// A block that nothing explains: the report's block and the FILE bytes it
// was compared with.
struct Unexplained {
    long long block;
    long long first;
    long long last;
    long long first_line; // in a listing: the lines of `first` and `last`
    long long last_line;
    std::uint16_t rows;
    std::uint8_t columns;
    bool crc;
};

struct Teller {
    std::FILE* out = nullptr;
    const FileWindow* listing = nullptr;          // FILE is a typed listing: places are its lines and columns
    std::array<Unexplained, GROUP - 1> waiting{}; // the group so far, until it is GROUP long
    long long unexplained = 0;                    // blocks in the group
    Unexplained group_first{};
    Unexplained group_last{};
};

void start_telling(Teller& teller, std::FILE* out);

// The finding for the report's block `block`, compared with FILE's bytes
// first..last, which the window holds where FILE is a listing.
void tell(Teller& teller, long long block, long long first, long long last, const Explanation& e);

// The report's block `block`, with digits that could not be read, gives
// the file's values `now` on all the others: each value misread, with what
// FILE gives.
void tell_report_unread(Teller& teller, long long block, long long first, long long last,
                        const UnreadDigits& unread, const BlockSums& now);

// A block that matches ends a run of blocks that differ.
void tell_match(Teller& teller);

// The lines after the findings: the block counts where they matter, and
// NAME: OK or NAME: FAILED, K of N blocks differ.
void tell_counts(Teller& teller, long long file_blocks, long long report_blocks);
// What a repair that still differs says of why: the bytes it put in as
// zeros, whose values the report does not give, and whether it kept runs
// that may be the report's own slips.
struct RepairNotes {
    long long zeros = 0;
    bool report_kept = false;
};
void tell_verdict(Teller& teller, const char* name, long long failed, long long blocks,
                  const RepairNotes& notes = {});
// NAME stops before the report's last block, and something differs in the
// `reached` blocks it has: NAME: FAILED, K of R blocks differ so far; the
// report has M blocks.
void tell_failed_so_far(Teller& teller, const char* name, long long failed, long long reached,
                        long long report_blocks);
// NAME stops before the report's last block, and every block and complete
// row it has matches: NAME: matches so far, X bytes to block N, row R; the
// report has M blocks.
void tell_so_far(Teller& teller, const char* name, long long bytes, long long report_blocks);
