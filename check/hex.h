// SPDX-License-Identifier: MIT
#pragma once

// A hex digit's value, in either case; -1 for any other character.
constexpr int hex_digit(long c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<int>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<int>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<int>(c - 'a' + 10);
    }
    return -1;
}
