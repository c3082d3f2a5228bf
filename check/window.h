// SPDX-License-Identifier: MIT
#pragma once

// FILE as the check holds it: a window of its bytes that reaches from the
// block being checked (or what the repair has not written yet) far enough
// ahead for the alignment to be chosen, and the views of it that the
// explanations read.

#include "check/buffers.h"
#include "check/listing.h"
#include "checksums/block.h"
#include "checksums/block_report.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// The longest run of extra or missing bytes that the check follows: a
// page or a disk's sector lost or doubled, the longest slip a copy
// commonly has. The window and the search for blocks ahead grow with it.
inline constexpr long long MAX_SHIFT = 4096;

// FILE's bytes as the check holds them: byte p at data[p - base] for
// base <= p < end. FILE ends at `size`; bytes from there on read as zero,
// the filling of a short last block, and so do bytes no longer held.
struct FileView {
    const std::uint8_t* data;
    long long base;
    long long end;
    long long size;
};

std::uint8_t file_byte(const FileView& file, long long at);

// The block of FILE's bytes from `at`, zero from FILE's end on.
Block file_block(const FileView& file, long long at);

// FILE's block from `at`, which FILE has at least a byte of, has the values
// `stored`.
bool matches(const FileView& file, long long at, const BlockSums& stored);

// The window: one buffer. It must hold a differing block, the blocks after
// it that decide its alignment and the longest shift either way; the check
// asks for that much before it decides.
inline constexpr std::size_t FILE_WINDOW_SIZE = BUFFER_SIZE;
static_assert(FILE_WINDOW_SIZE == PLACES, "each byte the window holds has a slot of its own");

struct FileWindow {
    std::FILE* stream = nullptr;
    ListingReader* listing = nullptr; // FILE is a typed listing, read as hex text
    std::array<std::uint8_t, FILE_WINDOW_SIZE> bytes{};
    TypedPlaces places;     // a listing's: where each byte was typed
    long long base = 0;     // FILE's offset of bytes[0]
    std::size_t filled = 0; // bytes[0..filled) are FILE's
    bool ended = false;
    bool failed = false;
    long long marked = -1;      // a byte whose origin is kept after the window drops it
    long long last_unread = -1; // no byte after it has a digit that could not be read
    Origin mark{};
};

FileView view(const FileWindow& window);

// Holds FILE's bytes up to `end`, or all of FILE, dropping those before
// `keep` where the window needs the room; false where reading failed or
// no room could be made.
bool hold(FileWindow& window, long long end, long long keep);

// Room for a byte more, dropping those before `keep` where the window is
// full; false where none can be made.
bool make_room(FileWindow& window, long long keep);

// Where FILE's byte `at` was typed, in a listing; FILE's end is the place
// after its last byte.
Origin origin_of(const FileWindow& window, long long at);
// Where FILE's byte `at`, which the window holds, was typed from now on.
void set_origin(FileWindow& window, long long at, const Origin& origin);
// Its digits that could not be read: UNREAD_HIGH, UNREAD_LOW.
std::uint8_t unread_at(const FileWindow& window, long long at);
// A listing's bytes from..to, as far as the window holds them, have a
// digit that could not be read.
bool unread_in(const FileWindow& window, long long from, long long to);
// Keeps the origin of `at`, which the window holds, for when it no longer
// does: the start of FILE's bytes after the report's data, told once FILE
// has been read to its end.
void mark_origin(FileWindow& window, long long at);
