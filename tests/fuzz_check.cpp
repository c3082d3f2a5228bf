// SPDX-License-Identifier: MIT
// Arbitrary bytes as a stored report. Cut into records of quorvil's size,
// the exact reader must agree with the plain one on every record, verdict
// and values alike; and read whole, as a report typed in by hand, the text
// must give no trouble but its verdict, and the same values for a record
// quorvil could have written.

#include "check/stored_report.h"
#include "stored_reference.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* const text = reinterpret_cast<const char*>(data);
    for (const LineEnd end : {LineEnd::LF, LineEnd::CR_LF}) {
        const std::size_t record = end == LineEnd::LF ? REPORT_SIZE : CR_LF_RECORD_SIZE;
        if (size >= record) {
            BlockSums sums{};
            BlockSums plain{};
            const bool exact = read_exact(text, record, end, sums);
            if (exact != (reference_read_record(std::string_view(text, record), end, plain) == 0) ||
                (exact && sums != plain)) {
                std::abort();
            }
        }
    }
    static ReportReader reader;
    std::FILE* const stream = std::tmpfile();
    std::fwrite(data, 1, size, stream);
    std::rewind(stream);
    start_reading(reader, stream);
    BlockSums sums{};
    long long records = 0;
    Record r = Record::READ;
    while ((r = read_record(reader, sums)) == Record::READ) {
        ++records;
    }
    if (r == Record::FAILED || reader.records != records ||
        (r == Record::BAD && (reader.bad_line < 1 || reader.bad_column < 1))) {
        std::abort();
    }
    std::fclose(stream);
    return 0;
}
