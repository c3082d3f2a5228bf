// SPDX-License-Identifier: MIT
#pragma once

// Reading a report that quorvil wrote: one block's five lines at a time, as
// a fixed-size record, checked against the layout and its values taken out.

#include "checksums/block.h"
#include "checksums/block_report.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The Linux build writes LF, the Windows build's text stream CR LF. A report
// is read in the form its first line has; a line ending the other way is not
// part of it.
enum class LineEnd : std::uint8_t { LF, CR_LF };

inline constexpr std::size_t REPORT_LINES = 5;
inline constexpr std::size_t CR_LF_RECORD_SIZE = REPORT_SIZE + REPORT_LINES;

constexpr std::size_t record_size(LineEnd end)
{
    return end == LineEnd::LF ? REPORT_SIZE : CR_LF_RECORD_SIZE;
}

// The line end of a report that starts with these bytes.
LineEnd line_end_of(const char* start, std::size_t size);

// What one block's report says.
struct Sums {
    std::array<std::uint8_t, BLOCK_ROWS> rows;
    std::array<std::uint8_t, BLOCK_COLUMNS> columns;
    std::uint16_t crc;
};

// 0 when the `size` bytes at `record` are exactly one block's report, with
// uppercase digits and the given line ends; its values are then in `sums`.
// Otherwise the line of the record, 1 to 5, that is not part of a report:
// the first one that differs from the layout or is cut short.
unsigned read_record(const char* record, std::size_t size, LineEnd end, Sums& sums);

// The report of a block as the Windows build writes it, CR before every LF.
std::array<char, CR_LF_RECORD_SIZE> with_cr_lf(const Report& report);
