// What the host must hear of but could not be told when it arose.
//
// A call back into the host from inside one of the host's own calls can
// meet a lock that the host holds there, and some hosts then wait for
// ever (a program chosen through the controller's Program value, which
// changes the 22 values the host shows). So the need is only noted here,
// and the host is told later on its user-interface thread, when it holds
// nothing: at a tick of the open view's timer, or at a call that the host
// makes from that thread with no lock of its own held. Plain data: nothing
// here knows a plug-in format.
#pragma once

#include <atomic>
#include <cstdint>

namespace edition {

class DeferredNotices {
public:
    enum Notice : uint32_t {
        kValuesChanged = 1,  // the host must read the values again
    };

    void post(Notice notice) { pending_.fetch_or(notice, std::memory_order_relaxed); }
    // What is pending, once: the caller tells the host.
    uint32_t take() { return pending_.exchange(0, std::memory_order_relaxed); }

private:
    std::atomic<uint32_t> pending_{0};
};

}  // namespace edition
