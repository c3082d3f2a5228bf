// SPDX-License-Identifier: MIT
#pragma once

// A text stream read through a buffer that a reader looks ahead in: the
// report, and a typed listing.

#include "check/buffers.h"

#include <array>
#include <cstddef>
#include <cstdio>

struct Input {
    std::FILE* stream = nullptr;
    std::array<char, BUFFER_SIZE> buffer{}; // a whole record, or a line's address, nearly always in it
    std::size_t at = 0;                     // the next byte to read
    std::size_t filled = 0;                 // bytes in the buffer
    bool ended = false;                     // the stream has nothing more
    bool failed = false;
};

// Makes `want` bytes readable from `at` on, or as many as the stream still
// has: moves what is left to the front and reads more behind it.
void fill(Input& in, std::size_t want);
