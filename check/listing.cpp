// SPDX-License-Identifier: MIT
#include "check/listing.h"

#include <cstring>

namespace {

const unsigned char* bytes_at(const ListingReader& r, std::size_t at)
{
    return reinterpret_cast<const unsigned char*>(r.buffer.data()) + at;
}

// One character: its code point (-1 for a byte that is not UTF-8) and its
// bytes.
struct Char {
    long code;
    std::size_t size;
};

constexpr std::size_t LONGEST = 4;

// The character at `p`, of the `left` bytes there; a byte that does not
// begin a well-formed UTF-8 sequence is a character of its own.
Char char_at(const unsigned char* p, std::size_t left)
{
    const unsigned b = p[0];
    if (b < 0x80) {
        return {static_cast<long>(b), 1};
    }
    std::size_t size = b >= 0xC2 && b <= 0xDF   ? 2
                       : b >= 0xE0 && b <= 0xEF ? 3
                       : b >= 0xF0 && b <= 0xF4 ? 4
                                                : 0;
    if (size == 0 || size > left) {
        return {-1, 1};
    }
    long code = static_cast<long>(b & (0x3Fu >> (size - 1)));
    for (std::size_t i = 1; i < size; ++i) {
        if ((p[i] & 0xC0u) != 0x80u) {
            return {-1, 1};
        }
        code = code << 6 | static_cast<long>(p[i] & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past Unicode's are not
    // characters.
    constexpr long SMALLEST[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < SMALLEST[size] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        return {-1, 1};
    }
    return {code, size};
}

// The fullwidth forms stand for their ASCII characters.
long plain(long code)
{
    if (code >= 0xFF01 && code <= 0xFF5E) {
        return code - 0xFF00 + 0x20;
    }
    return code == 0x3000 ? ' ' : code;
}

int digit_value(long c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<int>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<int>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<int>(c - 'a' + 10);
    }
    return -1;
}

constexpr std::size_t ADDRESS_CHARS = 12;

// At a line's start: the bytes up to and including a colon among its first
// 12 characters, where one comes before any `#`; 0 where none does.
std::size_t address_bytes(ListingReader& r, std::size_t& chars)
{
    fill(r, ADDRESS_CHARS * LONGEST);
    std::size_t p = r.at;
    for (chars = 0; chars < ADDRESS_CHARS && p < r.filled; ++chars) {
        const Char c = char_at(bytes_at(r, p), r.filled - p);
        const long code = plain(c.code);
        p += c.size;
        if (code == '\n' || code == '#') {
            break;
        }
        if (code == ':') {
            ++chars;
            return p - r.at;
        }
    }
    return 0;
}

// Puts the character's bytes after those of the byte's digits so far.
void add_text(Origin& o, const unsigned char* p, std::size_t size)
{
    for (std::size_t i = 0; i < size && o.size < o.text.size(); ++i) {
        o.text[o.size++] = static_cast<char>(p[i]);
    }
}

} // namespace

void start_listing(ListingReader& reader, std::FILE* stream)
{
    reader = ListingReader{};
    reader.stream = stream;
}

std::size_t read_listing(ListingReader& r, std::uint8_t* bytes, Origin* origins, std::size_t room)
{
    std::size_t made = 0;
    while (made < room) {
        fill(r, LONGEST);
        if (r.at == r.filled) {
            break;
        }
        if (!r.started) {
            r.started = true;
            if (r.filled - r.at >= 3 && std::memcmp(bytes_at(r, r.at), "\xEF\xBB\xBF", 3) == 0) {
                r.at += 3;
                continue;
            }
        }
        if (r.line_start) {
            r.line_start = false;
            std::size_t chars = 0;
            const std::size_t skip = address_bytes(r, chars);
            if (skip > 0) {
                r.at += skip;
                r.column += static_cast<long long>(chars);
                continue;
            }
        }
        const unsigned char* const p = bytes_at(r, r.at);
        const Char c = char_at(p, r.filled - r.at);
        const long code = plain(c.code);
        r.at += c.size;
        if (code == '\n') {
            ++r.line;
            r.column = 0;
            r.line_start = true;
            continue;
        }
        ++r.column;
        if (code == ' ' || code == '\t' || code == ',' || code == '\r') {
            continue;
        }
        if (code == '#') {
            // The comment's characters count no columns: the line ends with it.
            for (fill(r, 1); r.at < r.filled && r.buffer[r.at] != '\n'; fill(r, 1)) {
                ++r.at;
            }
            continue;
        }
        const int value = digit_value(code);
        const auto digit = static_cast<std::uint8_t>(value < 0 ? 0 : value);
        if (!r.has_high) {
            r.has_high = true;
            r.high = digit;
            r.pending = Origin{r.line, r.column, {}, 0, 0};
        } else {
            r.has_high = false;
        }
        add_text(r.pending, p, c.size);
        r.pending.unread = static_cast<std::uint8_t>(r.pending.unread + (value < 0 ? 1 : 0));
        if (r.has_high) {
            continue;
        }
        bytes[made] = static_cast<std::uint8_t>(r.high << 4u | digit);
        origins[made] = r.pending;
        ++made;
        r.end = Origin{r.line, r.column + 1, {}, 0, 0};
    }
    return made;
}
