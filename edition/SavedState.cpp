#include "edition/SavedState.h"

#include <cstring>

namespace edition {

namespace {

void PutU32(unsigned char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t GetU32(const unsigned char* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
           static_cast<uint32_t>(at[3]) << 24;
}

// Reads up to `size` bytes, however many pieces the stream gives them in.
size_t ReadFully(ReadPiece read, void* stream, unsigned char* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        const int64_t got = read(stream, out + done, size - done);
        if (got <= 0 || static_cast<uint64_t>(got) > size - done)
            break;
        done += static_cast<size_t>(got);
    }
    return done;
}

}  // namespace

void WriteState(const State& state, unsigned char out[kStateSize]) {
    std::memcpy(out, kStateMagic, 4);
    PutU32(out + 4, kStateVersion);
    for (int i = 0; i < kNumSound; ++i) {
        uint32_t bits = 0;
        std::memcpy(&bits, &state.values[i], 4);
        PutU32(out + 8 + 4 * i, bits);
    }
    PutU32(out + 8 + 4 * kNumSound, static_cast<uint32_t>(state.program));
    PutU32(out + 12 + 4 * kNumSound, state.bypass ? 1u : 0u);
    PutU32(out + kStateSizeV1, static_cast<uint32_t>(state.key));
}

StateError ReadState(const unsigned char* bytes, size_t size, State& out) {
    if (bytes == nullptr || size < kStateSizeV1)
        return StateError::Short;
    if (std::memcmp(bytes, kStateMagic, 4) != 0)
        return StateError::Magic;
    const uint32_t version = GetU32(bytes + 4);
    if (version > kStateVersion)
        return StateError::Newer;
    if (version == 0)
        return StateError::Version;
    if (version >= 2 && size < kStateSize)
        return StateError::Short;
    State state{};
    for (int i = 0; i < kNumSound; ++i) {
        const uint32_t bits = GetU32(bytes + 8 + 4 * i);
        std::memcpy(&state.values[i], &bits, 4);
        if (!(state.values[i] >= 0.0f && state.values[i] <= 1.0f))
            return StateError::Value;
    }
    state.program = static_cast<int32_t>(GetU32(bytes + 8 + 4 * kNumSound));
    if (state.program < 0 || state.program >= params::kNumPrograms)
        return StateError::Program;
    const uint32_t bypass = GetU32(bytes + 12 + 4 * kNumSound);
    if (bypass > 1)
        return StateError::Bypass;
    state.bypass = bypass == 1;
    state.key = 0;  // version 1: the left channel keyed the gates
    if (version >= 2) {
        const uint32_t key = GetU32(bytes + kStateSizeV1);
        if (key >= static_cast<uint32_t>(kKeyChoices))
            return StateError::Key;
        state.key = static_cast<int32_t>(key);
    }
    out = state;
    return StateError::None;
}

// Exactly the state's bytes, no more: version 1's first, then the Key
// choice if the version has it.
bool ReadStateFrom(ReadPiece read, void* stream, State& out) {
    unsigned char bytes[kStateSize];
    size_t got = ReadFully(read, stream, bytes, kStateSizeV1);
    if (got == kStateSizeV1 && GetU32(bytes + 4) >= 2)
        got += ReadFully(read, stream, bytes + kStateSizeV1, kStateSize - kStateSizeV1);
    return ReadState(bytes, got, out) == StateError::None;
}

State InitialState() {
    State state{};
    for (int i = 0; i < kNumSound; ++i)
        state.values[i] = params::FactoryValue(params::kInitialProgram, i);
    state.program = params::kInitialProgram;
    state.bypass = false;
    state.key = 0;
    return state;
}

}  // namespace edition
