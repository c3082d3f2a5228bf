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

// What a check leaves for its caller: the outcome, the report's blocks
// that FILE does not match, and the report's blocks, once read to its end.
struct Checked {
    Outcome outcome;
    long long failed;
    long long report_blocks;
    long long matched; // the report's blocks that FILE matched
    bool not_a_report; // the trouble was REPORT's text
};

// Checks FILE against REPORT, telling the findings and FILE's last line on
// `out`; trouble is told on standard error. With a repair, writes it too.
// A `listing` FILE is hex text, typed or scanned, and findings name its
// lines and columns.
// Each call starts from a fresh state, held inside the check: its size is
// the same whatever the files.
Checked check(std::FILE* report, const char* report_name, std::FILE* file, const char* file_name,
              bool listing, std::FILE* out, Repair* repair);
