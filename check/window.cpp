// SPDX-License-Identifier: MIT
#include "check/window.h"

#include <algorithm>
#include <climits>
#include <cstring>

std::uint8_t file_byte(const FileView& file, long long at)
{
    return at >= file.base && at < file.end ? file.data[at - file.base] : std::uint8_t{0};
}

Block file_block(const FileView& file, long long at)
{
    Block block;
    if (at >= file.base && at + static_cast<long long>(BLOCK_SIZE) <= file.end) {
        std::memcpy(block.data(), file.data + (at - file.base), BLOCK_SIZE);
        return block;
    }
    for (std::size_t i = 0; i < BLOCK_SIZE; ++i) {
        block[i] = file_byte(file, at + static_cast<long long>(i));
    }
    return block;
}

bool matches(const FileView& file, long long at, const BlockSums& stored)
{
    return at >= file.base && at < file.size && sum_block(file_block(file, at)) == stored;
}

FileView view(const FileWindow& w)
{
    const long long end = w.base + static_cast<long long>(w.filled);
    return {w.bytes.data(), w.base, end, w.ended ? end : LLONG_MAX};
}

bool make_room(FileWindow& w, long long keep)
{
    if (w.filled < w.bytes.size()) {
        return true;
    }
    const auto drop =
        static_cast<std::size_t>(std::clamp(keep - w.base, 0LL, static_cast<long long>(w.filled)));
    if (drop == 0) {
        return false;
    }
    std::copy(w.bytes.begin() + static_cast<std::ptrdiff_t>(drop), w.bytes.end(), w.bytes.begin());
    if (w.listing != nullptr) {
        std::copy(w.origins.begin() + static_cast<std::ptrdiff_t>(drop), w.origins.end(), w.origins.begin());
    }
    w.base += static_cast<long long>(drop);
    w.filled -= drop;
    return true;
}

bool hold(FileWindow& w, long long end, long long keep)
{
    while (!w.ended && w.base + static_cast<long long>(w.filled) < end) {
        if (!make_room(w, keep)) {
            return false; // no room, and none to make: never taken for FILE's end
        }
        const std::size_t room = w.bytes.size() - w.filled;
        const std::size_t n = w.listing != nullptr ? read_listing(*w.listing, w.bytes.data() + w.filled,
                                                                  w.origins.data() + w.filled, room)
                                                   : std::fread(w.bytes.data() + w.filled, 1, room, w.stream);
        w.filled += n;
        if (n == 0) {
            w.ended = true;
            w.failed = w.listing != nullptr ? w.listing->failed : std::ferror(w.stream) != 0;
        }
    }
    return !w.failed;
}

Origin origin_of(const FileWindow& w, long long at)
{
    if (at == w.marked) {
        return w.mark;
    }
    if (at >= w.base && at < w.base + static_cast<long long>(w.filled)) {
        return w.origins[static_cast<std::size_t>(at - w.base)];
    }
    return w.listing->end;
}

bool unread_in(const FileWindow& w, long long from, long long to)
{
    if (w.listing == nullptr) {
        return false;
    }
    const long long first = std::max(from, w.base);
    const long long last = std::min(to, w.base + static_cast<long long>(w.filled));
    for (long long p = first; p < last; ++p) {
        if (w.origins[static_cast<std::size_t>(p - w.base)].unread != 0) {
            return true;
        }
    }
    return false;
}

void mark_origin(FileWindow& w, long long at)
{
    if (w.listing != nullptr) {
        w.mark = origin_of(w, at);
        w.marked = at;
    }
}
