// SPDX-License-Identifier: MIT
#pragma once

// The one place where what the check settles for a block is told, undone
// in the repair and counted: every block the check compares passes
// through here, matching or not, and so does FILE's last line. The block
// loop decides; the ledger records.

#include "check/explain.h"
#include "check/findings.h"
#include "check/repair.h"
#include "check/stored_report.h"
#include "check/window.h"

#include <cstddef>
#include <cstdio>

struct Ledger {
    Teller teller;
    Repair* repair = nullptr;
    long long failed = 0;     // the report's blocks that FILE does not match
    long long matched = 0;    // the report's blocks that FILE matched
    bool rows_differ = false; // FILE ends inside a block, with a complete row wrong
};

// A ledger for FILE's window `file` (its lines and columns are told where
// it is a listing), telling on `out`, writing `repair` where there is one.
void start_ledger(Ledger& l, const FileWindow& file, std::FILE* out, Repair* repair);

// The report's block n matched at FILE's `at`; `unread`: a listing's block
// with digits that could not be read, which the report settled, and which
// are still told as typed wrong.
void record_match(Ledger& l, const FileWindow& file, long long n, long long at, bool unread);

// The explanation `e` of block n, at FILE's `at` with `filled` of its bytes
// FILE's, accounting for the report's blocks n to next - 1 (`stored` from
// n on): told (as `told` where the alignment moved silently), undone in the
// repair, or kept as FILE has it where it reads as the report's own slip,
// and counted. The alignment was `shift_before` and is `shift_after`.
void record_finding(Ledger& l, const FileWindow& file, long long n, long long next, long long at,
                    std::size_t filled, const Explanation& e, const Explanation* told,
                    const StoredBlocks& stored, long long shift_before, long long shift_after);

// Block n, whose report has digits that could not be read: told on the
// values read, counted as differing either way.
void record_report_unread(Ledger& l, const FileView& file, long long n, long long at, const BlockSums& stored,
                          const UnreadDigits& unread);

// FILE ends inside block n, after `filled` of its bytes (`now` their
// values): its complete rows that differ are told.
void record_stop_inside(Ledger& l, long long n, long long at, const BlockSums& now, std::size_t filled,
                        const BlockSums& stored);

// FILE's bytes after the report's data, once FILE is read to its end.
void record_after_data(Ledger& l, long long report_blocks, const Explanation& e, long long file_size);

// The end: the repair's last blocks, the report's blocks FILE does not
// reach (from block `n` on), and FILE's last line. `early`: FILE stops
// before the report's data ends. Whether FILE matches.
bool record_end(Ledger& l, const FileView& file, const char* file_name, long long n, long long shift,
                long long report_blocks, bool early);
