// SPDX-License-Identifier: MIT
#pragma once

// Explaining a block that differs by a run of bytes that FILE has more or
// fewer than the report: where it stands, and the values of a missing one
// where the report gives them. Exact only where every place that gives
// the report's values gives the same bytes.

#include "check/explain.h"

#include <cstddef>

// A run of `run` extra (or missing) bytes that begins in the report's block
// `block`, which stood at FILE's offset `at` before the run. Exact where one
// place, or several with the same result, gives every value of the blocks
// it touches; a range where several places do; with `loose`, a range that
// the rows allow where none does (the block has a change besides), and
// otherwise DIFFERS.
Explanation explain_extra(const FileView& file, long long at, long long block, long long length,
                          const StoredBlocks& stored, bool loose);
Explanation explain_missing(const FileView& file, long long at, long long block, long long length,
                            const StoredBlocks& stored, bool loose);
// A run of `shift` bytes: extra where it is positive, missing where not.
Explanation run_to(const FileView& file, long long at, long long block, const StoredBlocks& stored,
                   long long shift, bool loose);

// FILE's block from `at` matches the report's block `j` of the run, and not
// a byte either way, as repeated bytes would: it tells the alignment. A
// block the report does not have contradicts nothing.
bool block_follows(const FileView& file, long long at, const StoredBlocks& stored, std::size_t j);

// Where the blocks after cannot tell the alignments apart, the block's own
// report decides: the smallest run, extra or missing, that explains it and
// with which the block after it matches, among the shifts given (every one
// up to MAX_SHIFT when `shifts` is null). DIFFERS when none does, or when
// two of the smallest do.
Explanation explain_by_block(const FileView& file, long long at, long long block, const StoredBlocks& stored,
                             const long long* shifts, std::size_t count);

// The first block after a run, and where it stands in FILE at the
// alignment the run leaves: a missing run takes its bytes from every block
// it reaches, at its last place.
struct After {
    long long block;
    long long at;
};
After after_run(long long n, long long at, const Explanation& run);

// The report's last block at FILE's `at`: where FILE matches it with its
// bytes from some X on cut off, those are FILE's bytes after the report's
// data, and X is returned; -1 where none does. The report cannot tell a
// zero byte from the filling, so the shortest such FILE is taken; the
// report's data has at least one byte of its last block.
long long data_end(const FileView& file, long long at, const BlockSums& stored);

// The one run among the `count` shifts that explains the block exactly at
// one place (or several with the same result); DIFFERS if none, or
// several, do.
Explanation exact_run(const FileView& file, long long at, long long n, const StoredBlocks& stored,
                      const long long* shifts, std::size_t count);
