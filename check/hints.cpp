// SPDX-License-Identifier: MIT
#include "check/hints.h"

#include "check/hex.h"
#include "check/input.h"

#include <algorithm>
#include <cstring>

namespace {

// The first KiB of a listing: dozens of lines, as many as the evidence
// needs, and little to read.
constexpr std::size_t LOOKED_AT = 4096;

// A listing's digits on a few lines at least: a short word of hex is no
// listing.
constexpr std::size_t FEWEST_DIGITS = 32;

bool separates(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ':' || c == '$' || c == '&' ||
           c == '-' || c == '>';
}

// The start of a file looked at: held once, like the check's own state.
Input looked_at;

} // namespace

Looks looks_like(const char* text, std::size_t size)
{
    std::size_t i = 0;
    while (i < size && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) {
        ++i;
    }
    if (i + 4 <= size) {
        char label[4];
        for (std::size_t k = 0; k < 4; ++k) {
            label[k] = static_cast<char>(text[i + k] | 0x20);
        }
        if (std::memcmp(label, "yoko", 4) == 0) {
            return Looks::REPORT;
        }
    }
    std::size_t digits = 0;
    std::size_t other = 0;
    for (; i < size; ++i) {
        if (text[i] == '#') { // a comment, to its line's end
            while (i < size && text[i] != '\n') {
                ++i;
            }
        } else if (hex_digit(text[i]) >= 0) {
            ++digits;
        } else if (!separates(text[i])) {
            ++other;
        }
    }
    return digits >= FEWEST_DIGITS && other * 50 <= digits ? Looks::LISTING : Looks::OTHER;
}

Looks file_looks_like(const char* name)
{
    if (std::strcmp(name, "-") == 0) {
        return Looks::OTHER;
    }
    std::FILE* const stream = std::fopen(name, "rb");
    if (stream == nullptr) {
        return Looks::OTHER;
    }
    looked_at = Input{};
    looked_at.stream = stream;
    fill(looked_at, LOOKED_AT);
    std::fclose(stream);
    std::size_t size = std::min(looked_at.filled, LOOKED_AT);
    // A line cut by the look is no evidence either way.
    if (!looked_at.ended || size < looked_at.filled) {
        while (size > 0 && looked_at.buffer[size - 1] != '\n') {
            --size;
        }
    }
    return looks_like(looked_at.buffer.data(), size);
}
