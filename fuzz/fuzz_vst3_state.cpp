// The saved-state reader (edition/SavedState), through the VST3 plug-in
// object as a host drives it: any bytes, handed over in pieces of any size, to setState and
// setComponentState. A state taken must come back byte for byte (a
// version 1 state as version 2, with Key on Left); a state refused must
// change nothing.
//
// Input: one byte for the read piece size (1 to 256), the rest the stream.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "HalvorineVst3.h"
#include "edition/SavedState.h"

namespace {

using namespace vst3abi;

class Stream final : public IBStream {
public:
    Stream(const uint8_t* data, size_t size, size_t piece) : bytes_(data, data + size), piece_(piece) {}
    tresult VST3_CALL queryInterface(const TUID, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32_t VST3_CALL addRef() override { return 2; }
    uint32_t VST3_CALL release() override { return 1; }
    tresult VST3_CALL read(void* buffer, int32_t numBytes, int32_t* numBytesRead) override {
        size_t n = numBytes < 0 ? 0 : static_cast<size_t>(numBytes);
        n = std::min<size_t>({n, piece_, bytes_.size() - at_});
        if (n > 0)
            std::memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        if (numBytesRead != nullptr)
            *numBytesRead = static_cast<int32_t>(n);
        return kResultOk;
    }
    tresult VST3_CALL write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) override {
        const auto* p = static_cast<const uint8_t*>(buffer);
        bytes_.insert(bytes_.end(), p, p + numBytes);
        if (numBytesWritten != nullptr)
            *numBytesWritten = numBytes;
        return kResultOk;
    }
    tresult VST3_CALL seek(int64_t, int32_t, int64_t*) override { return kNotImplemented; }
    tresult VST3_CALL tell(int64_t* pos) override {
        *pos = static_cast<int64_t>(at_);
        return kResultOk;
    }
    std::vector<uint8_t> bytes_;

private:
    size_t at_ = 0, piece_;
};

// What saving a taken state gives: its bytes as this version writes them.
std::vector<uint8_t> Expected(const uint8_t* state, size_t size) {
    if (size < edition::kStateSizeV1)
        std::abort();
    if (state[4] != 1)  // version 2: its own length of bytes
        return std::vector<uint8_t>(state, state + std::min(size, edition::kStateSize));
    std::vector<uint8_t> bytes(state, state + edition::kStateSizeV1);
    bytes[4] = 2;
    bytes.insert(bytes.end(), {0, 0, 0, 0});
    return bytes;
}

std::vector<uint8_t> Save(IComponent* component) {
    Stream out(nullptr, 0, 1);
    if (component->getState(&out) != kResultOk)
        std::abort();
    return out.bytes_;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const size_t piece = static_cast<size_t>(data[0]) + 1;
    auto* plugin = new vst3edition::HalvorineVst3();
    IComponent* component = plugin;
    IEditController* controller = plugin;
    const auto before = Save(component);
    const double shown = controller->getParamNormalized(0);

    Stream stream(data + 1, size - 1, piece);
    const tresult taken = component->setState(&stream);
    const auto after = Save(component);
    if (taken == kResultOk) {
        if (after != Expected(data + 1, size - 1))
            std::abort();
    } else if (taken != kResultFalse || after != before || controller->getParamNormalized(0) != shown) {
        std::abort();
    }
    Stream again(data + 1, size - 1, piece);
    const tresult controllerTaken = controller->setComponentState(&again);
    if ((controllerTaken == kResultOk) != (taken == kResultOk))
        std::abort();
    component->release();
    return 0;
}
