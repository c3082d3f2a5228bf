// SPDX-License-Identifier: MIT
// An original and a copy of it, from arbitrary bytes: the first two give
// the original's length (its top bit set: the rest is the copy itself, any
// bytes at all), the original follows, and every four bytes after it are one
// slip made in the copy (a changed, extra or missing byte, a block doubled or
// lost). The copy is checked against the original's report and repaired:
// nothing may crash, and a repair that says it matches must have the
// report's every block.

#include "fuzz_shared.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const bool verbatim = (data[0] & 0x80u) != 0;
    const std::size_t length = std::min(size - 2, (std::size_t{data[0]} & 0x7Fu) << 8u | data[1]);
    const std::string original(reinterpret_cast<const char*>(data + 2), length);
    const std::string report = fuzz::report_of(original);
    const std::uint8_t* const rest = data + 2 + length;
    const std::string copy = verbatim ? std::string(reinterpret_cast<const char*>(rest), size - 2 - length)
                                      : slipped(original, rest, size - 2 - length);

    fuzz::check_and_repair(report, copy, false);
    return 0;
}
