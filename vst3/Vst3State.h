// The VST3 edition's saved state: what getState writes and setState reads.
//
// Little-endian, 104 bytes:
//   0  magic "HlvS"
//   4  uint32 version (1)
//   8  22 x uint32: the sound parameters' 0..1 values as float bits
//  96  int32 the program, 0 to 7
// 100  uint32 bypass, 0 or 1 (hosts expect a bypassed instance to come
//      back bypassed)
//
// The values are the float bits the engine was given, so that the same
// bytes come back exactly. A state is taken whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Vst3Parameters.h"

namespace vst3edition {

struct State {
    float values[kNumSound];
    int32_t program;
    bool bypass;
};

constexpr unsigned char kStateMagic[4] = {'H', 'l', 'v', 'S'};
constexpr uint32_t kStateVersion = 1;
constexpr size_t kStateSize = 4 + 4 + 4 * kNumSound + 4 + 4;

enum class StateError {
    None,
    Short,     // fewer bytes than the format has
    Magic,     // not a state of this plug-in
    Newer,     // written by a later version, whose format this one does not know
    Version,   // version 0: never written
    Value,     // a value outside 0..1 or not a number
    Program,   // a program outside 0 to 7
    Bypass,    // a bypass other than 0 or 1
};

void WriteState(const State& state, unsigned char out[kStateSize]);
// Reads `size` bytes; `out` is written only when the answer is None.
StateError ReadState(const unsigned char* bytes, size_t size, State& out);

}  // namespace vst3edition
