// SPDX-License-Identifier: MIT
#pragma once

// Reading a stored report, one block's values at a time. A report that
// quorvil wrote is read on a fast path, record by record as the layout has
// it; a report that a person typed in from a printed listing is read line
// by line: hex digits and labels in either case, any spaces or tabs around
// the values, empty lines or none between blocks, LF or CR LF on any line.
// The labels and the count and width of the values stay required, so a
// message, a cut block or junk is not taken for a report.

#include "check/input.h"
#include "checksums/block.h"
#include "checksums/block_report.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// The Linux build writes LF, the Windows build's text stream CR LF.
enum class LineEnd : std::uint8_t { LF, CR_LF };

inline constexpr std::size_t REPORT_LINES = 5;
inline constexpr std::size_t CR_LF_RECORD_SIZE = REPORT_SIZE + REPORT_LINES;

// Whether the `size` bytes at `record` are exactly one block's report as
// quorvil writes it, uppercase digits and the given line ends; its values
// are then in `sums`.
bool read_exact(const char* record, std::size_t size, LineEnd end, BlockSums& sums);

// The report of a block as the Windows build writes it, CR before every LF.
std::array<char, CR_LF_RECORD_SIZE> with_cr_lf(const Report& report);

// A block's report has two digits a row, two a column and four for the CRC.
inline constexpr std::size_t REPORT_DIGITS = 2 * BLOCK_ROWS + 2 * BLOCK_COLUMNS + 4;
inline constexpr std::size_t FIRST_COLUMN_DIGIT = 2 * BLOCK_ROWS;
inline constexpr std::size_t FIRST_CRC_DIGIT = 2 * BLOCK_ROWS + 2 * BLOCK_COLUMNS;

// The digits of a typed report that could not be read, an O or a speck
// where a digit stands (the value's width right): digit k's bit in
// `mask`, and the character that stands there, up to four bytes of UTF-8.
// They read as 0; the block is checked on its other values.
struct UnreadDigits {
    std::uint64_t mask = 0;
    std::array<std::array<char, 4>, REPORT_DIGITS> text{};
};
static_assert(REPORT_DIGITS <= 64);

// The report's value that digit k belongs to: the row's, the column's or
// the CRC's bits of `mask`, as a mask of its digits.
std::uint64_t value_digits(std::size_t k);

enum class Record : std::uint8_t {
    READ,   // one block's values
    END,    // the report has no more blocks
    BAD,    // a line that is not part of a report: `bad_line`, `bad_column`
    FAILED, // reading failed
};

struct ReportReader : Input {
    long long lines = 0;    // line ends read so far
    long long records = 0;  // blocks read so far
    long long column = 0;   // characters taken on the current line
    long long bad_line = 0; // after BAD: the line and the first column that does not fit, from 1
    long long bad_column = 0;
    UnreadDigits unread{}; // of the last block read
};

void start_reading(ReportReader& reader, std::FILE* stream);

// Takes the next block's record when it is, byte for byte, `report` as
// quorvil writes it with either line end: the common case, one comparison.
bool take_if_same(ReportReader& reader, const Report& report);

Record read_record(ReportReader& reader, BlockSums& sums);
