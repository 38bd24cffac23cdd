// Helpers shared by the black-box suites: an instance that closes itself,
// signals, rendering through the record, and a snapshot of everything a
// host can read back from an instance.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "TestHost.h"

namespace blackbox {

using testhost::dispatch;
using testhost::Host;

// One instance built through `main`; closed through effClose when it goes.
class Instance {
public:
    explicit Instance(Host& host, bool throughMain = true) : effect_(host.create(throughMain)) {}
    ~Instance() {
        if (effect_ != nullptr)
            dispatch(effect_, effClose);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    AEffect* get() const { return effect_; }
    AEffect* operator->() const { return effect_; }
    explicit operator bool() const { return effect_ != nullptr; }
    // Hands the instance over (the caller closes it).
    AEffect* release() {
        AEffect* e = effect_;
        effect_ = nullptr;
        return e;
    }

private:
    AEffect* effect_;
};

struct Stereo {
    std::vector<float> left;
    std::vector<float> right;
    size_t size() const { return left.size(); }
};

inline bool operator==(const Stereo& a, const Stereo& b) {
    // Bit for bit, so that NaN and signed zeros count too.
    return a.left.size() == b.left.size() && a.right.size() == b.right.size() &&
           std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)) == 0 &&
           std::memcmp(a.right.data(), b.right.data(), a.right.size() * sizeof(float)) == 0;
}
inline bool operator!=(const Stereo& a, const Stereo& b) { return !(a == b); }

// GoogleTest prints a Stereo by its length and first frames.
inline void PrintTo(const Stereo& s, std::ostream* os) {
    *os << s.size() << " frames";
    for (size_t i = 0; i < s.size() && i < 4; ++i)
        *os << (i == 0 ? ": " : ", ") << '(' << s.left[i] << ' ' << s.right[i] << ')';
    if (s.size() > 4)
        *os << ", ...";
}

// A loud two-tone test signal, different on the two channels.
inline Stereo TestSignal(int frames, double rate = 44100.0, float amplitude = 0.5f) {
    const double pi = 3.14159265358979323846;
    Stereo s;
    s.left.resize(static_cast<size_t>(frames));
    s.right.resize(static_cast<size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        double t = n / rate;
        s.left[static_cast<size_t>(n)] =
            static_cast<float>(amplitude * (0.7 * std::sin(2 * pi * 1000.0 * t) + 0.3 * std::sin(2 * pi * 97.0 * t)));
        s.right[static_cast<size_t>(n)] =
            static_cast<float>(amplitude * (0.6 * std::sin(2 * pi * 440.0 * t) + 0.4 * std::sin(2 * pi * 5000.0 * t)));
    }
    return s;
}

inline Stereo Slice(const Stereo& s, size_t from, size_t count) {
    Stereo r;
    r.left.assign(s.left.begin() + static_cast<long>(from), s.left.begin() + static_cast<long>(from + count));
    r.right.assign(s.right.begin() + static_cast<long>(from), s.right.begin() + static_cast<long>(from + count));
    return r;
}

// Runs `in` through processReplacing (or process onto zeroed outputs) in
// blocks of `block` frames and answers the output.
inline Stereo Render(AEffect* e, const Stereo& in, int block = 256, bool replacing = true) {
    Stereo out;
    out.left.assign(in.size(), 0.0f);
    out.right.assign(in.size(), 0.0f);
    Stereo copy = in;  // the plug-in may not write its inputs, but a faulty one might
    for (size_t pos = 0; pos < in.size(); pos += static_cast<size_t>(block)) {
        int frames = static_cast<int>(std::min(in.size() - pos, static_cast<size_t>(block)));
        float* inputs[2] = {copy.left.data() + pos, copy.right.data() + pos};
        float* outputs[2] = {out.left.data() + pos, out.right.data() + pos};
        if (replacing)
            e->processReplacing(e, inputs, outputs, frames);
        else
            e->process(e, inputs, outputs, frames);
    }
    return out;
}

// Everything a host can read back without changing anything.
struct Observed {
    std::vector<unsigned char> record;
    std::vector<float> parameters;  // 0..29, bit patterns compared
    VstIntPtr program = 0;
    std::string programName;
    std::vector<std::string> programNames;  // 0..7

    bool operator==(const Observed& o) const {
        return record == o.record && program == o.program && programName == o.programName &&
               programNames == o.programNames && parameters.size() == o.parameters.size() &&
               std::memcmp(parameters.data(), o.parameters.data(), parameters.size() * sizeof(float)) == 0;
    }
};

inline Observed Observe(AEffect* e) {
    Observed o;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(e);
    o.record.assign(bytes, bytes + sizeof(AEffect));
    for (VstInt32 i = 0; i < 30; ++i)
        o.parameters.push_back(e->getParameter(e, i));
    o.program = dispatch(e, effGetProgram);
    o.programName = testhost::textRequest(e, effGetProgramName);
    for (VstInt32 i = 0; i < 8; ++i)
        o.programNames.push_back(testhost::textRequest(e, effGetProgramNameIndexed, i));
    return o;
}

inline std::ostream& operator<<(std::ostream& os, const Observed& o) {
    os << "program " << o.program << " \"" << o.programName << "\" params";
    for (float p : o.parameters)
        os << ' ' << p;
    return os;
}

// A host text buffer prefilled with a pattern, to see what was written.
struct TextBuffer {
    static constexpr size_t kSize = 256;
    static constexpr char kFill = '\x5A';
    char bytes[kSize];
    TextBuffer() { std::memset(bytes, kFill, kSize); }
    bool untouched() const {
        for (char c : bytes)
            if (c != kFill)
                return false;
        return true;
    }
    // Bytes written from the start: up to and including the first
    // terminator, or kSize if there is none.
    std::string text() const { return std::string(bytes, strnlen(bytes, kSize)); }
    bool untouchedFrom(size_t from) const {
        for (size_t i = from; i < kSize; ++i)
            if (bytes[i] != kFill)
                return false;
        return true;
    }
};

}  // namespace blackbox
