// SPDX-License-Identifier: MIT
#include "check/listing.h"

#include "check/hex.h"

#include <algorithm>
#include <bit>
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

// A colon among a line's first 12 characters ends an address: up to 8
// digits, a sign before them and blanks around them fit.
constexpr std::size_t ADDRESS_CHARS = 12;

// At a line's start: the bytes up to and including a colon among its first
// 12 characters, where one comes before any `#`; 0 where none does.
std::size_t address_bytes(ListingReader& r, std::size_t& chars)
{
    fill(r, ADDRESS_CHARS * LONGEST);
    // Most lines' first characters are plain ASCII, none a colon: no
    // address, found without decoding a character.
    for (std::size_t i = r.at; i < r.filled && i < r.at + ADDRESS_CHARS; ++i) {
        const char c = r.buffer[i];
        if (c == ':' || static_cast<unsigned char>(c) >= 0x80) {
            break;
        }
        if (c == '\n' || c == '#' || i + 1 == r.at + ADDRESS_CHARS) {
            return 0;
        }
    }
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
// digit's value, a character that stands for a digit that could not be
// read (read as 0: its value's low bits are 0), a separator, or one the
// general path takes (LF, `#`, and any byte that begins a longer UTF-8
// sequence or is not UTF-8).
constexpr std::uint8_t UNREADABLE = 16;
constexpr std::uint8_t SEPARATOR = 17;
constexpr std::uint8_t GENERAL = 18;

constexpr std::array<std::uint8_t, 256> ascii_classes()
{
    std::array<std::uint8_t, 256> classes{};
    for (unsigned c = 0; c < 256; ++c) {
        const int value = hex_digit(static_cast<long>(c));
        classes[c] = c >= 0x80 || c == '\n' || c == '#'               ? GENERAL
                     : c == ' ' || c == '\t' || c == ',' || c == '\r' ? SEPARATOR
                     : value >= 0                                     ? static_cast<std::uint8_t>(value)
                                                                      : UNREADABLE;
    }
    return classes;
}

constexpr std::array<std::uint8_t, 256> ASCII = ascii_classes();

// The line's bytes typed as two plain ASCII characters side by side, with
// separators between them, from the reader's place on, as far as the
// buffer holds them, room is left and the line goes on so: two table
// look-ups a byte, and its compact origin written in place. Anything else
// (a digit alone, LF, a comment, a character not ASCII) is left to the
// general path.
void read_ascii(ListingReader& r, std::uint8_t* bytes, TypedPlaces& places, std::size_t first,
                std::size_t room, std::size_t& made)
{
    if (r.has_high || r.column > WIDEST_COLUMN - 2 * static_cast<long long>(BUFFER_SIZE)) {
        return;
    }
    // The reader's state in locals: the stores of bytes and places could
    // otherwise be its own fields, to be read again after each.
    const unsigned char* const text = bytes_at(r, 0);
    const std::size_t filled = r.filled;
    const long long line = r.line;
    std::size_t at = r.at;
    std::size_t n = made;
    auto column = static_cast<std::uint32_t>(r.column);
    std::uint32_t last = 0;
    while (n < room) {
        while (at < filled && ASCII[text[at]] == SEPARATOR) {
            ++at;
            ++column;
        }
        if (at + 2 > filled) {
            break;
        }
        const std::uint8_t high = ASCII[text[at]];
        const std::uint8_t low = ASCII[text[at + 1]];
        if (high > UNREADABLE || low > UNREADABLE) {
            break;
        }
        const std::size_t i = first + n;
        const auto unread = static_cast<std::uint8_t>((high >> 4u) * UNREAD_HIGH | (low >> 4u) * UNREAD_LOW);
        if (unread != 0) {
            r.last_unread = static_cast<long long>(n);
        }
        places.flags[i] = unread;
        places.columns[i] = column + 1;
        places.chars[i] = {static_cast<char>(text[at]), static_cast<char>(text[at + 1])};
        places.lines[i] = line;
        bytes[n++] = static_cast<std::uint8_t>((high & 0xFu) << 4u | (low & 0xFu));
        at += 2;
        column += 2;
        last = column;
    }
    if (n != made) {
        r.end.line = line;
        r.end.column = static_cast<long long>(last) + 1;
    }
    made = n;
    r.at = at;
    r.column = column;
}

// Two characters as a byte typed side by side: its value, and whether a
// character is not a digit (NOT_PAIR) or a letter in lower or upper case.
constexpr unsigned NOT_PAIR = 0x100;
constexpr unsigned LOWER = 0x200;
constexpr unsigned UPPER = 0x400;

unsigned pair_entry(unsigned high, unsigned low)
{
    const std::uint8_t h = ASCII[high];
    const std::uint8_t l = ASCII[low];
    if (h > 15 || l > 15) {
        return NOT_PAIR;
    }
    const auto letter_case = [](unsigned c) { return c >= 'a' ? LOWER : c >= 'A' ? UPPER : 0; };
    return (h << 4u | l) | letter_case(high) | letter_case(low);
}

// Entries OR-ed of bytes that can be one run: all digits, in one case.
bool alike(unsigned entries)
{
    return (entries & NOT_PAIR) == 0 && (entries & (LOWER | UPPER)) != (LOWER | UPPER);
}

// Every pair of characters, looked up at once by the two as the machine
// loads them, in either byte order: one load a byte.
std::array<std::uint16_t, 1 << 16> pairs;

unsigned pair_index(const unsigned char* p)
{
    std::uint16_t index = 0;
    std::memcpy(&index, p, sizeof index);
    return index;
}

void make_pairs()
{
    for (unsigned high = 0; high < 256; ++high) {
        for (unsigned low = 0; low < 256; ++low) {
            const unsigned char two[] = {static_cast<unsigned char>(high), static_cast<unsigned char>(low)};
            pairs[pair_index(two)] = static_cast<std::uint16_t>(pair_entry(high, low));
        }
    }
}

// Eight bytes of two digits and a space are three words; these pick out
// their spaces, as the machine loads them.
constexpr std::uint64_t separator_lanes(std::size_t word, std::uint64_t value)
{
    std::uint64_t lanes = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t shift = std::endian::native == std::endian::little ? 8 * i : 8 * (7 - i);
        lanes |= (8 * word + i) % 3 == 2 ? value << shift : 0;
    }
    return lanes;
}

