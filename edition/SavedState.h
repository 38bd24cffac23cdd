// The saved state of the editions that have programs and bypass (VST3,
// CLAP): what the host is given to keep, and takes back.
//
// Little-endian, 108 bytes:
//   0  magic "HlvS"
//   4  uint32 version (2)
//   8  22 x uint32: the sound parameters' 0..1 values as float bits
//  96  int32 the program, 0 to 7
// 100  uint32 bypass, 0 or 1 (hosts expect a bypassed instance to come
//      back bypassed)
// 104  uint32 the Key choice, 0 to 4
// Version 1 is the first 104 bytes, without the Key choice: it loads with
// "Left", which is what those versions ran. A version that this reader
// does not know is refused, as version 1's reader refuses version 2.
//
// The values are the float bits the engine was given, so that the same
// bytes come back exactly. A state is taken whole or not at all.
#pragma once

#include <cstddef>
#include <cstdint>

#include "edition/Parameters.h"

namespace edition {

struct State {
    float values[kNumSound];
    int32_t program;
    bool bypass;
    int32_t key;  // the Key choice, 0 to 4 (gate::KeySource's values)
};

constexpr unsigned char kStateMagic[4] = {'H', 'l', 'v', 'S'};
constexpr uint32_t kStateVersion = 2;
constexpr size_t kStateSizeV1 = 4 + 4 + 4 * kNumSound + 4 + 4;
constexpr size_t kStateSize = kStateSizeV1 + 4;

enum class StateError {
    None,
    Short,     // fewer bytes than the format has
    Magic,     // not a state of this plug-in
    Newer,     // written by a later version, whose format this one does not know
    Version,   // version 0: never written
    Value,     // a value outside 0..1 or not a number
    Program,   // a program outside 0 to 7
    Bypass,    // a bypass other than 0 or 1
    Key,       // a Key choice outside 0 to 4
};

void WriteState(const State& state, unsigned char out[kStateSize]);
// Reads `size` bytes (of either version); `out` is written only when the
// answer is None.
StateError ReadState(const unsigned char* bytes, size_t size, State& out);

// A host's stream, read a piece at a time: up to `size` bytes into `out`,
// answering how many it gave; 0 or less when it has no more or fails.
using ReadPiece = int64_t (*)(void* stream, unsigned char* out, size_t size);
// Reads a state from such a stream, which may hand the bytes over in
// pieces, up to the end of the state or of the stream, whichever comes
// first. True when the state is taken; `out` is written only then.
bool ReadStateFrom(ReadPiece read, void* stream, State& out);

// What a new instance runs: "BigBeat", the values of the VST 2.x library
// when it is new.
State InitialState();

}  // namespace edition
