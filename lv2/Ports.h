// The LV2 edition's ports, by index: the four audio ports, then one control
// input for each parameter that acts on the sound (0 to 21), in parameter
// order. The DSP binary, its Turtle and the UI all count them this way.
#pragma once

#include <cstdint>

namespace lv2ports {

constexpr uint32_t kInLeft = 0;
constexpr uint32_t kInRight = 1;
constexpr uint32_t kOutLeft = 2;
constexpr uint32_t kOutRight = 3;

// Parameters 22 to 29 do nothing to the sound and have no port.
constexpr int kNumControls = 22;
constexpr uint32_t kFirstControl = 4;
constexpr uint32_t kNumPorts = kFirstControl + kNumControls;

constexpr uint32_t ControlPort(int parameter) { return kFirstControl + static_cast<uint32_t>(parameter); }
// The parameter of a port, or -1 for an audio port or an index past the end.
constexpr int ParameterOfPort(uint32_t port) {
    return port >= kFirstControl && port < kNumPorts ? static_cast<int>(port - kFirstControl) : -1;
}

}  // namespace lv2ports