constexpr std::array<std::uint64_t, 3> SEPARATOR_LANES = {separator_lanes(0, 0xFF), separator_lanes(1, 0xFF),
                                                          separator_lanes(2, 0xFF)};
constexpr std::array<std::uint64_t, 3> SPACE_LANES = {separator_lanes(0, ' '), separator_lanes(1, ' '),
                                                      separator_lanes(2, ' ')};

// `count` bytes of `stride` characters from `text` on, each flagged as a
// run's: the OR of their entries, with NOT_PAIR where a separator between
// two of them is not a space. Where the text has a character after the
// last byte (`after`), it stands in as a space for a moment, and the
// spaces of eight bytes are checked as three words; the others are OR-ed
// and AND-ed, which give a space only where each is one.
template <std::size_t stride>
unsigned read_pairs(unsigned char* text, std::uint8_t* bytes, std::uint8_t* flags, std::size_t count,
                    bool after)
{
    unsigned all = 0;
    unsigned any_separator = ' ';
    unsigned each_separator = ' ';
    const std::uint16_t* const table = pairs.data();
    std::size_t k = 0;
    if (stride == 3 && after) {
        unsigned char& last_separator = text[3 * count - 1];
        const unsigned char kept = last_separator;
        last_separator = ' ';
        std::uint64_t wrong = 0;
        for (; k + 8 <= count; k += 8) {
            const unsigned char* const p = text + 3 * k;
            for (std::size_t j = 0; j < 8; ++j) {
                const unsigned entry = table[pair_index(p + 3 * j)];
                all |= entry;
                bytes[k + j] = static_cast<std::uint8_t>(entry);
            }
            for (std::size_t w = 0; w < 3; ++w) {
                std::uint64_t word = 0;
                std::memcpy(&word, p + 8 * w, sizeof word);
                wrong |= (word & SEPARATOR_LANES[w]) ^ SPACE_LANES[w];
            }
        }
        last_separator = kept;
        all |= wrong != 0 ? NOT_PAIR : 0;
    }
    if (k == count) {
        k = count - 1; // the last byte again: the same value, no separator
    }
    for (; k + 1 < count; ++k) {
        const unsigned char* const p = text + stride * k;
        const unsigned entry = table[pair_index(p)];
        all |= entry;
        bytes[k] = static_cast<std::uint8_t>(entry);
        if constexpr (stride == 3) {
            any_separator |= p[2];
            each_separator &= p[2];
        }
    }
    const unsigned last = table[pair_index(text + stride * (count - 1))];
    bytes[count - 1] = static_cast<std::uint8_t>(last);
    // The flags a word at a time: memset's set-up costs more for a line.
    constexpr std::uint64_t RUNS = 0x0101010101010101u * RUN;
    std::size_t f = 0;
    for (; f + 8 <= count; f += 8) {
        std::memcpy(flags + f, &RUNS, sizeof RUNS);
    }
    for (; f < count; ++f) {
        flags[f] = RUN;
    }
    return all | last | (any_separator == ' ' && each_separator == ' ' ? 0 : NOT_PAIR);
}

