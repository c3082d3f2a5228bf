// SPDX-License-Identifier: MIT
// An original and a copy of it, from arbitrary bytes: the first two give
// the original's length (its top bit set: the rest is the copy itself, any
// bytes at all), the original follows, and every four bytes after it are one
// slip made in the copy (a changed, extra or missing byte, a block doubled or
// lost). The copy is checked against the original's report and repaired:
// nothing may crash, and a repair that says it matches must have the
// report's every block. A copy of any bytes is also checked as a typed
// listing, its bytes taken for hex text.

#include "check/follow.h"
#include "check/repair.h"
#include "checksums/block_report.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::FILE* holding(const std::string& bytes)
{
    std::FILE* const f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

std::string report_of(const std::string& data)
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

std::string slipped(std::string copy, const std::uint8_t* slips, std::size_t count)
{
    for (std::size_t i = 0; i + 4 <= count && !copy.empty(); i += 4) {
        const std::size_t at = (std::size_t{slips[i + 1]} << 8u | slips[i + 2]) % copy.size();
        const auto value = static_cast<char>(slips[i + 3]);
        switch (slips[i] % 5) {
        case 0:
            copy[at] = value;
            break;
        case 1:
            copy.insert(at, 1 + slips[i] / 5 % 8, value);
            break;
        case 2:
            copy.erase(at, 1 + slips[i] / 5 % 8);
            break;
        case 3:
            copy.insert(at, copy.substr(at, BLOCK_SIZE));
            break;
        default:
            copy.erase(at, BLOCK_SIZE);
            break;
        }
    }
    return copy;
}

Repair repair;

void check_and_repair(const std::string& report, const std::string& copy, bool listing)
{
    std::FILE* const report_file = holding(report);
    std::FILE* const file = holding(copy);
    std::FILE* const findings = std::tmpfile();
    repair = Repair{};
    repair.out = std::tmpfile();
    const Outcome outcome = check(report_file, "report", file, "copy", listing, findings, &repair).outcome;
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const bool verbatim = (data[0] & 0x80u) != 0;
    const std::size_t length = std::min(size - 2, (std::size_t{data[0]} & 0x7Fu) << 8u | data[1]);
    const std::string original(reinterpret_cast<const char*>(data + 2), length);
    const std::string report = report_of(original);
    const std::uint8_t* const rest = data + 2 + length;
    const std::string copy = verbatim ? std::string(reinterpret_cast<const char*>(rest), size - 2 - length)
                                      : slipped(original, rest, size - 2 - length);

    check_and_repair(report, copy, false);
    if (verbatim) {
        check_and_repair(report, copy, true);
    }
    return 0;
}
