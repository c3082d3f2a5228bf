// SPDX-License-Identifier: MIT
#include "check/stored_report.h"

#include "check/hex.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// The layout's digits in order: two for each row, two for each column, four
// for the CRC.
constexpr std::size_t DIGITS = REPORT_DIGITS;

static_assert(std::count(std::begin(REPORT_TEMPLATE), std::end(REPORT_TEMPLATE), '0') == DIGITS);

void put_values(const std::array<std::uint8_t, DIGITS>& digits, BlockSums& sums)
{
    const auto pair = [&](std::size_t k) {
        return static_cast<std::uint8_t>(digits[k] << 4u | digits[k + 1]);
    };
    for (std::size_t r = 0; r < BLOCK_ROWS; ++r) {
        sums.rows[r] = pair(2 * r);
    }
    for (std::size_t c = 0; c < BLOCK_COLUMNS; ++c) {
        sums.columns[c] = pair(2 * BLOCK_ROWS + 2 * c);
    }
    const std::size_t crc = 2 * BLOCK_ROWS + 2 * BLOCK_COLUMNS;
    sums.crc = static_cast<std::uint16_t>(pair(crc) << 8u | pair(crc + 2));
}

constexpr int END_OF_REPORT = -1;

int peek(ReportReader& r)
{
    fill(r, 1);
    return r.at < r.filled ? static_cast<unsigned char>(r.buffer[r.at]) : END_OF_REPORT;
}

// Takes the next byte, which peek() has made readable. Only blanks, labels
// and digits are taken within a line, so a byte is a column.
void take_byte(ReportReader& r)
{
    ++r.column;
    ++r.at;
}

void skip_blanks(ReportReader& r)
{
    for (int c = peek(r); c == ' ' || c == '\t'; c = peek(r)) {
        take_byte(r);
    }
}

// Takes a line end, LF or CR LF, if one comes next.
bool take_line_end(ReportReader& r)
{
    fill(r, 2);
    const std::size_t left = r.filled - r.at;
    const char* const here = r.buffer.data() + r.at;
    if (left >= 1 && here[0] == '\n') {
        r.at += 1;
    } else if (left >= 2 && here[0] == '\r' && here[1] == '\n') {
        r.at += 2;
    } else {
        return false;
    }
    ++r.lines;
    r.column = 0;
    return true;
}

bool ends_a_word(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == END_OF_REPORT;
}

// Each of these takes what fits and stops at the first character that does
// not, so that the reader's place names it.
bool take_label(ReportReader& r, const char* label)
{
    skip_blanks(r);
    for (const char* l = label; *l != '\0'; ++l) {
        const int c = peek(r);
        if (c == END_OF_REPORT || (c | 0x20) != *l) { // either case
            return false;
        }
        take_byte(r);
    }
    return ends_a_word(peek(r));
}

// The bytes of the UTF-8 character whose first byte is `lead`: 1 for
// ASCII and for a byte that starts none, which is a character of its own.
std::size_t character_size(int lead)
{
    return lead >= 0xF0 && lead <= 0xF4   ? 4
           : lead >= 0xE0 && lead <= 0xEF ? 3
           : lead >= 0xC2 && lead <= 0xDF ? 2
                                          : 1;
}

// Takes a character that is no digit where a digit stands: an unreadable
// digit, kept as it stands. The character is one column.
bool take_unread(ReportReader& r, std::size_t digit)
{
    const int lead = peek(r);
    if (ends_a_word(lead)) {
        return false;
    }
    const std::size_t size = character_size(lead);
    fill(r, size);
    std::size_t n = 1;
    while (n < size && r.at + n < r.filled &&
           (static_cast<unsigned char>(r.buffer[r.at + n]) & 0xC0u) == 0x80) {
        ++n;
    }
    std::array<char, 4>& text = r.unread.text[digit];
    text = {};
    std::copy(r.buffer.data() + r.at, r.buffer.data() + r.at + n, text.begin());
    r.unread.mask |= std::uint64_t{1} << digit;
    r.at += n;
    ++r.column;
    return true;
}

