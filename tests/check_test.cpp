// SPDX-License-Identifier: MIT
#include "check/addresses.h"
#include "check/align.h"
#include "check/explain.h"
#include "check/hints.h"
#include "check/input.h"
#include "check/listing.h"
#include "check/repair.h"
#include "check/runs.h"
#include "check/stored_report.h"
#include "check/unread.h"
#include "reference.h"
#include "stored_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string ABC =
    "yoko\n26 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \ntate\n61 62 63 00 00 00 00 00 0ADE\n\n";
const std::string ZEROS_ROW = " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";

std::string crlf(std::string text)
{
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) {
        text.insert(at, "\r");
    }
    return text;
}

using Bytes = std::vector<std::uint8_t>;

Bytes random_bytes(std::mt19937& random, std::size_t size)
{
    Bytes bytes(size);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

Block block_of(const Bytes& data, std::size_t at)
{
    Block block{};
    for (std::size_t i = 0; i < BLOCK_SIZE && at + i < data.size(); ++i) {
        block[i] = data[at + i];
    }
    return block;
}

// The report's values of every block of the data, the plain way.
std::vector<BlockSums> report_of(const Bytes& data)
{
    std::vector<BlockSums> sums;
    for (std::size_t at = 0; at < data.size(); at += BLOCK_SIZE) {
        sums.push_back(reference_sums(block_of(data, at)));
    }
    return sums;
}

// Random data of whole blocks, and its report.
struct Original {
    Bytes bytes;
    std::vector<BlockSums> report;
};

Original random_original(unsigned seed, std::size_t blocks)
{
    std::mt19937 random(seed);
    Bytes bytes = random_bytes(random, blocks * BLOCK_SIZE);
    std::vector<BlockSums> report = report_of(bytes);
    return {std::move(bytes), std::move(report)};
}

FileView view_of(const Bytes& data)
{
    const auto size = static_cast<long long>(data.size());
    return {data.data(), 0, size, size};
}

StoredBlocks run_of(const std::vector<BlockSums>& report, std::size_t block)
{
    return {report.data() + block, std::min(report.size() - block, STORED_BLOCKS),
            report.size() - block <= STORED_BLOCKS};
}

// The data with `shift` random bytes put in at `at`, or with -shift bytes
// taken out there.
Bytes slipped(const Bytes& data, std::mt19937& random, long long at, long long shift)
{
    Bytes copy = data;
    const auto place = copy.begin() + static_cast<std::ptrdiff_t>(at);
    if (shift > 0) {
        const Bytes run = random_bytes(random, static_cast<std::size_t>(shift));
        copy.insert(place, run.begin(), run.end());
    } else {
        copy.erase(place, place - shift);
    }
    return copy;
}

// The explanation undone in FILE, as the repair undoes it.
Bytes undone(const Bytes& file, const Explanation& e)
{
    Bytes out = file;
    const auto at = static_cast<std::ptrdiff_t>(e.at);
    if (e.kind == Kind::BYTES) {
        for (std::size_t k = 0; k < e.changed; ++k) {
            out[static_cast<std::size_t>(e.changes[k].at)] = e.changes[k].was;
        }
    } else if (e.kind == Kind::EXTRA || e.kind == Kind::EXTRA_RANGE) {
        out.erase(out.begin() + at, out.begin() + at + e.length);
    } else if (e.kind == Kind::MISSING || e.kind == Kind::MISSING_RANGE) {
        Bytes values(static_cast<std::size_t>(e.length), 0);
        if (e.known) {
            std::copy(e.values.begin(), e.values.begin() + e.length, values.begin());
        }
        out.insert(out.begin() + at, values.begin(), values.end());
    }
    return out;
}

// What the reader makes of a whole text: the blocks' values, then how it
// ended.
struct Read {
    std::vector<BlockSums> blocks;
    Record end;
    long long line;
    long long column;
};

// A text as a stream to read from.
std::FILE* stream_of(const std::string& text)
{
    std::FILE* const stream = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), stream);
    std::rewind(stream);
    return stream;
}

Read read_all(const std::string& text)
{
    std::FILE* const stream = stream_of(text);
    static ReportReader reader;
    start_reading(reader, stream);
    Read read{{}, Record::READ, 0, 0};
    BlockSums sums{};
    while ((read.end = read_record(reader, sums)) == Record::READ) {
        read.blocks.push_back(sums);
    }
    read.line = reader.bad_line;
    read.column = reader.bad_column;
    std::fclose(stream);
    return read;
}

} // namespace

TEST(StoredReport, ExactRecords)
{
    const struct {
        std::string record;
        LineEnd end;
        bool exact;
    } cases[] = {
        {ABC, LineEnd::LF, true},
        {crlf(ABC), LineEnd::CR_LF, true},
        {crlf(ABC), LineEnd::LF, false},
        {ABC, LineEnd::CR_LF, false},
        {"cannot open x\n", LineEnd::LF, false},
        {ABC.substr(0, 88), LineEnd::LF, false},
        {"yoko\n26 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \ntate\n61 62 63 00 00 00 00 00 0ade\n\n",
         LineEnd::LF, false}, // lowercase: the typed path's
        {"yoko\n26 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \ntate\n61 62 63 00 00 00 00 00 0AG0\n\n",
         LineEnd::LF, false},
    };
    for (const auto& c : cases) {
        BlockSums sums{};
        BlockSums plain{};
        const bool exact = read_exact(c.record.data(), c.record.size(), c.end, sums);
        EXPECT_EQ(exact, c.exact) << c.record;
        EXPECT_EQ(exact, reference_read_record(c.record, c.end, plain) == 0) << c.record;
        if (exact) {
            EXPECT_EQ(sums, plain);
            EXPECT_EQ(sums, reference_sums(Block{'a', 'b', 'c'}));
        }
    }
    EXPECT_EQ(crlf(ABC),
              std::string(with_cr_lf(format_block_report(Block{'a', 'b', 'c'})).data(), CR_LF_RECORD_SIZE));
}

