// SPDX-License-Identifier: MIT
#pragma once

// Writing the repair: FILE with every finding undone that names the
// report's values, bytes set back, extra bytes left out, missing bytes put
// in. It goes under a temporary name beside OUTPUT and is renamed onto it
// only when whole and closed. Every block an edit touches is checked against
// the report as it is written; the others are FILE's bytes as the check
// compared them, and take its verdict.

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
    BlockSums sums{};                     // the report's values for it, once touched
    std::array<bool, VERDICTS> matched{}; // by block: FILE matched it as it stands
    long long failed = 0;                 // blocks of OUTPUT that differ from the report
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

// The check's verdict on the report's block `block` as FILE has it.
void repair_verdict(Repair& repair, long long block, bool matched);

// FILE's bytes up to `to`, as they are.
void repair_copy(Repair& repair, const FileView& file, long long to);

// The edits, at FILE's offset `at`. `stored` holds the report's blocks from
// `first` on, for the blocks of OUTPUT that an edit touches.
void repair_set(Repair& repair, const FileView& file, long long at, std::uint8_t value,
                const StoredBlocks& stored, long long first);
void repair_skip(Repair& repair, const FileView& file, long long at, long long count,
                 const StoredBlocks& stored, long long first);
void repair_insert(Repair& repair, const FileView& file, long long at, const std::uint8_t* values,
                   long long count, const StoredBlocks& stored, long long first);
// FILE's bytes from `at` on are left out. `changes` says whether that
// changes the block it falls in: not where only the zero filling is cut.
void repair_stop(Repair& repair, const FileView& file, long long at, bool changes, const StoredBlocks& stored,
                 long long first);

// After the last of FILE: the short last block, and the report's blocks
// that OUTPUT does not reach.
void repair_end(Repair& repair, const FileView& file, long long report_blocks);
