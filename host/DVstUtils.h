#pragma once

#include <cstdint>

#include "DAEffect.h"

// Packs four characters into one integer, first character in the most
// significant byte: FourCharCode('V','s','t','P') == 0x56737450.
constexpr int32_t FourCharCode(char c1, char c2, char c3, char c4) {
    return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(c1)) << 24) |
                                (static_cast<uint32_t>(static_cast<uint8_t>(c2)) << 16) |
                                (static_cast<uint32_t>(static_cast<uint8_t>(c3)) << 8) |
                                static_cast<uint32_t>(static_cast<uint8_t>(c4)));
}

static_assert(FourCharCode('V', 's', 't', 'P') == 0x56737450, "FourCharCode");
static_assert(FourCharCode('N', 'v', 'E', 'f') == 0x4E764566, "FourCharCode");
static_assert(FourCharCode('h', 'v', 'l', 'Q') == 0x68766C51, "FourCharCode");

// Copies a zero-terminated text into a host buffer of `capacity` bytes
// (terminator included), cutting it if it does not fit. Returns false and
// writes nothing when the buffer is null.
bool CopyText(char* dest, const char* text, int capacity);

// Rounds to the nearest integer, ties to even, whatever the rounding mode
// the host left on the calling thread. Non-finite values give 0.
int32_t RoundHalfEven(double x);

// Whether a request's `value` is a number the 32-bit operation can take.
// On 64-bit builds `value` is 64 bits wide, and narrowing it first would
// turn INT64_MIN into 0 and 2^32 + 3 into 3: such a request is ignored.
constexpr bool FitsInt32(VstIntPtr value) { return value >= INT32_MIN && value <= INT32_MAX; }

// `value` brought to the nearest 32-bit number, for an argument that an
// operation may ignore: a number too wide for 32 bits stays beyond every
// range the operation could check (INT64_MIN becomes INT32_MIN, never 0).
constexpr int32_t SaturateInt32(VstIntPtr value) {
    return value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}
