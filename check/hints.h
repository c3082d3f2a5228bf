// SPDX-License-Identifier: MIT
#pragma once

// What a text file looks like from its first few KiB, so that a check that
// cannot be what the user meant (the names swapped, a listing read as
// bytes) can say what to do instead.

#include <cstddef>

enum class Looks { REPORT, LISTING, OTHER };

// `text`, decoded as the input decodes it: a report begins with its first
// label; a listing is hex digits, with what separates them and an
// address's marks, and at most one character in 50 of anything else (an
// O read for a 0).
Looks looks_like(const char* text, std::size_t size);

// The file named `name`, opened anew and its start read; OTHER where it
// cannot be read, and for standard input, which cannot be read twice.
Looks file_looks_like(const char* name);
