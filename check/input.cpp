// SPDX-License-Identifier: MIT
#include "check/input.h"

#include <cstring>

namespace {

// Reads what the stream gives into `to`: 0 at its end or where it failed.
std::size_t read_into(Input& in, void* to, std::size_t size)
{
    const std::size_t n = std::fread(to, 1, size, in.stream);
    if (n == 0) {
        in.failed = std::ferror(in.stream) != 0;
    }
    return n;
}

// Reads the stream's first three bytes, which are all a byte-order mark
// can be, and takes the mark off: UTF-16's third byte goes to the raw
// bytes. (stdio reads ahead for these small reads, so they cost nothing.)
void see_encoding(Input& in)
{
    while (in.filled < 3) {
        const std::size_t n = read_into(in, in.buffer.data() + in.filled, 3 - in.filled);
        if (n == 0) {
            break;
        }
        in.filled += n;
    }
    const auto* const b = reinterpret_cast<const unsigned char*>(in.buffer.data());
    in.encoding = Encoding::UTF8;
    if (in.filled == 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        in.filled = 0;
    } else if (in.filled >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        in.encoding = b[0] == 0xFF ? Encoding::UTF16_LE : Encoding::UTF16_BE;
        in.raw_filled = in.filled - 2;
        in.raw[0] = b[2];
        in.filled = 0;
    }
}

void put_utf8(Input& in, unsigned long code)
{
    auto* const out = reinterpret_cast<unsigned char*>(in.buffer.data() + in.filled);
    if (code < 0x80) {
        out[0] = static_cast<unsigned char>(code);
        in.filled += 1;
    } else if (code < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | code >> 6);
        out[1] = static_cast<unsigned char>(0x80 | (code & 0x3F));
        in.filled += 2;
    } else if (code < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | code >> 12);
        out[1] = static_cast<unsigned char>(0x80 | (code >> 6 & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (code & 0x3F));
        in.filled += 3;
    } else {
        out[0] = static_cast<unsigned char>(0xF0 | code >> 18);
        out[1] = static_cast<unsigned char>(0x80 | (code >> 12 & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (code >> 6 & 0x3F));
        out[3] = static_cast<unsigned char>(0x80 | (code & 0x3F));
        in.filled += 4;
    }
}

constexpr unsigned long REPLACEMENT = 0xFFFD; // a half of a surrogate pair alone, or an odd byte at the end

// Turns the raw UTF-16 bytes into UTF-8 behind the buffer's bytes, as
// many whole characters as fit; a pair cut by the read waits for its
// other half.
void decode_raw(Input& in)
{
    const bool le = in.encoding == Encoding::UTF16_LE;
    const auto unit = [&](std::size_t i) {
        return le ? static_cast<unsigned>(in.raw[i] | in.raw[i + 1] << 8u)
                  : static_cast<unsigned>(in.raw[i] << 8u | in.raw[i + 1]);
    };
    std::size_t i = 0;
    while (i + 2 <= in.raw_filled && in.buffer.size() - in.filled >= 4) {
        const unsigned u = unit(i);
        if (u >= 0xD800 && u < 0xDC00) {
            if (i + 4 > in.raw_filled && !in.raw_ended) {
                break;
            }
            const unsigned low = i + 4 <= in.raw_filled ? unit(i + 2) : 0;
            if (low >= 0xDC00 && low < 0xE000) {
                put_utf8(in, 0x10000 + ((u - 0xD800) << 10u) + (low - 0xDC00));
                i += 4;
                continue;
            }
            put_utf8(in, REPLACEMENT);
        } else {
            put_utf8(in, u >= 0xDC00 && u < 0xE000 ? REPLACEMENT : u);
        }
        i += 2;
    }
    if (in.raw_ended && in.raw_filled - i == 1 && in.buffer.size() - in.filled >= 3) {
        put_utf8(in, REPLACEMENT);
        i += 1;
    }
    std::memmove(in.raw.data(), in.raw.data() + i, in.raw_filled - i);
    in.raw_filled -= i;
}

// Adds to the buffer from the stream: false where nothing more comes now,
// with `ended` set where nothing more ever will (the buffer may instead
// have too little room left for a character).
bool read_more(Input& in)
{
    if (in.encoding == Encoding::UTF8) {
        const std::size_t n = read_into(in, in.buffer.data() + in.filled, in.buffer.size() - in.filled);
        in.filled += n;
        in.ended = n == 0;
        return n > 0;
    }
    const std::size_t before = in.filled;
    for (;;) {
        if (!in.raw_ended && in.raw_filled < in.raw.size()) {
            const std::size_t n = read_into(in, in.raw.data() + in.raw_filled, in.raw.size() - in.raw_filled);
            in.raw_filled += n;
            in.raw_ended = n == 0;
        }
        decode_raw(in);
        if (in.filled > before) {
            return true;
        }
        if (in.buffer.size() - in.filled < 4) {
            return false;
        }
        if (in.raw_ended) {
            in.ended = true;
            return false;
        }
    }
}

} // namespace

void fill(Input& in, std::size_t want)
{
    if (in.encoding == Encoding::UNSEEN) {
        see_encoding(in);
    }
    if (in.filled - in.at >= want || in.ended) {
        return;
    }
    if (in.at > 0) {
        std::memmove(in.buffer.data(), in.buffer.data() + in.at, in.filled - in.at);
        in.filled -= in.at;
        in.at = 0;
    }
    while (in.filled < want && !in.ended && read_more(in)) {
    }
}
