#include "edition/Controller.h"

#include "GateMath.h"

namespace edition {

Controller::Controller(ValueObserver* observer) : observer_(observer) {
    for (int i = 0; i < kNumParameters; ++i) {
        ParameterDescription description{};
        DescribeParameter(static_cast<unsigned>(i), description);
        values_[i] = description.defaultValue;
    }
}

void Controller::setShown(int index, double value) {
    values_[index] = value;
    if (observer_ != nullptr && index < kNumSound)
        observer_->soundValueChanged(index, value);
}

bool Controller::setValue(unsigned id, double value) {
    if (id >= static_cast<unsigned>(kNumParameters))
        return false;
    value = ClampNormalized(value);
    if (id == kProgramId) {
        // A program sets the 22 values, on this side as in the processor
        // (which receives the Program change itself); Key is not a sound
        // value, and a program leaves it as it is. Choosing the program
        // that is already current changes nothing, so that a host
        // restoring its Program value after a state keeps the state's.
        const int program = ProgramFromNormalized(value);
        const bool changed = program != ProgramFromNormalized(values_[kProgramId]);
        values_[kProgramId] = NormalizedFromProgram(program);
        if (!changed)
            return true;
        for (int i = 0; i < kNumSound; ++i)
            setShown(i, params::FactoryValue(program, i));
        // The host is inside its own call here, perhaps holding the lock
        // that the call telling it of new values takes: it hears later.
        notices_.post(DeferredNotices::kValuesChanged);
        return true;
    }
    if (id == kBypassId)
        value = value >= 0.5 ? 1.0 : 0.0;
    else if (id == kKeyId)
        value = NormalizedFromKey(KeyFromNormalized(value));
    else
        value = gate::ClampParameter(static_cast<float>(value));  // what the engine will hold
    setShown(static_cast<int>(id), value);
    return true;
}

double Controller::setFromEditor(int index, float value) {
    values_[index] = gate::ClampParameter(value);
    return values_[index];
}

void Controller::takeState(const State& state) {
    for (int i = 0; i < kNumSound; ++i)
        setShown(i, state.values[i]);
    values_[kProgramId] = NormalizedFromProgram(state.program);
    values_[kBypassId] = state.bypass ? 1.0 : 0.0;
    values_[kKeyId] = NormalizedFromKey(state.key);
}

}  // namespace edition
