// SPDX-License-Identifier: MIT
#pragma once

// What the fuzz targets of the check share: the report of an original,
// and a check and repair of a copy against it, which must not crash, and
// whose repair, where it says it matches, has the report's every block.

#include "check/follow.h"
#include "check/repair.h"
#include "checksums/block_report.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

inline std::FILE* holding(const std::string& bytes)
{
    std::FILE* const f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

inline std::string report_of(const std::string& data)
{
    std::string report;
    for (std::size_t at = 0; at < data.size(); at += BLOCK_SIZE) {
        Block block{};
        data.copy(reinterpret_cast<char*>(block.data()), BLOCK_SIZE, at);
        const Report r = format_block_report(block);
        report.append(r.data(), r.size());
    }
    return report;
}

inline Repair repair;

inline void check_and_repair(const std::string& report, const std::string& copy, bool listing)
{
    std::FILE* const report_file = holding(report);
    std::FILE* const file = holding(copy);
    std::FILE* const findings = std::tmpfile();
    repair = Repair{};
    repair.out = std::tmpfile();
    const Outcome outcome = check(report_file, file, "copy", listing, findings, &repair).outcome;
    if (outcome == Outcome::TROUBLE) {
        std::abort(); // a report quorvil wrote is never trouble
    }
    if (repair.failed == 0) {
        std::fflush(repair.out);
        std::rewind(repair.out);
        std::string repaired;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, repair.out)) > 0;) {
            repaired.append(buffer, n);
        }
        if (report_of(repaired) != report) {
            std::abort();
        }
    }
    std::fclose(repair.out);
    repair.out = nullptr;
    std::fclose(findings);
    std::fclose(file);
    std::fclose(report_file);
}

} // namespace fuzz
