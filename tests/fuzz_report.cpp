// SPDX-License-Identifier: MIT
// Arbitrary bytes through the block report, cut into blocks the way the
// block loop cuts a file: 128 bytes at a time into one reused buffer, the
// tail of a short last block zeroed. Every report must equal the plain one.

#include "checksums/block_report.h"
#include "reference.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Block block; // reused, so a missing zero fill would show
    for (std::size_t at = 0; at < size; at += BLOCK_SIZE) {
        const std::size_t n = std::min(BLOCK_SIZE, size - at);
        std::memcpy(block.data(), data + at, n);
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(n), block.end(), std::uint8_t{0});
        const Report report = format_block_report(block);
        if (std::string(report.begin(), report.end()) != reference_report(block)) {
            std::abort();
        }
    }
    return 0;
}
