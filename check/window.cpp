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
    // The places stay in their slots, which go by FILE's offset.
    const bool kept = drop < w.filled;
    std::copy(w.bytes.begin() + static_cast<std::ptrdiff_t>(drop), w.bytes.end(), w.bytes.begin());
    w.base += static_cast<long long>(drop);
    w.filled -= drop;
    if (w.listing != nullptr && kept) {
        // The slots dropped are read into next: the run of the first byte
        // held starts with it.
        start_run(w.places, place_slot(w.base));
    }
    return true;
}

bool hold(FileWindow& w, long long end, long long keep)
{
    while (!w.ended && w.base + static_cast<long long>(w.filled) < end) {
        if (!make_room(w, keep)) {
            return false; // no room, and none to make: never taken for FILE's end
        }
        std::size_t room = w.bytes.size() - w.filled;
        std::size_t n = 0;
        if (w.listing != nullptr) {
            // As far as the slots go before they start again from the first.
            const std::size_t first = place_slot(w.base + static_cast<long long>(w.filled));
            room = std::min(room, PLACES - first);
            w.listing->offset = w.base + static_cast<long long>(w.filled);
            n = read_listing(*w.listing, w.bytes.data() + w.filled, w.places, first, room);
            if (w.listing->last_unread >= 0) {
                w.last_unread = w.base + static_cast<long long>(w.filled) + w.listing->last_unread;
            }
        } else {
            n = std::fread(w.bytes.data() + w.filled, 1, room, w.stream);
        }
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
        return origin_at(w.places, place_slot(at), w.bytes[static_cast<std::size_t>(at - w.base)]);
    }
    return w.listing->end;
}

void set_origin(FileWindow& w, long long at, const Origin& origin)
{
    // A run's bytes after this one find their place from it.
    if (at + 1 < w.base + static_cast<long long>(w.filled)) {
        start_run(w.places, place_slot(at + 1));
    }
    put_origin(w.places, place_slot(at), origin);
    if (origin.unread != 0) {
        w.last_unread = std::max(w.last_unread, at);
    }
}

std::uint8_t unread_at(const FileWindow& w, long long at)
{
    return static_cast<std::uint8_t>(w.places.flags[place_slot(at)] & (UNREAD_HIGH | UNREAD_LOW));
}

bool unread_in(const FileWindow& w, long long from, long long to)
{
    if (w.listing == nullptr || from > w.last_unread) {
        return false; // the common block: no flags to look at
    }
    // The flags of the bytes, in at most two stretches of slots: OR-ed
    // whole, a loop the compiler makes wide.
    long long p = std::max(from, w.base);
    const long long last = std::min(to, w.base + static_cast<long long>(w.filled));
    unsigned all = 0;
    while (p < last) {
        const std::size_t i = place_slot(p);
        const auto count = static_cast<std::size_t>(std::min(last - p, static_cast<long long>(PLACES - i)));
        for (std::size_t k = 0; k < count; ++k) {
            all |= w.places.flags[i + k];
        }
        p += static_cast<long long>(count);
    }
    return (all & (UNREAD_HIGH | UNREAD_LOW)) != 0;
}

void mark_origin(FileWindow& w, long long at)
{
    if (w.listing != nullptr) {
        w.mark = origin_of(w, at);
        w.marked = at;
    }
}
