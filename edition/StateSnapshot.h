// One consistent copy of what the processor runs (the 22 values, the
// program, bypass, Key) for the threads that save it while audio runs.
//
// The processor changes programs value by value; a saver reading those
// values one at a time could catch half of one program and half of the
// next. Instead the side that applies changes publishes the whole set here
// once they are applied, and savers copy the whole set under a sequence
// counter: a copy taken while a write was under way is taken again.
//
// Two writers: the audio thread (its applied changes, after each block)
// and a load from outside (a state, on the host's user-interface thread).
// The counter's odd values exclude one writer while the other writes. The
// audio thread never waits: its write and read are single attempts that
// it repeats at its next block when they fail. Plain data: nothing here
// knows a plug-in format.
#pragma once

#include <atomic>
#include <cstdint>

#include "edition/SavedState.h"

namespace edition {

class StateSnapshot {
public:
    explicit StateSnapshot(const State& initial);

    // A load from outside (not the audio thread): waits for an audio
    // thread's write under way (a few dozen stores) to end. Counts a new
    // generation, so that the audio thread takes the loaded state up.
    void load(const State& state);

    // Any thread but the audio thread: the state between two writes.
    State read() const;

    // Audio thread, never waits. Publishes `state` if no load came in
    // since `generation` (the audio thread's last read) and no other write
    // is under way; false otherwise.
    bool tryPublish(const State& state, uint32_t generation);
    // Audio thread, never waits: the state and its generation, or false
    // while a write is under way.
    bool tryRead(State& out, uint32_t& generation) const;
    // Counts loads; the audio thread compares it with what it last read.
    uint32_t generation() const { return generation_.load(std::memory_order_acquire); }

private:
    static constexpr int kWords = kNumSound + 3;
    bool tryBegin(uint32_t& sequence);
    void put(const State& state);
    bool tryCopy(State& out, uint32_t& generation) const;

    std::atomic<uint32_t> sequence_{0};  // odd while a write is under way
    std::atomic<uint32_t> generation_{0};
    // The values' float bits, then the program, bypass and Key.
    std::atomic<uint32_t> words_[kWords];
};

}  // namespace edition