// Takes `count` values of `width` hex digits each, as separate words, into
// the digits from `digit` on; a character that is no digit, in a value of
// the right width, is an unreadable digit.
bool take_values(ReportReader& r, std::size_t count, std::size_t width,
                 std::array<std::uint8_t, DIGITS>& digits, std::size_t& digit)
{
    for (std::size_t k = 0; k < count; ++k) {
        skip_blanks(r);
        const long long column = r.column;
        long long first_unread = -1;
        for (std::size_t i = 0; i < width; ++i, ++digit) {
            const int value = hex_digit(peek(r));
            if (value >= 0) {
                digits[digit] = static_cast<std::uint8_t>(value);
                take_byte(r);
                continue;
            }
            if (!take_unread(r, digit)) {
                return false;
            }
            digits[digit] = 0;
            first_unread = first_unread < 0 ? static_cast<long long>(i) : first_unread;
        }
        if (!ends_a_word(peek(r))) {
            // Not a value of its width with a digit misread, but a word that
            // does not fit: named where it first differs from hex digits.
            if (first_unread >= 0) {
                r.column = column + first_unread;
            }
            return false;
        }
    }
    return true;
}

// The rest of the line holds nothing but blanks; the last line of a block
// may also end the report.
bool take_end_of_line(ReportReader& r, bool may_end_report)
{
    skip_blanks(r);
    return take_line_end(r) || (may_end_report && peek(r) == END_OF_REPORT);
}

Record bad(ReportReader& r)
{
    if (r.failed) {
        return Record::FAILED;
    }
    r.bad_line = r.lines + 1;
    r.bad_column = r.column + 1;
    return Record::BAD;
}

// A record as a person types it, line by line.
Record read_typed(ReportReader& r, BlockSums& sums)
{
    // Empty lines, or lines of blanks, before the block.
    for (;;) {
        skip_blanks(r);
        if (peek(r) == END_OF_REPORT) {
            return r.failed ? Record::FAILED : Record::END;
        }
        if (!take_line_end(r)) {
            break;
        }
    }
    std::array<std::uint8_t, DIGITS> digits{};
    std::size_t digit = 0;
    r.unread.mask = 0;
    if (!take_label(r, "yoko") || !take_end_of_line(r, false)) {
        return bad(r);
    }
    if (!take_values(r, BLOCK_ROWS, 2, digits, digit) || !take_end_of_line(r, false)) {
        return bad(r);
    }
    if (!take_label(r, "tate") || !take_end_of_line(r, false)) {
        return bad(r);
    }
    if (!take_values(r, BLOCK_COLUMNS, 2, digits, digit) || !take_values(r, 1, 4, digits, digit) ||
        !take_end_of_line(r, true)) {
        return bad(r);
    }
    put_values(digits, sums);
    ++r.records;
    return Record::READ;
}

// Where the layout's digits are, and the layout with CR before every LF.
struct Layout {
    std::array<char, CR_LF_RECORD_SIZE> text;
    std::size_t size;
    std::array<std::uint8_t, DIGITS> digits;
};

constexpr Layout layout_of(LineEnd end)
{
    Layout l{};
    std::size_t digit = 0;
    for (std::size_t t = 0; t < REPORT_SIZE; ++t) {
        if (REPORT_TEMPLATE[t] == '\n' && end == LineEnd::CR_LF) {
            l.text[l.size++] = '\r';
        }
        if (REPORT_TEMPLATE[t] == '0') {
            l.digits[digit++] = static_cast<std::uint8_t>(l.size);
        }
        l.text[l.size++] = REPORT_TEMPLATE[t];
    }
    return l;
}

constexpr Layout LAYOUTS[] = {layout_of(LineEnd::LF), layout_of(LineEnd::CR_LF)};

// An uppercase hex digit's value; 0x10 for anything else.
constexpr std::array<std::uint8_t, 256> uppercase_digits()
{
    std::array<std::uint8_t, 256> values{};
    for (std::size_t c = 0; c < values.size(); ++c) {
        const int value = hex_digit(static_cast<int>(c));
        values[c] = static_cast<std::uint8_t>(value < 0 || (c >= 'a' && c <= 'f') ? 0x10 : value);
    }
    return values;
}

