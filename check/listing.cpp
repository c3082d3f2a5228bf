// SPDX-License-Identifier: MIT
#include "check/listing.h"

#include <algorithm>
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

constexpr int digit_value(long c)
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

// What a plain ASCII character is to the listing, for the fast path: a
// digit's value, a separator, a character that stands for a digit that
// could not be read, or one the general path takes (LF, `#`, and any byte
// that begins a longer UTF-8 sequence or is not UTF-8).
constexpr std::uint8_t SEPARATOR = 16;
constexpr std::uint8_t UNREADABLE = 17;
constexpr std::uint8_t GENERAL = 18;

constexpr std::array<std::uint8_t, 256> ascii_classes()
{
    std::array<std::uint8_t, 256> classes{};
    for (unsigned c = 0; c < 256; ++c) {
        const int value = digit_value(static_cast<long>(c));
        classes[c] = c >= 0x80 || c == '\n' || c == '#'               ? GENERAL
                     : c == ' ' || c == '\t' || c == ',' || c == '\r' ? SEPARATOR
                     : value >= 0                                     ? static_cast<std::uint8_t>(value)
                                                                      : UNREADABLE;
    }
    return classes;
}

constexpr std::array<std::uint8_t, 256> ASCII = ascii_classes();

// The line's plain ASCII characters from the reader's place on, as far as
// the buffer holds them, room is left, and no character needs the general
// path: one table look-up each, and each byte's origin written in place.
void read_ascii(ListingReader& r, std::uint8_t* bytes, Origin* origins, std::size_t room, std::size_t& made)
{
    // The reader's state in locals: the stores of bytes and origins could
    // otherwise be its own fields, to be read again after each.
    const unsigned char* const text = bytes_at(r, 0);
    const std::size_t filled = r.filled;
    const long long line = r.line;
    std::size_t at = r.at;
    std::size_t n = made;
    long long column = r.column;
    bool has_high = r.has_high;
    std::uint8_t high = r.high;
    Origin pending = r.pending;
    while (n < room && at < filled) {
        const unsigned char ch = text[at];
        const std::uint8_t k = ASCII[ch];
        if (k == GENERAL) {
            break;
        }
        ++at;
        ++column;
        if (k == SEPARATOR) {
            continue;
        }
        const std::uint8_t value = k < 16 ? k : 0;
        if (!has_high) {
            has_high = true;
            high = value;
            pending.line = line;
            pending.column = column;
            pending.text[0] = static_cast<char>(ch);
            pending.size = 1;
            pending.unread = k < 16 ? 0 : UNREAD_HIGH;
            continue;
        }
        has_high = false;
        Origin& o = origins[n];
        o.line = pending.line;
        o.column = pending.column;
        o.low_line = line;
        o.low_column = column;
        o.text = pending.text;
        o.high_size = pending.size;
        o.text[pending.size] = static_cast<char>(ch);
        o.size = static_cast<std::uint8_t>(pending.size + 1);
        o.unread = static_cast<std::uint8_t>(pending.unread | (k < 16 ? 0 : UNREAD_LOW));
        bytes[n++] = static_cast<std::uint8_t>(high << 4u | value);
    }
    if (n != made) {
        r.end.line = line;
        r.end.column = origins[n - 1].low_column + 1;
    }
    made = n;
    r.at = at;
    r.column = column;
    r.has_high = has_high;
    r.high = high;
    r.pending = pending;
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
        const std::size_t before = r.at;
        read_ascii(r, bytes, origins, room, made);
        if (r.at != before) {
            continue;
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
            r.pending = Origin{};
            r.pending.line = r.line;
            r.pending.column = r.column;
        } else {
            r.has_high = false;
            r.pending.low_line = r.line;
            r.pending.low_column = r.column;
            r.pending.high_size = r.pending.size;
        }
        add_text(r.pending, p, c.size);
        if (value < 0) {
            r.pending.unread =
                static_cast<std::uint8_t>(r.pending.unread | (r.has_high ? UNREAD_HIGH : UNREAD_LOW));
        }
        if (r.has_high) {
            continue;
        }
        bytes[made] = static_cast<std::uint8_t>(r.high << 4u | digit);
        origins[made] = r.pending;
        ++made;
        r.end.line = r.line;
        r.end.column = r.column + 1;
    }
    return made;
}

namespace {

struct Digit {
    std::size_t at;
    unsigned shift; // 4 for a byte's high digit, 0 for its low one
};

void set_digit(Block& block, const Digit& d, unsigned value)
{
    block[d.at] = static_cast<std::uint8_t>((block[d.at] & ~(0xFu << d.shift)) | value << d.shift);
}

// The digit that a sum differing by `by` gives, where only that digit is
// unknown in it: 16 or more where none does.
unsigned from_sum(std::uint8_t by, unsigned shift)
{
    if (shift == 4) {
        return (by & 0xFu) == 0 ? by >> 4u : 16;
    }
    return by < 16 ? by : 16;
}

unsigned column_sum(const Block& block, std::size_t column)
{
    unsigned sum = 0;
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        sum += block[r * BLOCK_COLUMNS + column];
    }
    return sum;
}