// Reports as people type them read as the report quorvil wrote; what is
// not a report is named by its line in the text as typed, and the first
// column there that does not fit.
TEST(StoredReport, TypedReports)
{
    const std::string rows = "26" + ZEROS_ROW;
    const std::string columns = "61 62 63 00 00 00 00 00";
    const std::string typed = "yoko\n" + rows + "\ntate\n" + columns + " 0ADE\n";
    const struct {
        std::string text;
        std::size_t blocks;
        Record end;
        long long line;
        long long column = 0;
    } cases[] = {
        {ABC + ABC, 2, Record::END, 0},
        {crlf(ABC), 1, Record::END, 0},
        {"YOKO\n" + rows + "\nTate\n61 62 63 00 00 00 00 00 0ade\n", 1, Record::END, 0}, // either case
        {typed + typed + typed, 3, Record::END, 0},                                      // no empty lines
        {"  yoko \n\t26 " + ZEROS_ROW + "\t\n tate\n" + columns + "\t  0ADE  \n\n\n", 1, Record::END, 0},
        {"\n\n" + typed + " \n\t\n" + typed, 2, Record::END, 0}, // blank lines before and between
        {"yoko\r\n" + rows + "\ntate\r\n" + columns + " 0ADE\r\n\n", 1, Record::END, 0}, // mixed line ends
        {"yoko\n" + rows + "\ntate\n" + columns + " 0ADE", 1, Record::END, 0},           // no last line end
        {"", 0, Record::END, 0},
        {"cannot open x\n", 0, Record::BAD, 1, 1},
        {ABC.substr(0, 30), 0, Record::BAD, 2, 26},                // cut inside the row sums
        {ABC.substr(0, 59), 0, Record::BAD, 4, 1},                 // cut after "tate"
        {ABC + ABC.substr(0, 5), 1, Record::BAD, 7, 1},            // a block cut after its label
        {"yoko\n" + rows.substr(3) + "\n", 0, Record::BAD, 2, 45}, // 15 row values
        {"yoko\n" + rows + "\ntate\n" + columns + "0ADE\n", 0, Record::BAD, 4, 24}, // a column of four digits
        {"yoko\n" + rows + "\ntate\n" + columns + " 0AD\n", 0, Record::BAD, 4, 28},
        {"yoko\n" + rows + "\ntate\n" + columns + " 0ADE 00\n", 0, Record::BAD, 4, 30},
        {"yoko\nG6" + ZEROS_ROW + "\n", 0, Record::BAD, 3, 1}, // G an unreadable digit; cut after the rows
        {"yoko\n26 O0" + ZEROS_ROW.substr(6) + "\n", 0, Record::BAD, 2, 45}, // 15 values, one with an O
        {"yoko\n26 O00" + ZEROS_ROW.substr(3) + "\n", 0, Record::BAD, 2, 4}, // O in a word too long
        {" YOKE\n", 0, Record::BAD, 1, 5},
        {"yoko\n\t2" + ZEROS_ROW + "\n", 0, Record::BAD, 2, 3},
        {"yoko\n\n" + rows + "\n", 0, Record::BAD, 2, 1}, // an empty line inside a block
        {"yoko\r" + rows + "\n", 0, Record::BAD, 1, 5},   // a CR that ends no line
        {ABC + "\nhello\n", 1, Record::BAD, 7, 1},
    };
    const BlockSums abc = reference_sums(Block{'a', 'b', 'c'});
    for (const auto& c : cases) {
        const Read read = read_all(c.text);
        EXPECT_EQ(read.blocks.size(), c.blocks) << c.text;
        EXPECT_EQ(read.end, c.end) << c.text;
        EXPECT_EQ(read.line, c.line) << c.text;
        EXPECT_EQ(read.column, c.column) << c.text;
        for (const BlockSums& sums : read.blocks) {
            EXPECT_EQ(sums, abc) << c.text;
        }
    }
}

namespace {

// Code points as UTF-8, and as UTF-16 in either byte order with its mark.
std::string utf8_of(const std::u32string& text)
{
    std::string out;
    for (const char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                    static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

std::string utf16_of(const std::u32string& text, bool little)
{
    std::string out;
    const auto put = [&](unsigned unit) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        out += little ? std::string{low, high} : std::string{high, low};
    };
    put(0xFEFF);
    for (const char32_t c : text) {
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
}

// Everything the input gives of a stream, taken `step` bytes at a time.
std::string read_input(const std::string& bytes, std::size_t step)
{
    std::FILE* const stream = stream_of(bytes);
    static Input in;
    in = Input{};
    in.stream = stream;
    std::string text;
    for (fill(in, step); in.at < in.filled; fill(in, step)) {
        const std::size_t n = std::min(step, in.filled - in.at);
        text.append(in.buffer.data() + in.at, n);
        in.at += n;
    }
    std::fclose(stream);
    return text;
}

} // namespace

TEST(Input, TextAsEditorsSaveIt)
{
    // Long enough to cross the raw bytes' end many times, with characters
    // of every UTF-8 length, a pair of UTF-16 units among them.
    std::u32string long_text;
    for (std::size_t k = 0; long_text.size() < 60000; ++k) {
        long_text += U"0000: 7F 45 \uFF10\uFF21 \u00E9 \U0001F600\n";
        long_text += static_cast<char32_t>('0' + k % 10);
    }
    const std::string cut_pair = utf16_of(U"A\U0001F600", true);
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"\xEF\xBB\xBFyoko\n", "yoko\n"},
        {"\xEF\xBB\xBF", ""},
        {"\xEF\xBBx", "\xEF\xBBx"}, // not a mark: kept
        {"\xEF\xBB\xBF\xEF\xBB\xBF"
         "1",
         "\xEF\xBB\xBF"
         "1"}, // one mark only
        {"", ""},
        {"1", "1"},
        {"\xFF", "\xFF"},
        {utf16_of(U"yoko\r\n26", true), "yoko\r\n26"},
        {utf16_of(U"yoko\r\n26", false), "yoko\r\n26"},
        {utf16_of(long_text, true), utf8_of(long_text)},
        {utf16_of(long_text, false), utf8_of(long_text)},
        {cut_pair.substr(0, cut_pair.size() - 2), "A\uFFFD"}, // a pair's first half, then the end
        {utf16_of(U"A", true) + std::string("\x00\xDC", 2) + "B" + std::string(1, '\0'),
         "A\uFFFDB"},                              // a second half alone
        {utf16_of(U"AB", true) + "C", "AB\uFFFD"}, // an odd byte at the end
        {"\xFF\xFE", ""},
    };
    for (const auto& c : cases) {
        for (const std::size_t step : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, BUFFER_SIZE}) {
            EXPECT_EQ(read_input(c.bytes, step), c.text) << c.bytes.substr(0, 40) << " by " << step;
        }
    }
}

