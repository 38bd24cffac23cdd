#include "edition/StateSnapshot.h"

#include <cstring>
#include <thread>

namespace edition {

StateSnapshot::StateSnapshot(const State& initial) {
    for (std::atomic<uint32_t>& word : words_)
        word.store(0, std::memory_order_relaxed);
    put(initial);
}

// The word stores are releases and the copies' loads acquires: a reader
// that sees any word of a write also sees the odd count that began it.
void StateSnapshot::put(const State& state) {
    for (int i = 0; i < kNumSound; ++i) {
        uint32_t bits = 0;
        std::memcpy(&bits, &state.values[i], 4);
        words_[i].store(bits, std::memory_order_release);
    }
    words_[kNumSound].store(static_cast<uint32_t>(state.program), std::memory_order_release);
    words_[kNumSound + 1].store(state.bypass ? 1u : 0u, std::memory_order_release);
    words_[kNumSound + 2].store(static_cast<uint32_t>(state.key), std::memory_order_release);
}

bool StateSnapshot::tryBegin(uint32_t& sequence) {
    sequence = sequence_.load(std::memory_order_relaxed);
    return (sequence & 1) == 0 &&
           sequence_.compare_exchange_strong(sequence, sequence + 1, std::memory_order_acquire,
                                             std::memory_order_relaxed);
}

void StateSnapshot::load(const State& state) {
    uint32_t sequence = 0;
    while (!tryBegin(sequence))
        std::this_thread::yield();
    put(state);
    generation_.store(generation_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    sequence_.store(sequence + 2, std::memory_order_release);
}

bool StateSnapshot::tryPublish(const State& state, uint32_t generation) {
    uint32_t sequence = 0;
    if (!tryBegin(sequence))
        return false;
    const bool current = generation_.load(std::memory_order_relaxed) == generation;
    if (current)
        put(state);
    sequence_.store(sequence + 2, std::memory_order_release);
    return current;
}

bool StateSnapshot::tryCopy(State& out, uint32_t& generation) const {
    const uint32_t before = sequence_.load(std::memory_order_acquire);
    if ((before & 1) != 0)
        return false;
    State state{};
    for (int i = 0; i < kNumSound; ++i) {
        const uint32_t bits = words_[i].load(std::memory_order_acquire);
        std::memcpy(&state.values[i], &bits, 4);
    }
    state.program = static_cast<int32_t>(words_[kNumSound].load(std::memory_order_acquire));
    state.bypass = words_[kNumSound + 1].load(std::memory_order_acquire) != 0;
    state.key = static_cast<int32_t>(words_[kNumSound + 2].load(std::memory_order_acquire));
    const uint32_t loads = generation_.load(std::memory_order_acquire);
    if (sequence_.load(std::memory_order_relaxed) != before)
        return false;
    out = state;
    generation = loads;
    return true;
}

State StateSnapshot::read() const {
    State state{};
    uint32_t generation = 0;
    while (!tryCopy(state, generation))
        std::this_thread::yield();
    return state;
}

bool StateSnapshot::tryRead(State& out, uint32_t& generation) const { return tryCopy(out, generation); }

}  // namespace edition
