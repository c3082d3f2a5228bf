// SPDX-License-Identifier: MIT
// A typed listing of an original, from arbitrary bytes: the first two give
// the original's length and how it is typed (the top bit: the rest is the
// listing's text itself, any bytes at all; the next: 16 bytes a line
// without an address, else 8 with one), the original follows, and every
// four bytes after it are one slip made in its text (a character changed,
// put in or taken out, a run of them left out or typed twice). The listing
// is checked with --hex against the original's report and repaired:
// nothing may crash, and a repair that says it matches must have the
// report's every block.

#include "fuzz_shared.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

std::string typed(const std::string& original, bool wide)
{
    static const char digits[] = "0123456789ABCDEF";
    const std::size_t per = wide ? 16 : 8;
    std::string text;
    for (std::size_t at = 0; at < original.size(); ++at) {
        if (at % per == 0 && !wide) {
            char address[16];
            std::snprintf(address, sizeof address, "%04zX: ", at);
            text += address;
        }
        const auto byte = static_cast<std::uint8_t>(original[at]);
        text += digits[byte >> 4u];
        text += digits[byte & 0xFu];
        text += at % per == per - 1 || at + 1 == original.size() ? '\n' : ' ';
    }
    return text;
}

std::string slipped(std::string text, const std::uint8_t* slips, std::size_t count)
{
    // What a slip puts in: a digit, or one of the characters a listing may
    // hold besides, or any byte.
    static const char kinds[] = "0123456789ABCDEFabcdef O.l:#,\n";
    for (std::size_t i = 0; i + 4 <= count && !text.empty(); i += 4) {
        const std::size_t at = (std::size_t{slips[i + 1]} << 8u | slips[i + 2]) % text.size();
        const std::size_t length = 1 + slips[i] / 5 % 48;
        const char value = slips[i + 3] < 224 ? kinds[slips[i + 3] % (sizeof kinds - 1)]
                                              : static_cast<char>(slips[i + 3] + 32);
        switch (slips[i] % 5) {
        case 0:
            text[at] = value;
            break;
        case 1:
            text.insert(at, 1, value);
            break;
        case 2:
            text.erase(at, 1);
            break;
        case 3:
            text.insert(at, text.substr(at, length));
            break;
        default:
            text.erase(at, length);
            break;
        }
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const bool verbatim = (data[0] & 0x80u) != 0;
    const bool wide = (data[0] & 0x40u) != 0;
    const std::size_t length = std::min(size - 2, (std::size_t{data[0]} & 0x3Fu) << 8u | data[1]);
    const std::string original(reinterpret_cast<const char*>(data + 2), length);
    const std::uint8_t* const rest = data + 2 + length;
    const std::string listing = verbatim ? std::string(reinterpret_cast<const char*>(rest), size - 2 - length)
                                         : slipped(typed(original, wide), rest, size - 2 - length);
    fuzz::check_and_repair(fuzz::report_of(original), listing, true);
    return 0;
}