// Lines of `per` bytes from address `from`, each written as `head` has it.
std::string lines_of(const char* head, std::size_t per, std::size_t count, unsigned from = 0)
{
    std::string text;
    for (std::size_t k = 0; k < count; ++k) {
        char address[32];
        std::snprintf(address, sizeof address, head, from + static_cast<unsigned>(k * per));
        text += address;
        for (std::size_t b = 0; b < per; ++b) {
            text += b == 0 ? "7F" : " 45";
        }
        text += "\n";
    }
    return text;
}

TEST(Addresses, RecognisedFromTheLinesTogether)
{
    std::string slipped = lines_of("%04X ", 8, 10);
    slipped.replace(slipped.find("0018"), 4, "0081"); // one address typed wrong
    const struct {
        std::string text;
        std::size_t width;
    } cases[] = {
        {lines_of("%04X: ", 8, 10), 4},
        {lines_of("%04X ", 8, 10), 4},
        {lines_of("$%04x ", 16, 10, 0xC000), 4},
        {lines_of("&%06X-", 8, 10), 6},
        {lines_of(">%08X  ", 8, 10), 8},
        {"# page 3\n\n" + lines_of("%04X ", 8, 4), 4}, // comments and empty lines are no lines
        {slipped, 4},
        {lines_of("%04X ", 8, 3), 0},                // too few steps to be sure
        {lines_of("", 8, 10), 0},                    // no addresses
        {lines_of("%02X ", 8, 10), 0},               // two digits are a byte
        {lines_of("%04X ", 8, 10).substr(0, 20), 0}, // a line cut by the look
        {"7F45 4C46 0201 0100\n0000 0000 0000 0000\n0000 0000 0000 0000\n0000 0000 0000 0000\n", 0},
        // Only the first 32 lines are looked at: words of data after them
        // that step by nothing do not outvote them.
        {lines_of("%04X ", 8, 32) + lines_of("1234 ", 8, 40), 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(recognise_addresses(c.text.data(), c.text.size()), c.width) << c.text;
    }
    const struct {
        std::string line;
        std::size_t width;
        std::size_t chars;
        long long value;
    } lines[] = {
        {"0210: 7F", 4, 5, 0x210},   {" $c000 7F", 4, 6, 0xC000}, {"O21O 7F", 4, 4, -1},
        {"7F 45", 4, 0, -1},         {"0210-7F", 4, 5, 0x210},    {"00000210 7F", 4, 8, 0x210},
        {"10000 7F", 4, 5, 0x10000}, {"O1000 7F", 4, 0, -1},      {"000000210 7F", 4, 0, -1},
    };
    for (const auto& l : lines) {
        const LineAddress a = address_at(l.line.data(), l.line.size(), l.width);
        EXPECT_EQ(a.chars, l.chars) << l.line;
        EXPECT_EQ(a.value, l.value) << l.line;
    }
}

TEST(Addresses, GapsWhereALineIsLeftOutOrTypedTwice)
{
    static Addresses a;
    // 8 a line from 0x100: 0x118 left out, 0x130 typed twice, 0x150 typed 0x105.
    const long long typed[] = {0x100, 0x108, 0x110, 0x120, 0x128, 0x130,
                               0x130, 0x138, 0x140, 0x148, 0x105, 0x158};
    for (std::size_t k = 0; k < std::size(typed); ++k) {
        note_address(a, typed[k], static_cast<long long>(16 * k));
    }
    EXPECT_EQ(a.base, 0x100);
    const LineGap lost = gap_in(a, 0, 100, 8);
    ASSERT_TRUE(lost.found);
    EXPECT_EQ(lost.at, 24);
    EXPECT_EQ(lost.address, 0x118);
    const LineGap twice = gap_in(a, 0, 100, -8);
    ASSERT_TRUE(twice.found);
    EXPECT_EQ(twice.at, 48);
    EXPECT_EQ(twice.address, 0x130);
    EXPECT_FALSE(gap_in(a, 25, 47, 8).found);    // none in the range
    EXPECT_TRUE(gap_in(a, 80, 80, -0x4B).found); // an address typed wrong: two gaps that cancel
    EXPECT_TRUE(gap_in(a, 88, 88, 0x4B).found);
    note_address(a, 0x168, 192); // 0x160 left out: two gaps of 8 now
    EXPECT_FALSE(gap_in(a, 0, 200, 8).found);
    EXPECT_TRUE(gap_in(a, 90, 200, 8).found);

    // A digit left out on the line at 0x168 (its 15 digits end at digit
    // 207), then a line: half a byte off, which only the digits say.
    const std::size_t kept = a.gap_count;
    note_address(a, 0x170, 207);
    EXPECT_EQ(a.gap_count, kept + 1);
    EXPECT_EQ(a.gaps[kept % GAPS].gap, 1);
    EXPECT_FALSE(gap_in(a, 100, 110, 0).found);
    // Paired anew with the digit put in, the digits from 200 on move one
    // on: the next line's address is as its digits say.
    shift_addresses(a, 200, 1);
    EXPECT_EQ(a.last_digit, 208);
    note_address(a, 0x178, 224);
    EXPECT_EQ(a.gap_count, kept + 1);
}

TEST(Hints, WhatATextLooksLike)
{
    const std::string line = "0000: 7F 45 4C 46 02 01 01 00\n";
    std::string lines;
    for (int k = 0; k < 4; ++k) {
        lines += line;
    }
    const struct {
        std::string text;
        Looks looks;
    } cases[] = {
        {ABC, Looks::REPORT},
        {"\n  YOKO\n", Looks::REPORT},
        {lines, Looks::LISTING},
        {"$0000 7f454c46020101000000000000000000\n# page 3\n>0010 0300 3e00 0100 0000\n", Looks::LISTING},
        {std::string(lines).replace(7, 1, "O"), Looks::LISTING}, // one O read for a 0 in 80 digits
        {std::string(lines).replace(7, 2, "Ol"), Looks::OTHER},  // two are too many to be sure
        {"7F 45 4C 46 02 01 01 00\n", Looks::OTHER},             // too few digits to tell
        {"cannot open x\n", Looks::OTHER},
        {std::string("\x7F"
                     "ELF\x02\x01\x01",
                     7) +
             std::string(64, '\0'),
         Looks::OTHER},
        {"", Looks::OTHER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(looks_like(c.text.data(), c.text.size()), c.looks) << c.text;
    }
}

// A report's digits that could not be read: where each stands, what stands
// there, and the values of the rest.
TEST(StoredReport, UnreadableDigits)
{
    const std::string rows = ZEROS_ROW.substr(1);
    const auto record = [&](const std::string& row_values, const std::string& tail) {
        return "yoko\n" + row_values + "\ntate\n" + tail + "\n";
    };
    const std::string columns = "61 62 63 00 00 00 00 00 ";
    const struct {
        std::string text;
        std::uint64_t mask;
        std::size_t digit; // one of them, and what stands there
        std::string stands;
    } cases[] = {
        {record("2O " + rows, columns + "0ADE"), 0x2, 1, "O"},
        {record("l6 " + rows, columns + "0A?E"), 0x1 | std::uint64_t{1} << 50, 50, "?"},
        {record("26 " + rows, "\xEF\xBC\x96"
                              "1 62 63 00 00 00 00 00 0ADE"),
         std::uint64_t{1} << 32, 32, "\xEF\xBC\x96"}, // a fullwidth 6, typed by an input method
        {record("26 " + rows, "61 62 63 00 00 00 00 0\x80 0ADE"), std::uint64_t{1} << 47, 47, "\x80"},
        {record("OO " + rows, columns + "0ADE"), 0x3, 0, "O"},
    };
    const BlockSums abc = reference_sums(Block{'a', 'b', 'c'});
    for (const auto& c : cases) {
        std::FILE* const stream = stream_of(c.text + ABC);
        static ReportReader reader;
        start_reading(reader, stream);
        BlockSums sums{};
        ASSERT_EQ(read_record(reader, sums), Record::READ) << c.text;
        EXPECT_EQ(reader.unread.mask, c.mask) << c.text;
        EXPECT_EQ(std::string(reader.unread.text[c.digit].data()), c.stands) << c.text;
        for (std::size_t r = 1; r < BLOCK_ROWS; ++r) {
            EXPECT_EQ(sums.rows[r], abc.rows[r]) << c.text;
        }
        for (std::size_t k = 1; k < BLOCK_COLUMNS; ++k) {
            if ((c.mask & value_digits(FIRST_COLUMN_DIGIT + 2 * k)) == 0) {
                EXPECT_EQ(sums.columns[k], abc.columns[k]) << c.text;
            }
        }
        // The next record, read exactly, has none.
        ASSERT_EQ(read_record(reader, sums), Record::READ);
        EXPECT_EQ(reader.unread.mask, 0U);
        EXPECT_EQ(sums, abc);
        std::fclose(stream);
    }
    EXPECT_EQ(value_digits(5), std::uint64_t{0x30});
    EXPECT_EQ(value_digits(FIRST_CRC_DIGIT + 3), std::uint64_t{0xF} << FIRST_CRC_DIGIT);
}

// A listing's text to bytes: what each character class is, and where each
// byte was typed ("line:column text unread", one a byte), read a byte a
// call, so that the reader keeps its place between calls.
TEST(Listing, CharactersAndPlaces)
{
    const struct {
        std::string text;
        std::string bytes;
        std::string origins;
    } cases[] = {
        {"4D5A\n", "\x4D\x5A", "1:1 4D 0, 1:3 5A 0"},
        {"4 D5 A,\t4d\r\n", "\x4D\x5A\x4D", "1:1 4D 0, 1:4 5A 0, 1:9 4d 0"},
        {"\xEF\xBB\xBF"
         "0080: 4D\n00000080:5A\n",
         "\x4D\x5A", "1:7 4D 0, 2:10 5A 0"},
        {"O08O: 9O\n", "\x90", "1:7 9O 1"}, // a misread address, a misread digit
        {"4D 5A 90 00 03: 00\n", std::string("\x4D\x5A\x90\x00\x03\x00", 6), // the colon is too far in
         "1:1 4D 0, 1:4 5A 0, 1:7 90 0, 1:10 00 0, 1:13 03 0, 1:15 :0 2"},
        {"# 0000: 4D\n5A # 12\n", "\x5A", "2:1 5A 0"},
        {"\xEF\xBC\x94\xEF\xBC\xA4\xE3\x80\x80\xEF\xBD\x86 1\n", "\x4D\xF1",
         "1:1 \xEF\xBC\x94\xEF\xBC\xA4 0, 1:4 \xEF\xBD\x86"
         "1 0"},                                                          // fullwidth 4, D, space, f
        {"\xC3\xA9\xE9 0\n", std::string(1, '\0'), "1:1 \xC3\xA9\xE9 3"}, // a character, a byte not UTF-8
        {"12 3", "\x12", "1:1 12 0"},                                     // a digit left over is no byte
        {"", "", ""},
    };
    for (const auto& c : cases) {
        std::FILE* const stream = stream_of(c.text);
        static ListingReader reader;
        start_listing(reader, stream);
        std::string bytes;
        std::string origins;
        static TypedPlaces places;
        std::uint8_t byte = 0;
        // One byte at a time: the reader keeps its place between calls.
        while (read_listing(reader, &byte, places, 0, 1) == 1) {
            const Origin o = origin_at(places, 0, byte);
            bytes += static_cast<char>(byte);
            origins += (origins.empty() ? "" : ", ") + std::to_string(o.line) + ":" +
                       std::to_string(o.column) + " " + std::string(o.text.data(), o.size) + " " +
                       std::to_string(o.unread);
        }
        std::fclose(stream);
        EXPECT_EQ(bytes, c.bytes) << c.text;
        EXPECT_EQ(origins, c.origins) << c.text;
    }
}

// A listing reader and what it reads into: too large for the stack.
struct Typed {
    ListingReader reader;
    TypedPlaces places;
    std::array<std::uint8_t, PLACES> bytes;
};

// The reader started on `text` (its stream to be closed by the caller).
Typed& typed_from(const std::string& text)
{
    static Typed typed;
    start_listing(typed.reader, stream_of(text));
    return typed;
}

// A listing's text as the reader gives it: each byte and where it was
// typed ("line:column-line:column text unread"), read into slots from
// `first` on, `room` bytes a call.
std::vector<std::string> read_all(const std::string& text, std::size_t first, std::size_t room)
{
    auto& [reader, places, bytes] = typed_from(text);
    std::vector<std::string> read;
    for (std::size_t n = 0;; first = place_slot(static_cast<long long>(first + n))) {
        n = read_listing(reader, &bytes[first], places, first, std::min(room, PLACES - first));
        if (n == 0) {
            break;
        }
        for (std::size_t i = first; i < first + n; ++i) {
            const Origin o = origin_at(places, i, bytes[i]);
            read.push_back(std::to_string(bytes[i]) + " " + std::to_string(o.line) + ":" +
                           std::to_string(o.column) + "-" + std::to_string(o.low_line) + ":" +
                           std::to_string(o.low_column) + " " + std::string(o.text.data(), o.size) + " " +
                           std::to_string(o.unread));
        }
    }
    std::fclose(reader.stream);
    read.push_back("end " + std::to_string(reader.end.line) + ":" + std::to_string(reader.end.column));
    return read;
}

// Lines typed alike are read a run at a time, and the bytes and places
// come out as read a character at a time: each format below, with slips
// that end a run (a digit not read, a line of another length or case, a
// comment, a digit alone), lines longer than a run, and the slots going
// round.
TEST(Listing, RunsReadAsCharacterByCharacter)
{
    std::mt19937 random(31);
    const struct {
        const char* byte; // the format of a byte
        std::size_t per_line;
        const char* line_end;
        bool address;
    } formats[] = {
        {"%02X ", 16, "\n", false},  {"%02x", 8, "\r\n", false}, {"%02X ", 8, "\n", true},
        {"%02x ", 300, "\n", false}, {"%02X", 24, "\r\n", true}, {"%02X  ", 5, "\n", false},
    };
    // A run after an address, then a line as long without one; lines
    // alike but for their case or a CR; an O or a NUL for a space after
    // the first eight bytes.
    std::vector<std::string> texts = {"0:  AB CD EF\n12 34 56\n",
                                      "ab cd ef 01\nAB CD EF 01\n",
                                      "AB CD EF 01\r\nAB CD EF 0123\n",
                                      "AB CD\nEF 01",
                                      "00 11 22 33 44 55 66 77 88 99Oaa bb\n",
                                      std::string("00 11 22 33 44 55 66 77 88 99\0aa bb\n", 36)};
    for (const auto& f : formats) {
        std::string text;
        for (std::size_t line = 0; line < 300; ++line) {
            if (f.address) {
                text += std::to_string(line * 16) + ": ";
            }
            const std::size_t count = random() % 9 == 0 ? random() % 40 : f.per_line;
            const bool lower = random() % 7 == 0;
            for (std::size_t b = 0; b < count; ++b) {
                char typed[8];
                std::snprintf(typed, sizeof typed, lower ? "%02x " : f.byte,
                              static_cast<unsigned>(random() % 256));
                text += typed;
            }
            while (random() % 4 != 0 && !text.empty() && text.back() == ' ') {
                text.pop_back(); // most lines end with their last digit
            }
            switch (random() % 12) {
            case 0:
                text[text.size() - 2] = 'O';
                break;
            case 1:
                text += "# a note";
                break;
            case 2:
                text += "7";
                break;
            case 3:
                text[text.size() / 2] = 'a';
                break;
            default:
                break;
            }
            text += f.line_end;
        }
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        const std::vector<std::string> one = read_all(text, 0, 1);
        EXPECT_EQ(read_all(text, 0, PLACES), one) << text;
        EXPECT_EQ(read_all(text, PLACES - 1000, PLACES), one) << text;
    }
}

// A byte of a run given another origin (a digit slip re-paired), or the
// bytes before one dropped and their slots read into: every other byte
// keeps its place.
TEST(Listing, RunsSplitWhereAByteChanges)
{
    std::string text;
    for (unsigned b = 0; b < 600; ++b) {
        char typed[4];
        std::snprintf(typed, sizeof typed, "%02x", (b * 37) % 256);
        text += std::string(typed) + (b % 15 == 14 ? "\n" : " ");
    }
    Typed& typed = typed_from(text);
    TypedPlaces& places = typed.places;
    const auto& bytes = typed.bytes;
    ASSERT_EQ(read_listing(typed.reader, typed.bytes.data(), places, 0, 600), 600U);
    std::fclose(typed.reader.stream);
    const auto origins = [&] {
        std::vector<std::string> all;
        for (std::size_t i = 0; i < 600; ++i) {
            const Origin o = origin_at(places, i, bytes[i]);
            all.push_back(std::to_string(o.line) + ":" + std::to_string(o.column) + "-" +
                          std::to_string(o.low_column) + " " + std::string(o.text.data(), o.size));
        }
        return all;
    };
    // Read as runs of four lines.
    for (std::size_t i = 0; i < 600; ++i) {
        ASSERT_EQ(places.flags[i], i % 60 == 0 ? RUN_FIRST : RUN) << i;
    }
    std::vector<std::string> before = origins();
    EXPECT_EQ(before[21], "2:19-20 09");
    Origin other;
    other.line = 99;
    other.column = 7;
    other.low_line = 99;
    other.low_column = 9;
    other.text = {'5', 'A', 'A'};
    other.size = 3;
    other.high_size = 1;
    for (const std::size_t at : {25U, 20U, 39U, 59U, 60U, 61U, 300U}) {
        start_run(places, at + 1);
        put_origin(places, at, other);
        before[at] = "99:7-9 5AA";
        EXPECT_EQ(origins(), before) << at;
    }
    // Dropped: the slots before 450 read into with bytes of no run.
    start_run(places, 450);
    for (std::size_t i = 440; i < 450; ++i) {
        places.flags[i] = 0;
    }
    const std::vector<std::string> after = origins();
    EXPECT_TRUE(std::equal(after.begin() + 450, after.end(), before.begin() + 450));
}

// A block's digits that could not be read, read as 0, from its report:
// where the sums settle them they are its own, and never other values.
TEST(Listing, UnreadDigitsFromTheSums)
{
    std::mt19937 random(24);
    const Bytes original = random_bytes(random, BLOCK_SIZE);
    const Block block = block_of(original, 0);
    const BlockSums stored = reference_sums(block);
    // Each case: the unread digits, as byte and mask; whether they settle.
    const struct {
        std::vector<std::pair<std::size_t, std::uint8_t>> unread;
        bool settled;
    } cases[] = {
        {{{5, UNREAD_HIGH}}, true},
        {{{127, UNREAD_LOW}}, true},
        {{{40, UNREAD_HIGH | UNREAD_LOW}}, true},                        // one row and column, both digits
        {{{16, UNREAD_LOW}, {17, UNREAD_HIGH}, {25, UNREAD_LOW}}, true}, // two in a row and two in a column
        {{{0, 3}, {9, 3}, {18, 3}, {27, 3}}, true},                      // whole bytes, each alone in its row
        {{{0, 3}, {1, 3}, {8, 3}, {9, 3}}, true},                        // a square of them: the CRC decides
        {{{0, 3}, {1, 3}, {2, 3}, {8, 3}, {9, 3}, {10, 3}, {16, 3}, {17, 3}, {18, 3}},
         false}, // too many to try
    };
    for (const auto& c : cases) {
        Block read = block;
        std::array<std::uint8_t, BLOCK_SIZE> unread{};
        for (const auto& [at, mask] : c.unread) {
            unread[at] = mask;
            read[at] = static_cast<std::uint8_t>(
                read[at] & ~((mask & UNREAD_HIGH ? 0xF0 : 0) | (mask & UNREAD_LOW ? 0x0F : 0)));
        }
        EXPECT_EQ(solve_unread(read, unread, BLOCK_SIZE, stored), c.settled) << c.unread.size();
        if (c.settled) {
            EXPECT_EQ(read, block);
        }
    }
    // A byte typed wrong besides: no values give the report.
    Block read = block;
    std::array<std::uint8_t, BLOCK_SIZE> unread{};
    unread[3] = UNREAD_LOW;
    read[3] &= 0xF0;
    read[90] ^= 0x21;
    EXPECT_FALSE(solve_unread(read, unread, BLOCK_SIZE, stored));
    // Digits at random places: what settles is the block's own.
    for (int trial = 0; trial < 300; ++trial) {
        Block read = block;
        std::array<std::uint8_t, BLOCK_SIZE> unread{};
        for (int k = 0; k < 1 + trial % 8; ++k) {
            const std::size_t at = random() % BLOCK_SIZE;
            const auto mask = static_cast<std::uint8_t>(1 + random() % 3);
            unread[at] |= mask;
            read[at] = static_cast<std::uint8_t>(
                read[at] & ~((unread[at] & UNREAD_HIGH ? 0xF0 : 0) | (unread[at] & UNREAD_LOW ? 0x0F : 0)));
        }
        if (solve_unread(read, unread, BLOCK_SIZE, stored)) {
            EXPECT_EQ(read, block) << trial;
        }
    }
}

// Every single changed byte, at every place, is located with its old
// value; a byte of the zero filling is not one of FILE's.
TEST(Explain, OneChangedByte)
{
    std::mt19937 random(16);
    const Bytes original = random_bytes(random, BLOCK_SIZE);
    const Block block = block_of(original, 0);
    const BlockSums stored = reference_sums(block);
    for (std::size_t at = 0; at < BLOCK_SIZE; ++at) {
        for (const unsigned flip : {0x01u, 0x80u, 0x5Au}) {
            Block copy = block;
            copy[at] = static_cast<std::uint8_t>(copy[at] ^ flip);
            const Explanation e = explain_changes(copy, BLOCK_SIZE, 1000, stored, sum_block(copy));
            ASSERT_EQ(e.kind, Kind::BYTES) << at;
            ASSERT_EQ(e.changed, 1u);
            EXPECT_EQ(e.changes[0].at, 1000 + static_cast<long long>(at));
            EXPECT_EQ(e.changes[0].was, block[at]);
            EXPECT_EQ(explain_changes(copy, at, 1000, stored, sum_block(copy)).kind, Kind::DIFFERS);
        }
    }
}

// Two changed bytes anywhere, and neighbours swapped: given back or left,
// never wrong.
TEST(Explain, TwoChangedBytes)
{
    std::mt19937 random(2);
    // Anywhere, swapped neighbours, and one column's two bytes that change
    // by as much either way, so that its sum stays.
    const struct {
        bool neighbours;
        bool one_column;
        int at_least; // of 2000
    } cases[] = {{false, false, 1999}, {true, false, 1990}, {false, true, 1990}};
    for (const auto& c : cases) {
        int given_back = 0;
        for (int trial = 0; trial < 2000; ++trial) {
            const Bytes original = random_bytes(random, BLOCK_SIZE);
            Bytes copy = original;
            const std::size_t first = random() % (BLOCK_SIZE - 1);
            std::size_t second = c.neighbours ? first + 1 : random() % BLOCK_SIZE;
            if (c.neighbours) {
                std::swap(copy[first], copy[second]);
            } else if (c.one_column) {
                const auto by = static_cast<std::uint8_t>(1 + random() % 255);
                second = (first + BLOCK_COLUMNS * (1 + random() % (BLOCK_ROWS - 1))) % BLOCK_SIZE;
                copy[first] = static_cast<std::uint8_t>(copy[first] + by);
                copy[second] = static_cast<std::uint8_t>(copy[second] - by);
            } else {
                second = second == first ? first + 1 : second;
                copy[first] = static_cast<std::uint8_t>(copy[first] + 1 + random() % 255);
                copy[second] = static_cast<std::uint8_t>(copy[second] + 1 + random() % 255);
            }
            if (copy == original) {
                ++given_back;
                continue;
            }
            const Block block = block_of(copy, 0);
            const Explanation e = explain_changes(block, BLOCK_SIZE, 0, reference_sums(block_of(original, 0)),
                                                  sum_block(block));
            if (e.kind == Kind::BYTES) {
                ASSERT_EQ(undone(copy, e), original) << trial;
                ++given_back;
            }
        }
        EXPECT_GE(given_back, c.at_least) << c.neighbours << c.one_column;
    }
}

// One value of the report alone differs: a slip in the report, not in FILE.
TEST(Explain, ReportValues)
{
    std::mt19937 random(6);
    const Block block = block_of(random_bytes(random, BLOCK_SIZE), 0);
    const BlockSums now = sum_block(block);
    BlockSums row = now;
    row.rows[3] = static_cast<std::uint8_t>(row.rows[3] ^ 0x40);
    BlockSums column = now;
    column.columns[7] = static_cast<std::uint8_t>(column.columns[7] + 1);
    BlockSums crc = now;
    crc.crc = static_cast<std::uint16_t>(crc.crc ^ 1);
    BlockSums two = row;
    two.columns = column.columns;
    const struct {
        BlockSums stored;
        Kind kind;
        bool is_row;
        std::size_t index;
    } cases[] = {
        {row, Kind::REPORT_VALUE, true, 3},
        {column, Kind::REPORT_VALUE, false, 7},
        {crc, Kind::DIFFERS, false, 0},
        {two, Kind::DIFFERS, false, 0}, // a row and a column, and no CRC to confirm a byte
    };
    for (const auto& c : cases) {
        const Explanation e = explain_changes(block, BLOCK_SIZE, 0, c.stored, now);
        EXPECT_EQ(e.kind, c.kind);
        if (c.kind == Kind::REPORT_VALUE) {
            EXPECT_EQ(e.is_row, c.is_row);
            EXPECT_EQ(e.index, c.index);
            EXPECT_EQ(e.file, c.is_row ? now.rows[c.index] : now.columns[c.index]);
        }
    }
    EXPECT_TRUE(explain_changes(block, BLOCK_SIZE, 0, crc, now).crc);
}

// Runs of extra and missing bytes at every place of a block, and across
// its end: the explanation gives the original back. The places come from
// a search that rules most out by the rows; every place the plain search
// finds must be among them.
TEST(Explain, RunsAtEveryPlace)
{
    std::mt19937 random(128);
    const auto [original, report] = random_original(128, 24);
    constexpr std::size_t BLOCK = 3;
    const long long at = BLOCK * BLOCK_SIZE;
    const struct {
        long long extra;
        long long missing;
    } cases[] = {{1, 0}, {2, 0}, {8, 0}, {9, 0}, {128, 0}, {300, 0}, {0, 1}, {0, 3}, {0, 8}};
    for (const auto& c : cases) {
        for (std::size_t t = 0; t < BLOCK_SIZE; ++t) {
            const Bytes copy =
                slipped(original, random, at + static_cast<long long>(t), c.extra > 0 ? c.extra : -c.missing);
            const FileView file = view_of(copy);
            const Explanation e =
                c.extra > 0 ? explain_extra(file, at, BLOCK, c.extra, run_of(report, BLOCK), false)
                            : explain_missing(file, at, BLOCK, c.missing, run_of(report, BLOCK), false);
            ASSERT_EQ(e.kind, c.extra > 0 ? Kind::EXTRA : Kind::MISSING)
                << c.extra << " " << c.missing << " " << t;
            EXPECT_EQ(e.known, c.missing > 0);
            EXPECT_EQ(undone(copy, e), original) << c.extra << " " << c.missing << " " << t;
            if (c.extra > 0) {
                // The plain search: every place whose block without the run
                // has the report's values.
                long long first = -1;
                for (long long p = 0; p < static_cast<long long>(BLOCK_SIZE); ++p) {
                    Block without;
                    for (long long i = 0; i < static_cast<long long>(BLOCK_SIZE); ++i) {
                        without[static_cast<std::size_t>(i)] =
                            copy[static_cast<std::size_t>(at + i + (i < p ? 0 : c.extra))];
                    }
                    if (first < 0 && reference_sums(without) == report[BLOCK]) {
                        first = p;
                    }
                }
                EXPECT_EQ(e.at, at + first) << c.extra << " " << t;
            }
        }
    }
}

TEST(Explain, LongMissingRuns)
{
    const auto [original, report] = random_original(7, 64);
    constexpr std::size_t BLOCK = 2;
    const long long at = BLOCK * BLOCK_SIZE;
    const struct {
        long long place; // in the block
        long long length;
        Kind kind;
    } cases[] = {
        {0, 128, Kind::MISSING},        // a whole block, at its boundary
        {0, MAX_SHIFT, Kind::MISSING},  // 32 of them
        {124, 10, Kind::MISSING},       // 4 and 6 bytes, each block's from its columns
        {50, 300, Kind::MISSING_RANGE}, // the place known to within the rows its ends fall in
        {20, 4000, Kind::MISSING_RANGE},
    };
    for (const auto& c : cases) {
        Bytes copy = original;
        const auto place = copy.begin() + static_cast<std::ptrdiff_t>(at + c.place);
        copy.erase(place, place + c.length);
        const Explanation e =
            explain_missing(view_of(copy), at, BLOCK, c.length, run_of(report, BLOCK), false);
        ASSERT_EQ(e.kind, c.kind) << c.place << " " << c.length;
        EXPECT_EQ(e.length, c.length);
        EXPECT_EQ(e.known, c.length <= 16);
        if (c.kind == Kind::MISSING) {
            EXPECT_EQ(e.at, at + c.place);
        } else {
            EXPECT_LE(e.at, at + c.place);
            EXPECT_GE(e.last, at + c.place);
            EXPECT_LT(e.last - e.at, static_cast<long long>(2 * BLOCK_COLUMNS)); // a row at each end
        }
    }
}

// Where the blocks after allow some alignments only, the block's own
// report chooses among them and no other.
TEST(Explain, ByBlockAmongTheShiftsGiven)
{
    std::mt19937 random(9);
    const auto [original, report] = random_original(9, 8);
    constexpr std::size_t BLOCK = 3;
    const long long at = BLOCK * BLOCK_SIZE;
    const struct {
        long long shift; // the slip: extra bytes, or missing ones when negative
        std::vector<long long> allowed;
        Kind kind;
    } cases[] = {
        {-3, {-3}, Kind::MISSING}, {-3, {-2, 5}, Kind::DIFFERS}, {-3, {3}, Kind::DIFFERS},
        {5, {5}, Kind::EXTRA},     {5, {-5, 4}, Kind::DIFFERS},
    };
    for (const auto& c : cases) {
        const Bytes copy = slipped(original, random, at + 40, c.shift);
        const FileView file = view_of(copy);
        const StoredBlocks stored = run_of(report, BLOCK);
        EXPECT_EQ(explain_by_block(file, at, BLOCK, stored, nullptr, 0).kind,
                  c.shift > 0 ? Kind::EXTRA : Kind::MISSING);
        const Explanation e = explain_by_block(file, at, BLOCK, stored, c.allowed.data(), c.allowed.size());
        EXPECT_EQ(e.kind, c.kind) << c.shift << " among " << c.allowed.size();
        if (e.kind != Kind::DIFFERS) {
            EXPECT_EQ(e.length, std::llabs(c.shift));
            EXPECT_EQ(e.at, at + 40);
        }
    }
}

// The column sums of every window of FILE, one byte on at a time, equal
// the window's own.
TEST(Follow, RollingColumnSums)
{
    std::mt19937 random(9);
    Bytes data = random_bytes(random, 4096);
    std::fill(data.begin() + 1000, data.begin() + 1500, std::uint8_t{0});
    std::uint64_t columns = column_word(reference_sums(block_of(data, 0)).columns);
    for (std::size_t p = 0; p + BLOCK_SIZE < data.size(); ++p) {
        ASSERT_EQ(columns, column_word(reference_sums(block_of(data, p)).columns)) << p;
        columns = roll(columns, data[p], data[p + BLOCK_SIZE]);
    }
}

// A window that holds FILE's bytes 100..199 of a file of 300: bytes it no
// longer holds, or does not hold yet, read as zero like the filling after
// FILE's end, never as memory outside it; a block across its start is
// whole where it holds the bytes.
TEST(Window, BytesOutsideItReadAsZero)
{
    Bytes held(100);
    for (std::size_t i = 0; i < held.size(); ++i) {
        held[i] = static_cast<std::uint8_t>(i + 1);
    }
    const FileView window{held.data(), 100, 200, 300};
    const struct {
        long long at;
        std::uint8_t byte;
    } rows[] = {{-5, 0}, {0, 0}, {99, 0}, {100, 1}, {150, 51}, {199, 100}, {200, 0}, {400, 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(file_byte(window, row.at), row.byte) << row.at;
    }
    const Block block = file_block(window, 90);
    EXPECT_EQ(block[9], 0);
    EXPECT_EQ(block[10], 1);
    EXPECT_EQ(block[109], 100);
    EXPECT_EQ(block[110], 0);
}

// A run undone wrongly leaves OUTPUT's block 0 as FILE's bytes 5..132; FILE
// has the block right where it stands, which the repair writes instead
// where the window still holds it and its values are the report's.
TEST(Repair, KeepsABlockFileHasRightWhereItStands)
{
    const Original original = random_original(17, 2);
    static Repair repair;
    const struct {
        const char* name;
        long long base; // FILE's window starts here
        bool report_has_it;
        bool kept;
    } rows[] = {{"held", 0, true, true}, {"dropped", 1, true, false}, {"other values", 0, false, false}};
    for (const auto& row : rows) {
        repair = Repair{};
        repair.out = std::tmpfile();
        ASSERT_NE(repair.out, nullptr);
        const auto size = static_cast<long long>(original.bytes.size());
        const FileView file{original.bytes.data() + row.base, row.base, size, size};
        const BlockSums other = original.report[1];
        const BlockSums& stored = row.report_has_it ? original.report[0] : other;
        repair_verdict(repair, 0, false, &stored);
        Explanation run;
        run.kind = Kind::EXTRA;
        run.at = 0;
        run.length = 5;
        repair_undo(repair, file, run, StoredBlocks{&stored, 1, false}, 0);
        repair_copy(repair, file, BLOCK_SIZE + 5);
        EXPECT_EQ(repair.failed, row.kept ? 0 : 1) << row.name;
        std::rewind(repair.out);
        Bytes written(BLOCK_SIZE);
        ASSERT_EQ(std::fread(written.data(), 1, written.size(), repair.out), written.size());
        const long long from = row.kept ? 0 : 5;
        EXPECT_EQ(written, Bytes(original.bytes.begin() + from, original.bytes.begin() + from + BLOCK_SIZE))
            << row.name;
        std::fclose(repair.out);
    }
}
