// SPDX-License-Identifier: MIT
#pragma once

// Writing the repair: FILE with every finding undone that names the
// report's values, bytes set back, extra bytes left out, missing bytes put
// in. It goes under a temporary name beside OUTPUT and is renamed onto it
// only when whole and closed. Every block an edit touches is checked against
// the report as it is written; the others are FILE's bytes as the check
// compared them, and take its verdict. A block that would be left
// differing is FILE's own block at its offset instead, where the window
// still holds that and it has the report's values, so that a finding that
// moved the alignment wrongly spoils no block that FILE had right where it
// stands, as far as the window reaches back and ahead.

#include "check/buffers.h"
#include "check/explain.h"

#include <array>
#include <cstdio>
#include <filesystem>

// Blocks of OUTPUT written behind the check: an insertion puts in at most
// MAX_SHIFT bytes at once.
inline constexpr std::size_t VERDICTS = 256;
static_assert(VERDICTS * BLOCK_SIZE > 2 * MAX_SHIFT);

struct Repair {
    std::FILE* out = nullptr;
    std::filesystem::path output;
    std::filesystem::path temporary;
    bool replaces = false; // OUTPUT exists, and keeps its permission bits
    std::filesystem::perms mode{};
    long long copied = 0; // FILE's bytes before this are dealt with
    bool stopped = false; // FILE's bytes from `copied` on are left out
    Block pending{};
    std::size_t pending_size = 0;
    long long block = 0; // the block of OUTPUT being written
    bool touched = false;
    bool have_sums = false;
    BlockSums sums{};                         // the report's values for it, once touched
    std::array<bool, VERDICTS> matched{};     // by block: FILE matched it as it stands
    std::array<BlockSums, VERDICTS> stored{}; // by block: the report's values, where `of` names it
    std::array<long long, VERDICTS> of{};
    long long failed = 0; // blocks of OUTPUT that differ from the report
    // Runs kept as FILE has them, where the report itself may have a block
    // left out or typed twice; OUTPUT's blocks less the report's that they
    // make, so that OUTPUT's block `block` is the report's `block - kept`;
    // and whether the block being written is one the report lacks.
    long long kept_slips = 0;
    long long zeros = 0; // missing bytes put in as zeros, their values unknown
    long long kept = 0;
    bool foreign = false;
    long long size = 0;  // once ended: OUTPUT's bytes
    bool so_far = false; // once ended: OUTPUT stops before the report's last block, matching
    // Once ended, where OUTPUT stops before the report's last block and
    // differs: the report's blocks it reaches, and those of them that differ.
    bool early = false;
    long long reached = 0;
    long long reached_failed = 0;
    std::array<char, BUFFER_SIZE> buffer{};
};

enum class Opened { OK, OVER_INPUT, CANNOT };

// Refuses an OUTPUT that is REPORT or FILE (the same file, by identity) and
// one that exists as anything but a regular file; then creates the
// temporary file. `-` for REPORT or FILE is standard input.
Opened open_repair(Repair& repair, const char* output, const char* report, const char* file);

// Closes the temporary file and renames it onto OUTPUT: false, with the
// temporary file removed and OUTPUT as it was, when any of it fails.
bool commit_repair(Repair& repair);
void abandon_repair(Repair& repair);

// The check's verdict on the report's block `block` as FILE has it, and
// the report's values of it where the check holds them.
void repair_verdict(Repair& repair, long long block, bool matched, const BlockSums* stored);

// The lowest offset of FILE the repair still reads: what it has not copied
// yet, and FILE's own block at the offset of the report's block it
// writes, which it can use only as far back as `floor`.
long long repair_needs_from(const Repair& repair, long long floor);

// FILE's bytes up to `to`, as they are.
void repair_copy(Repair& repair, const FileView& file, long long to);

// Undoes the explanation of the report's block `first`: changed bytes set
// back, extra bytes left out, missing ones put in (zero where the report
// does not give them), FILE's bytes after the report's data left out.
// `stored` holds the report's blocks from `first` on, for the blocks of
// OUTPUT that an edit touches.
void repair_undo(Repair& repair, const FileView& file, const Explanation& e, const StoredBlocks& stored,
                 long long first);

// Keeps the run `e`, which has a reading as the report's own slip, as
// FILE has it: a report that lost a block would make a repair that takes
// FILE's block out look right, and one that has a block twice would make
// one that puts a block in look right, where the program is then a block
// short or long.
void repair_keep(Repair& repair, const FileView& file, const Explanation& e, const StoredBlocks& stored,
                 long long first);

// After the last of FILE: the short last block, and the report's blocks
// that OUTPUT does not reach. Where OUTPUT stops before the report's last
// block, and every block before its last matches, its last block is
// compared on its complete rows by their row sums: whether OUTPUT matches
// so far.
void repair_end(Repair& repair, const FileView& file, long long report_blocks);
