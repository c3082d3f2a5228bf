// SPDX-License-Identifier: MIT
#include "check/places.h"

namespace {

// A byte of a run: the run's first byte's slot, and the byte's line and
// place in it. The run's lines are alike: its bytes a line, and where in
// its line the first one stands, give them.
struct InRun {
    std::size_t first;
    long long line;
    std::size_t index;
};

InRun in_run(const TypedPlaces& places, std::size_t i)
{
    std::size_t first = i;
    std::size_t back = 0;
    while ((places.flags[first] & RUN_FIRST) == 0) {
        first = (first - 1) & (PLACES - 1);
        ++back;
    }
    const std::size_t at = places.shapes[first][1] + back;
    const std::size_t width = places.shapes[first][0];
    return {first, places.lines[first] + static_cast<long long>(at / width), at % width};
}

} // namespace

void put_origin(TypedPlaces& places, std::size_t i, const Origin& o)
{
    const bool compact = o.size == 2 && o.high_size == 1 && o.low_line == o.line &&
                         o.low_column == o.column + 1 && o.column > 0 && o.column < WIDEST_COLUMN;
    places.flags[i] = static_cast<std::uint8_t>(o.unread | (compact ? 0 : FULL));
    if (compact) {
        places.columns[i] = static_cast<std::uint32_t>(o.column);
        places.chars[i] = {o.text[0], o.text[1]};
        places.lines[i] = o.line;
    } else {
        places.full[i] = o;
    }
}

Origin origin_at(const TypedPlaces& places, std::size_t i, std::uint8_t value)
{
    // One Origin, made where the caller wants it (two returned would be
    // copied, the characters written one by one then read whole: slow).
    const std::uint8_t flags = places.flags[i];
    Origin o;
    if ((flags & FULL) != 0) {
        o = places.full[i];
        return o;
    }
    o.size = 2;
    o.high_size = 1;
    if ((flags & (RUN | RUN_FIRST)) != 0) {
        const InRun in = in_run(places, i);
        const auto stride = static_cast<long long>(static_cast<unsigned char>(places.chars[in.first][0]));
        const char* const digits = places.chars[in.first][1] != 0 ? "0123456789abcdef" : "0123456789ABCDEF";
        o.line = in.line;
        o.column = places.columns[in.first] + stride * static_cast<long long>(in.index);
        o.text[0] = digits[value >> 4u];
        o.text[1] = digits[value & 0xFu];
    } else {
        o.line = places.lines[i];
        o.column = places.columns[i];
        o.text[0] = places.chars[i][0];
        o.text[1] = places.chars[i][1];
        o.unread = flags;
    }
    o.low_line = o.line;
    o.low_column = o.column + 1;
    return o;
}

void start_run(TypedPlaces& places, std::size_t i)
{
    if ((places.flags[i] & RUN) == 0) {
        return;
    }
    const InRun in = in_run(places, i);
    places.flags[i] = RUN_FIRST;
    places.lines[i] = in.line;
    places.columns[i] = places.columns[in.first];
    places.chars[i] = places.chars[in.first];
    places.shapes[i] = {places.shapes[in.first][0], static_cast<std::uint16_t>(in.index)};
}
