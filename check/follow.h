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

enum class Outcome { MATCHES, DIFFERS, TROUBLE };

// What a check leaves for its caller: the outcome, the report's blocks
// that FILE does not match, and the report's blocks, once read to its end.
struct Checked {
    Outcome outcome;
    long long failed;
    long long report_blocks;
};

// Checks FILE against REPORT, telling the findings and FILE's last line on
// `out`; trouble is told on standard error. With a repair, writes it too.
// Each call starts from a fresh state, held inside the check: its size is
// the same whatever the files.
Checked check(std::FILE* report, const char* report_name, std::FILE* file, const char* file_name,
              std::FILE* out, Repair* repair);
