// SPDX-License-Identifier: MIT
#pragma once

// What a run of extra or missing bytes may be besides what the report's
// sums say of it: a slip of the report itself, or, in a listing with
// addresses, a line left out or typed twice that the addresses place.
// Both are decided here, before the run is told and repaired.

#include "check/addresses.h"
#include "check/explain.h"
#include "check/window.h"

// A run of a whole block that takes in one of the report's block starts
// may be the report's slip rather than FILE's: a block left out of the
// report, where FILE has one more, or one typed twice in it, where FILE
// has one fewer and the report's block there is the same as FILE's block
// on either side of the gap. An extra block that is a copy of FILE's
// block before or after it is FILE's own doubling, as a typist makes.
// Sets the reading on the run `e` of block n; `stored` holds the report's
// blocks from n on.
void read_as_report_slip(const FileView& file, const StoredBlocks& stored, long long n, Explanation& e);

// In a listing with addresses, a run is placed where they show a line of
// its length left out or typed twice, where that is the one such line
// among the places that give the same bytes as the one the report found.
void place_by_address(const FileView& file, const Addresses* addresses, Explanation& e);

// The run that an address gap in block n (FILE's bytes from `at`) shows,
// a line left out or typed twice, where the report's blocks that it
// touches confirm it as they confirm any run, placed at that line; DIFFERS
// where there is none.
Explanation run_at_address_gap(const FileView& file, const Addresses* addresses, long long at, long long n,
                               const StoredBlocks& stored);
