#pragma once

#include <cstdint>

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