struct Search {
    Block& block;
    const BlockSums& stored;
    const Digit* digits;
    std::size_t count;
    std::size_t solutions;
    Block found;
    long long budget; // values still to be tried
};

// Every value of the digits, depth first: the last unknown digit of a row,
// or of a column, takes what its sum leaves, and only that value; the
// others take each value in turn. Stops at a second solution.
void find(Search& s)
{
    enum class From : std::uint8_t { ANY, ROW, COLUMN };
    std::array<From, UNREAD_LEFT> from{};
    for (std::size_t i = 0; i < s.count; ++i) {
        bool last_in_row = true;
        bool last_in_column = true;
        for (std::size_t k = i + 1; k < s.count; ++k) {
            last_in_row = last_in_row && s.digits[k].at / BLOCK_COLUMNS != s.digits[i].at / BLOCK_COLUMNS;
            last_in_column =
                last_in_column && s.digits[k].at % BLOCK_COLUMNS != s.digits[i].at % BLOCK_COLUMNS;
        }
        from[i] = last_in_row ? From::ROW : last_in_column ? From::COLUMN : From::ANY;
    }
    std::array<unsigned, UNREAD_LEFT> tried{}; // values tried so far, by depth
    std::size_t i = 0;
    for (;;) {
        if (i == s.count) {
            if (sum_block(s.block) == s.stored) {
                s.found = s.block;
                ++s.solutions;
            }
            if (i == 0 || s.solutions > 1) {
                return;
            }
            --i;
            continue;
        }
        if (--s.budget < 0) {
            return;
        }
        const Digit d = s.digits[i];
        unsigned value = 16;
        if (from[i] == From::ANY) {
            value = tried[i] < 16 ? tried[i] : 16;
            ++tried[i];
        } else if (tried[i] == 0) {
            tried[i] = 16;
            set_digit(s.block, d, 0);
            const std::size_t row = d.at / BLOCK_COLUMNS;
            const std::size_t column = d.at % BLOCK_COLUMNS;
            const unsigned sum = from[i] == From::ROW ? row_sum(s.block, row) : column_sum(s.block, column);
            const unsigned want = from[i] == From::ROW ? s.stored.rows[row] : s.stored.columns[column];
            value = from_sum(static_cast<std::uint8_t>(want - sum), d.shift);
        }
        if (value < 16) {
            set_digit(s.block, d, value);
            ++i;
            if (i < s.count) {
                tried[i] = 0;
            }
            continue;
        }
        // This digit has no value left: back to the one before.
        if (i == 0) {
            return;
        }
        --i;
    }
}

} // namespace

unsigned row_sum(const Block& block, std::size_t row)
{
    unsigned sum = 0;
    for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
        sum += block[row * BLOCK_COLUMNS + c];
    }
    return sum;
}

bool solve_unread(Block& block, const std::array<std::uint8_t, BLOCK_SIZE>& unread, std::size_t filled,
                  const BlockSums& stored)
{
    std::array<Digit, 2 * BLOCK_SIZE> digits{};
    std::size_t count = 0;
    for (std::size_t at = 0; at < filled; ++at) {
        for (const unsigned shift : {4u, 0u}) {
            if ((unread[at] & (shift == 4 ? UNREAD_HIGH : UNREAD_LOW)) != 0) {
                digits[count] = {at, shift};
                set_digit(block, digits[count], 0);
                ++count;
            }
        }
    }
    // Peeling: a row or column with one unknown digit left gives it.
    std::array<std::size_t, BLOCK_ROWS> in_row{};
    std::array<std::size_t, BLOCK_COLUMNS> in_column{};
    for (std::size_t i = 0; i < count; ++i) {
        ++in_row[digits[i].at / BLOCK_COLUMNS];
        ++in_column[digits[i].at % BLOCK_COLUMNS];
    }
    for (bool settled = true; settled;) {
        settled = false;
        for (std::size_t i = 0; i < count;) {
            const std::size_t row = digits[i].at / BLOCK_COLUMNS;
            const std::size_t column = digits[i].at % BLOCK_COLUMNS;
            unsigned value = 32;
            if (in_row[row] == 1) {
                value = from_sum(static_cast<std::uint8_t>(stored.rows[row] - row_sum(block, row)),
                                 digits[i].shift);
            } else if (in_column[column] == 1) {
                value =
                    from_sum(static_cast<std::uint8_t>(stored.columns[column] - column_sum(block, column)),
                             digits[i].shift);
            }
            if (value == 16) {
                return false; // the sum cannot be made by this digit: something else differs
            }
            if (value > 16) {
                ++i;
                continue;
            }
            set_digit(block, digits[i], value);
            --in_row[row];
            --in_column[column];
            digits[i] = digits[--count];
            settled = true;
        }
    }
    if (count > UNREAD_LEFT) {
        return false;
    }
    std::sort(digits.begin(), digits.begin() + static_cast<std::ptrdiff_t>(count),
              [](const Digit& a, const Digit& b) { return a.at < b.at; });
    // The rest, row by row: the last unknown digit of a row, or of a
    // column, is what its sum leaves; the others take every value.
    Search search{block, stored, digits.data(), count, 0, {}, UNREAD_TRIED};
    find(search);
    if (search.solutions == 1 && search.budget >= 0) {
        block = search.found;
        return true;
    }
    return false;
}
