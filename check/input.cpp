// SPDX-License-Identifier: MIT
#include "check/input.h"

#include <cstring>

void fill(Input& in, std::size_t want)
{
    if (in.filled - in.at >= want || in.ended) {
        return;
    }
    if (in.at > 0) {
        std::memmove(in.buffer.data(), in.buffer.data() + in.at, in.filled - in.at);
        in.filled -= in.at;
        in.at = 0;
    }
    while (in.filled < want && !in.ended) {
        const std::size_t n =
            std::fread(in.buffer.data() + in.filled, 1, in.buffer.size() - in.filled, in.stream);
        in.filled += n;
        if (n == 0) {
            in.ended = true;
            in.failed = std::ferror(in.stream) != 0;
        }
    }
}