// The listing's lines from the reader's place on, as long as each is a
// run of bytes typed alike, two digits and a space or two digits side by
// side, all in one case, up to LONGEST_RUN of them, then its end: one
// record for each run's places, and no character looked at twice but
// for the LF. Stops at anything else, where the buffer or the room ends,
// and before a line whose first characters might hold an address; the
// other paths take it from there.
void read_runs(ListingReader& r, std::uint8_t* bytes, TypedPlaces& places, std::size_t first,
               std::size_t room, std::size_t& made)
{
    if (r.has_high) {
        return;
    }
    const unsigned char* const text = bytes_at(r, 0);
    const std::size_t filled = r.filled; // (the stores of bytes could be the reader's, for the compiler)
    while (made < room) {
        std::size_t at = r.at;
        while (at < filled && ASCII[text[at]] == SEPARATOR) {
            ++at;
        }
        const std::size_t skipped = at - r.at;
        if (at + 5 > filled || r.column > WIDEST_COLUMN - 3 * static_cast<long long>(BUFFER_SIZE)) {
            return;
        }
        const unsigned char* const t = text + at;
        const std::size_t stride = t[2] == ' ' ? 3 : ASCII[t[2]] < 16 ? 2 : 0;
        if (stride == 0) {
            return;
        }
        // Where the line ends: most lines are as long as the one before,
        // which the run then shows (an LF before would not be a digit or
        // a space); else where the first LF is.
        const std::size_t left = filled - at;
        std::size_t end = r.run_line;
        bool lf = end < left && t[end] == '\n';
        if (!lf) {
            const void* const found = std::memchr(t, '\n', left);
            lf = found != nullptr;
            end = lf ? static_cast<std::size_t>(static_cast<const unsigned char*>(found) - t) : left;
        }
        if (end < 2 + stride) {
            r.run_line = 0;
            return;
        }
        // (A constant divisor: no division instruction.)
        const std::size_t whole = (stride == 3 ? (end - 2) / 3 : (end - 2) / 2) + 1;
        const std::size_t count = std::min({whole, room - made, LONGEST_RUN});
        const std::size_t chars = stride * (count - 1) + 2;
        // The line ends after the run (a CR before its LF is a separator).
        const std::size_t line_end = chars + (chars + 1 == end && t[chars] == '\r' ? 1 : 0);
        const bool ends = lf && line_end == end;
        // A colon among a line's first characters would make them an
        // address: the run must show there is none.
        if (count < 2 || (r.line_start && skipped + chars < ADDRESS_CHARS && !ends)) {
            return;
        }
        const std::size_t i = first + made;
        unsigned char* const typed = reinterpret_cast<unsigned char*>(r.buffer.data()) + at;
        const bool after = 3 * count - 1 < left;
        const unsigned all = stride == 3 ? read_pairs<3>(typed, bytes + made, &places.flags[i], count, after)
                                         : read_pairs<2>(typed, bytes + made, &places.flags[i], count, false);
        if (!alike(all)) {
            if (end == r.run_line) {
                r.run_line = 0; // perhaps a shorter line: look for its LF
                continue;
            }
            return;
        }
        r.run_line = end;
        // The lines after it that are typed just like it, from their first
        // column, join its run.
        std::size_t joined = 0; // lines
        std::size_t next = at + end + 1;
        unsigned run = all;
        const bool cr = line_end != chars;
        if (ends && r.column + static_cast<long long>(skipped) == 0 && stride == 3) {
            for (std::size_t held = count; made + held + count <= room && held + count <= LONGEST_RUN;
                 held += count) {
                const unsigned char* const following = text + next;
                if (next + end >= filled || following[end] != '\n' || (cr && following[chars] != '\r')) {
                    break;
                }
                const unsigned more = read_pairs<3>(typed + (next - at), bytes + made + held,
                                                    &places.flags[i + held], count, true);
                if (!alike(run | more)) {
                    break;
                }
                run |= more;
                ++joined;
                next += end + 1;
            }
        }
        places.flags[i] = RUN_FIRST;
        places.lines[i] = r.line;
        places.columns[i] = static_cast<std::uint32_t>(r.column + static_cast<long long>(skipped) + 1);
        places.chars[i] = {static_cast<char>(stride), static_cast<char>((run & LOWER) != 0 ? 1 : 0)};
        places.shapes[i] = {static_cast<std::uint16_t>(count), 0};
        made += count * (joined + 1);
        r.line_start = false;
        r.at = at + chars;
        r.column += static_cast<long long>(skipped + chars);
        r.end.line = r.line + static_cast<long long>(joined);
        r.end.column = r.column + 1;
        if (!ends) {
            return;
        }
        r.at = next;
        r.line += static_cast<long long>(joined) + 1;
        r.column = 0;
        r.line_start = true;
    }
}

} // namespace

