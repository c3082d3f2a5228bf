// SPDX-License-Identifier: MIT
#pragma once

// Following FILE along its report: block by block while they match, and
// where a block differs, deciding by the blocks after it whether FILE has
// lost or gained bytes there, and how many, before the block is explained.

#include "check/align.h"
#include "check/explain.h"
#include "check/findings.h"
#include "check/repair.h"
#include "check/stored_report.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

enum class Outcome { MATCHES, DIFFERS, TROUBLE };

// Why a check stopped on trouble: REPORT or FILE could not be read,
// REPORT's text is not a report (at `bad_line`, `bad_column`), or the
// findings could not be written. The caller says so.
enum class Trouble : std::uint8_t { NONE, READ_REPORT, READ_FILE, NOT_A_REPORT, WRITE };

// What a check leaves for its caller: the outcome, the report's blocks
// that FILE does not match, and the report's blocks, once read to its end.
struct Checked {
    Outcome outcome;
    long long failed;
    long long report_blocks;
    long long matched; // the report's blocks that FILE matched
    Trouble trouble;
    long long bad_line;
    long long bad_column;
};

// Checks FILE against REPORT, telling the findings and FILE's last line on
// `out`, and why it stopped where it did. With a repair, writes it too.
// A `listing` FILE is hex text, typed or scanned, and findings name its
// lines and columns.
// Each call starts from a fresh state, held inside the check: its size is
// the same whatever the files.
Checked check(std::FILE* report, std::FILE* file, const char* file_name, bool listing, std::FILE* out,
              Repair* repair);
