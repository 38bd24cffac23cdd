// The fuzzer's bytes read front to back as a script of small numbers, so
// that the seed files stay easy to write by hand (see corpus/make_seeds.py).
// Once the bytes run out every read answers 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace fuzzinput {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), left_(size) {}

    bool empty() const { return left_ == 0; }

    uint8_t u8() {
        if (left_ == 0)
            return 0;
        --left_;
        return *data_++;
    }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
    uint32_t u32() { return static_cast<uint32_t>(u16()) | (static_cast<uint32_t>(u16()) << 16); }
    uint64_t u64() { return static_cast<uint64_t>(u32()) | (static_cast<uint64_t>(u32()) << 32); }
    bool flag() { return (u8() & 1) != 0; }

    // A float: one of the values that break arithmetic, or any bit pattern.
    float anyFloat() {
        static const float kSpecial[] = {0.0f,
                                         -0.0f,
                                         1.0f,
                                         0.5f,
                                         -1.0f,
                                         2.0f,
                                         1e-30f,
                                         std::numeric_limits<float>::denorm_min(),
                                         -std::numeric_limits<float>::denorm_min(),
                                         std::numeric_limits<float>::min(),
                                         std::numeric_limits<float>::max(),
                                         -std::numeric_limits<float>::max(),
                                         std::numeric_limits<float>::infinity(),
                                         -std::numeric_limits<float>::infinity(),
                                         std::numeric_limits<float>::quiet_NaN(),
                                         -std::numeric_limits<float>::quiet_NaN(),
                                         std::numeric_limits<float>::signaling_NaN(),
                                         0.99999994f,
                                         1.00000012f,
                                         44100.0f,
                                         8000.0f,
                                         768000.0f,
                                         7999.0f,
                                         768001.0f,
                                         1e-13f};
        constexpr uint8_t kCount = sizeof kSpecial / sizeof kSpecial[0];
        const uint8_t pick = u8();
        if (pick < kCount)
            return kSpecial[pick];
        if (pick < 128)  // a plain value in 0 .. 1
            return static_cast<float>(u16()) / 65535.0f;
        const uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

    // A 32-bit number: mostly small, sometimes anything.
    int32_t anyInt32() {
        const uint8_t pick = u8();
        if (pick < 200)
            return static_cast<int32_t>(pick) - 8;  // -8 .. 191
        switch (pick & 3) {
        case 0:
            return std::numeric_limits<int32_t>::min();
        case 1:
            return std::numeric_limits<int32_t>::max();
        default:
            return static_cast<int32_t>(u32());
        }
    }

    // A pointer-sized number: small ones, the extremes, numbers whose low
    // 32 bits look harmless, or anything.
    intptr_t anyIntPtr() {
        const uint8_t pick = u8();
        if (pick < 200)
            return static_cast<intptr_t>(pick) - 8;
        switch (pick & 7) {
        case 0:
            return std::numeric_limits<intptr_t>::min();
        case 1:
            return std::numeric_limits<intptr_t>::max();
        case 2:
            return static_cast<intptr_t>(static_cast<uint64_t>(u8()) << (sizeof(intptr_t) * 8 - 9)) + u8();
        case 3:
            return static_cast<intptr_t>(std::numeric_limits<int32_t>::min()) - u8();
        default:
            return static_cast<intptr_t>(u64());
        }
    }

private:
    const uint8_t* data_;
    size_t left_;
};

}  // namespace fuzzinput
