// SPDX-License-Identifier: MIT
#pragma once

// A text stream read through a buffer that a reader looks ahead in: the
// report, and a typed listing. Text is saved the way editors save it: a
// UTF-8 byte-order mark (Windows' Notepad writes one) is skipped, and
// UTF-16 with its byte-order mark, either byte order (Notepad's
// "Unicode"), is turned into UTF-8 as it is read, so that the readers see
// one encoding and count columns in characters as for any other text.

#include "check/buffers.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

enum class Encoding : std::uint8_t { UNSEEN, UTF8, UTF16_LE, UTF16_BE };

struct Input {
    std::FILE* stream = nullptr;
    std::array<char, BUFFER_SIZE> buffer{}; // a whole record, or a line's address, nearly always in it
    std::size_t at = 0;                     // the next byte to read
    std::size_t filled = 0;                 // bytes in the buffer
    bool ended = false;                     // the stream has nothing more
    bool failed = false;
    Encoding encoding = Encoding::UNSEEN;
    // UTF-16: the stream's bytes read but not yet in the buffer. A unit is
    // at most 3 bytes of UTF-8, so half a buffer of them always fits in
    // a buffer emptied by the reader.
    std::array<unsigned char, BUFFER_SIZE / 2> raw{};
    std::size_t raw_filled = 0;
    bool raw_ended = false;
};

// Makes `want` bytes readable from `at` on, or as many as the stream still
// has: moves what is left to the front and reads more behind it.
void fill(Input& in, std::size_t want);