constexpr std::array<std::uint8_t, 256> UPPERCASE_DIGITS = uppercase_digits();

} // namespace

// The record with its digits made '0' is the layout itself; and every
// digit is an uppercase hex digit.
bool read_exact(const char* record, std::size_t size, LineEnd end, BlockSums& sums)
{
    const Layout& layout = LAYOUTS[end == LineEnd::LF ? 0 : 1];
    if (size != layout.size) {
        return false;
    }
    std::array<char, CR_LF_RECORD_SIZE> shape;
    std::memcpy(shape.data(), record, size);
    std::array<std::uint8_t, DIGITS> digits{};
    unsigned invalid = 0;
    for (std::size_t k = 0; k < DIGITS; ++k) {
        const std::size_t at = layout.digits[k];
        digits[k] = UPPERCASE_DIGITS[static_cast<unsigned char>(record[at])];
        invalid |= digits[k];
        shape[at] = '0';
    }
    if ((invalid & 0x10u) != 0 || std::memcmp(shape.data(), layout.text.data(), size) != 0) {
        return false;
    }
    put_values(digits, sums);
    return true;
}

std::array<char, CR_LF_RECORD_SIZE> with_cr_lf(const Report& report)
{
    std::array<char, CR_LF_RECORD_SIZE> out{};
    std::size_t at = 0;
    for (const char c : report) {
        if (c == '\n') {
            out[at++] = '\r';
        }
        out[at++] = c;
    }
    return out;
}

void start_reading(ReportReader& reader, std::FILE* stream)
{
    reader.stream = stream;
    reader.at = 0;
    reader.filled = 0;
    reader.ended = false;
    reader.failed = false;
    reader.lines = 0;
    reader.records = 0;
    reader.column = 0;
    reader.bad_line = 0;
    reader.bad_column = 0;
}

namespace {

// How the record at the reader's place ends its lines, as its first line
// says.
LineEnd line_end_here(const ReportReader& r)
{
    return r.filled - r.at > 4 && r.buffer[r.at + 4] == '\r' ? LineEnd::CR_LF : LineEnd::LF;
}

void take_record(ReportReader& r, std::size_t size)
{
    r.at += size;
    r.lines += REPORT_LINES;
    r.column = 0;
    ++r.records;
}

} // namespace

bool take_if_same(ReportReader& reader, const Report& report)
{
    fill(reader, CR_LF_RECORD_SIZE);
    const char* const here = reader.buffer.data() + reader.at;
    const std::size_t left = reader.filled - reader.at;
    if (line_end_here(reader) == LineEnd::LF) {
        if (left < REPORT_SIZE || std::memcmp(here, report.data(), REPORT_SIZE) != 0) {
            return false;
        }
        take_record(reader, REPORT_SIZE);
        return true;
    }
    if (left < CR_LF_RECORD_SIZE || std::memcmp(here, with_cr_lf(report).data(), CR_LF_RECORD_SIZE) != 0) {
        return false;
    }
    take_record(reader, CR_LF_RECORD_SIZE);
    return true;
}

std::uint64_t value_digits(std::size_t k)
{
    if (k >= FIRST_CRC_DIGIT) {
        return std::uint64_t{0xF} << FIRST_CRC_DIGIT;
    }
    return std::uint64_t{3} << (k & ~std::size_t{1});
}

Record read_record(ReportReader& reader, BlockSums& sums)
{
    reader.unread.mask = 0;
    fill(reader, CR_LF_RECORD_SIZE);
    const LineEnd end = line_end_here(reader);
    const std::size_t size = end == LineEnd::LF ? REPORT_SIZE : CR_LF_RECORD_SIZE;
    if (reader.filled - reader.at >= size && read_exact(reader.buffer.data() + reader.at, size, end, sums)) {
        take_record(reader, size);
        return Record::READ;
    }
    return read_typed(reader, sums);
}