void start_listing(ListingReader& reader, std::FILE* stream)
{
    reader = ListingReader{};
    reader.stream = stream;
    static bool made = false;
    if (!made) {
        make_pairs();
        made = true;
    }
}

std::size_t read_listing(ListingReader& r, std::uint8_t* bytes, TypedPlaces& places, std::size_t first,
                         std::size_t room)
{
    std::size_t made = 0;
    r.last_unread = -1;
    if (!r.looked) {
        r.looked = true;
        fill(r, r.buffer.size());
        r.addresses.width = recognise_addresses(r.buffer.data() + r.at, r.filled - r.at);
    }
    while (made < room) {
        fill(r, LONGEST);
        if (r.at == r.filled) {
            break;
        }
        const std::size_t before = r.at;
        if (r.line_start && r.addresses.width > 0) {
            fill(r, ADDRESS_CHARS * LONGEST);
            const LineAddress a = address_at(r.buffer.data() + r.at, r.filled - r.at, r.addresses.width);
            if (a.chars > 0) {
                note_address(r.addresses, a.value,
                             2 * (r.offset + static_cast<long long>(made)) + (r.has_high ? 1 : 0));
                r.at += a.chars;
                r.column += static_cast<long long>(a.chars);
                r.line_start = false;
                continue;
            }
        }
        read_runs(r, bytes, places, first, room, made);
        if (r.at != before) {
            continue;
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
        read_ascii(r, bytes, places, first, room, made);
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
        const int value = hex_digit(code);
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
        if (r.pending.unread != 0) {
            r.last_unread = static_cast<long long>(made);
        }
        put_origin(places, first + made, r.pending);
        ++made;
        r.end.line = r.line;
        r.end.column = r.column + 1;
    }
    return made;
}
