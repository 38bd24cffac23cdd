// The controller side of the editions that have programs and bypass (VST3,
// CLAP), on the host's user-interface thread: the values that the host and
// the editor show. Nothing here knows a plug-in format, and nothing here
// calls the host: what the host must hear of waits in the notices, for the
// adapter to tell it when the host holds nothing (see DeferredNotices).
#pragma once

#include <cstdint>

#include "edition/DeferredNotices.h"
#include "edition/Parameters.h"
#include "edition/SavedState.h"

namespace edition {

// Told of every sound value that changes other than by the editor's own
// edit (the host's, a program's, a loaded state's), so that open editor
// windows follow.
class ValueObserver {
public:
    virtual void soundValueChanged(int index, double value) = 0;

protected:
    ~ValueObserver() = default;
};

class Controller {
public:
    // `observer` may be null; it must outlive the controller.
    explicit Controller(ValueObserver* observer);

    // The normalised value of parameter `id`; 0 for an unknown ID.
    double value(unsigned id) const { return id < static_cast<unsigned>(kNumParameters) ? values_[id] : 0.0; }
    // The host sets parameter `id` (clamped to what the processor holds).
    // A program sets the 22 values and leaves Bypass and Key; false for an
    // unknown ID.
    bool setValue(unsigned id, double value);
    // The editor's edit of sound parameter `index`: the value now held,
    // for the adapter to pass on to the host.
    double setFromEditor(int index, float value);
    // A state the host loaded.
    void takeState(const State& state);

    // What the host must hear of, once: DeferredNotices' bits.
    uint32_t takeNotices() { return notices_.take(); }

private:
    void setShown(int index, double value);

    ValueObserver* observer_;
    double values_[kNumParameters] = {};
    DeferredNotices notices_;
};

}  // namespace edition
