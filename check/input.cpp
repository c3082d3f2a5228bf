// SPDX-License-Identifier: MIT
#include "check/input.h"

#include <cstring>

void fill(Input& r, std::size_t want)
{
    if (r.filled - r.at >= want || r.ended) {
        return;
    }
    if (r.at > 0) {
        std::memmove(r.buffer.data(), r.buffer.data() + r.at, r.filled - r.at);
        r.filled -= r.at;
        r.at = 0;
    }
    while (r.filled < want && !r.ended) {
        const std::size_t n = std::fread(r.buffer.data() + r.filled, 1, r.buffer.size() - r.filled, r.stream);
        r.filled += n;
        if (n == 0) {
            r.ended = true;
            r.failed = std::ferror(r.stream) != 0;
        }
    }
}
