// SPDX-License-Identifier: MIT
// Arbitrary bytes as a stored report, cut into records the way quorvil-check
// reads them: the first line decides the line ends, then one record at a
// time until one is not part of a report. The reader must agree with the
// plain one on every record, line and values alike.

#include "check/stored_report.h"
#include "stored_reference.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* const text = reinterpret_cast<const char*>(data);
    const LineEnd end = line_end_of(text, std::min<std::size_t>(size, 5));
    for (std::size_t at = 0; at < size; at += record_size(end)) {
        const std::size_t n = std::min(record_size(end), size - at);
        Sums sums{};
        Sums plain{};
        const unsigned line = read_record(text + at, n, end, sums);
        if (line != reference_read_record(std::string_view(text + at, n), end, plain)) {
            std::abort();
        }
        if (line != 0) {
            return 0;
        }
        if (sums.rows != plain.rows || sums.columns != plain.columns || sums.crc != plain.crc) {
            std::abort();
        }
    }
    return 0;
}
