// SPDX-License-Identifier: MIT
#pragma once

// A digit left out of a typed listing, or typed twice. Every byte after it
// pairs the wrong two digits: after a lost digit, the typed byte k holds the
// low digit of the true byte k and the high digit of byte k + 1, so the
// true bytes are the typed ones paired anew, half a byte on. The check
// keeps its alignment in bytes: where the blocks after a differing block
// match only with the other pairing, the window's bytes are paired anew
// from the slip on, and the reader goes on in that pairing.
//
// Digits are counted from FILE's start as the window holds it: digit 2p
// is byte p's high digit, 2p + 1 its low one.

#include "check/explain.h"
#include "check/window.h"
#include "checksums/block.h"
#include "checksums/block_report.h"

#include <cstddef>
#include <cstdint>

enum class Slip : std::uint8_t { MISSING, EXTRA };

// The block from FILE's byte `at` that the listing gives with digit `q`
// missing, with value `value`, or with digit `q` left out as one too many;
// `filled` says how many of its bytes there are. Digits the window does not
// hold end the block.
Block slipped_block(const FileWindow& window, long long at, Slip slip, long long q, unsigned value,
                    std::size_t& filled);

// The slips, missing digits or extra ones or both, in block `at` that give
// it every value of its report, `stored`: the first place of the first result,
// and how many results there are (a 0 missing from 9000 is missing from
// the 90, since every place in it gives the same bytes). Where no slip
// alone does, a slip and one other byte typed wrong, as changed bytes are
// found, are looked for too: two bytes typed wrong in the block.
struct SlipFound {
    Slip slip = Slip::MISSING;
    long long q = 0;
    unsigned value = 0;
    int results = 0; // 0, 1, or 2 for two or more
    Block block{};
    bool besides = false; // and `other`, a byte typed wrong besides
    Change other{};
};
SlipFound find_slip(const FileWindow& window, long long at, bool missing, bool extra,
                    const BlockSums& stored);

// Where a slip at `q` could be with the same digits: a digit put in
// (before digit k) or taken out anywhere in a run of that digit gives
// them all. The first and last such places, as far as the window holds
// the digits, before they pair anew.
struct DigitRange {
    long long first;
    long long last;
};
DigitRange slip_range(const FileWindow& window, Slip slip, long long q, unsigned value);

// Where typed digit `k` stands: its line and column, or the listing's end
// past its last digit.
struct DigitPlace {
    long long line;
    long long column;
};
DigitPlace digit_place(const FileWindow& window, long long k);

// Pairs the window's digits anew from digit `q` on: `value` put in there,
// or the digit there taken out; the reader goes on in the new pairing.
// With `typed`, the byte that holds the slip keeps what was typed for it
// (one character where a digit is missing, three where one is too many);
// otherwise it takes the place of its digits, as every byte after it.
// A digit put in may make a byte more: the window drops those before
// `keep` for it where it is full; false where it cannot.
bool pair_anew(FileWindow& window, Slip slip, long long q, unsigned value, bool typed, long long keep);
