// SPDX-License-Identifier: MIT
#include "check/addresses.h"

#include "check/hex.h"

#include <algorithm>

namespace {

constexpr std::size_t NARROWEST = 4;
constexpr std::size_t WIDEST = 8;

// The first lines looked at, and how many of their steps must agree:
// enough that a listing of data alone (whose first words step by chance,
// if ever) is not taken for one with addresses, and a slip or two in the
// first lines does not hide them.
constexpr std::size_t LINES_LOOKED_AT = 32;
constexpr std::size_t FEWEST_STEPS = 3;

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

bool ends_word(char c)
{
    return blank(c) || c == '\n' || c == ':' || c == '-' || c == ',' || c == '#';
}

// A line's first word, as address_at reads it, whatever its width.
struct Word {
    std::size_t chars;
    std::size_t width;
    long long value;
};

Word first_word(const char* text, std::size_t size)
{
    std::size_t p = 0;
    while (p < size && blank(text[p])) {
        ++p;
    }
    if (p < size && (text[p] == '$' || text[p] == '&' || text[p] == '>')) {
        ++p;
    }
    const std::size_t start = p;
    long long value = 0;
    while (p < size && !ends_word(text[p]) && p - start <= WIDEST) {
        const int digit = hex_digit(text[p]);
        value = value < 0 || digit < 0 ? -1 : value << 4 | digit;
        ++p;
    }
    const std::size_t width = p - start;
    if (p < size && (text[p] == ':' || text[p] == '-')) {
        ++p;
    }
    return {p, width, value};
}

} // namespace

std::size_t recognise_addresses(const char* text, std::size_t size)
{
    std::array<std::size_t, WIDEST - NARROWEST + 1> agree{}; // steps that agree, by width
    std::size_t steps = 0;
    long long before = -1;
    long long bytes_before = 0;
    std::size_t width_before = 0;
    std::size_t lines = 0;
    std::size_t p = 0;
    while (p < size && lines < LINES_LOOKED_AT) {
        std::size_t end = p;
        while (end < size && text[end] != '\n') {
            ++end;
        }
        if (end == size) {
            break; // a line cut by the look is no evidence
        }
        std::size_t q = p;
        while (q < end && blank(text[q])) {
            ++q;
        }
        if (q == end || text[q] == '#') {
            p = end + 1; // an empty line or a comment: no evidence
            continue;
        }
        const Word w = first_word(text + p, end - p);
        std::size_t digits = 0;
        for (std::size_t i = p + w.chars; i < end && text[i] != '#'; ++i) {
            digits += hex_digit(text[i]) >= 0 ? 1 : 0;
        }
        const bool address = w.width >= NARROWEST && w.width <= WIDEST && w.value >= 0 && digits >= 2;
        ++lines;
        if (before >= 0 && address) {
            ++steps;
            if (w.width == width_before && w.value == before + bytes_before) {
                ++agree[w.width - NARROWEST];
            }
        }
        before = address ? w.value : -1;
        bytes_before = static_cast<long long>(digits / 2);
        width_before = w.width;
        p = end + 1;
    }
    for (std::size_t k = 0; k < agree.size(); ++k) {
        if (agree[k] >= FEWEST_STEPS && 4 * agree[k] >= 3 * steps) {
            return NARROWEST + k;
        }
    }
    return 0;
}

LineAddress address_at(const char* text, std::size_t size, std::size_t width)
{
    const Word w = first_word(text, size);
    // Printed with at least `width` digits, an address grows a digit past
    // the largest of them (`%04X` goes on at 10000).
    if (w.width == width || (w.width > width && w.width <= WIDEST && w.value >= 0)) {
        return {w.chars, w.value};
    }
    return {0, -1};
}

void note_address(Addresses& a, long long value, long long digit)
{
    if (value < 0) {
        return; // unreadable: the next line's is measured from the last read
    }
    if (a.base < 0) {
        a.base = value - digit / 2;
    } else {
        const long long gap = 2 * (value - a.last) - (digit - a.last_digit);
        if (gap != 0) {
            a.gaps[a.gap_count % GAPS] = {digit, gap, value};
            ++a.gap_count;
        }
    }
    a.last = value;
    a.last_digit = digit;
}

void shift_addresses(Addresses& a, long long digit, long long by)
{
    const std::size_t held = std::min(a.gap_count, GAPS);
    for (std::size_t k = 0; k < held; ++k) {
        a.gaps[k].digit += a.gaps[k].digit >= digit ? by : 0;
    }
    a.last_digit += a.last >= 0 && a.last_digit >= digit ? by : 0;
}

LineGap first_gap(const Addresses& a, long long from, long long to)
{
    LineGap found{false, 0, 0, 0};
    const std::size_t held = std::min(a.gap_count, GAPS);
    for (std::size_t k = 0; k < held; ++k) {
        const AddressGap& g = a.gaps[k];
        const long long at = g.digit / 2;
        if (g.digit % 2 == 0 && g.gap % 2 == 0 && at >= from && at <= to && (!found.found || at < found.at)) {
            const long long bytes = g.gap / 2;
            found = {true, at, bytes > 0 ? g.value - bytes : g.value, bytes};
        }
    }
    return found;
}

LineGap gap_in(const Addresses& a, long long from, long long to, long long gap)
{
    LineGap found{false, 0, 0, 0};
    const std::size_t held = std::min(a.gap_count, GAPS);
    for (std::size_t k = 0; k < held; ++k) {
        const AddressGap& g = a.gaps[k];
        const long long at = g.digit / 2;
        if (g.digit % 2 != 0 || g.gap != 2 * gap || at < from || at > to) {
            continue;
        }
        if (found.found) {
            return {false, 0, 0, 0};
        }
        // A line left out had the address before this one's; one typed
        // twice has this one's.
        found = {true, at, gap > 0 ? g.value - gap : g.value, gap};
    }
    return found;
}
