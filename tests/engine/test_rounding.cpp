// The kernels' split rounding (Veltkamp's splitting) against the plain
// conversion to float and back, bit for bit, over the whole range where
// the kernels use it: every binade of the normal float range, both signs,
// ties and their neighbours, binade edges, the largest floats, and zero.
// Outside that range the kernels keep the conversion; the reference tests
// with extreme signals check that they do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <cstring>
#include <vector>

#include "EngineTestUtil.h"
#include "GateKernel.h"

using namespace enginetest;

namespace {

double FromBits(uint64_t bits) {
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

uint64_t Bits(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

uint64_t Next64(Lcg& rng) { return (static_cast<uint64_t>(rng.next()) << 32) | rng.next(); }

// Doubles whose float lies in the normal range (or is zero). A double's
// bits below the float's 24 are its low 29 bits; 0x10000000 there is a tie.
std::vector<double> NormalRangeValues() {
    Lcg rng(4242);
    std::vector<double> values = {0.0, -0.0, FLT_MIN, -FLT_MIN, FLT_MAX, -FLT_MAX};
    // The largest doubles that still round to FLT_MAX, not to infinity.
    values.push_back(FromBits(Bits(static_cast<double>(FLT_MAX)) + 0x0FFFFFFF));
    values.push_back(-values.back());
    for (int e = -126; e <= 127; ++e) {
        const uint64_t exponent = static_cast<uint64_t>(e + 1023) << 52;
        for (int i = 0; i < 600; ++i) {
            const uint64_t sign = static_cast<uint64_t>(i & 1) << 63;
            const uint64_t mantissa = Next64(rng) & 0xFFFFFFFFFFFFFull;
            const uint64_t upper = mantissa & ~0x1FFFFFFFull;
            values.push_back(FromBits(sign | exponent | mantissa));
            for (uint64_t low : {0x10000000ull, 0x0FFFFFFFull, 0x10000001ull, 0ull, 1ull, 0x1FFFFFFFull})
                values.push_back(FromBits(sign | exponent | upper | low));
        }
        // The top of the binade, which rounds up into the next one.
        values.push_back(FromBits(exponent | 0xFFFFFF0000000ull | 0x10000000ull));
        values.push_back(FromBits(exponent | 0xFFFFFFFFFFFFFull));
    }
    // From FLT_MAX plus half its spacing on, the conversion overflows.
    const double overflow = 0x1.ffffffp+127;
    values.erase(std::remove_if(values.begin(), values.end(),
                                [overflow](double v) { return !(v < overflow && v > -overflow); }),
                 values.end());
    return values;
}

// In every binade of the range, both signs: ties and the doubles either
// side of each, for the binade's lowest and highest 64 mantissas (its edges;
// the top one rounds up into the next binade) and 2048 more drawn at random,
// even and odd alike, as a tie goes to the even one. A sample rather than
// all 2^23 of each binade, which would take gigabytes.
std::vector<double> TiesOfEveryBinade() {
    constexpr uint64_t kMantissas = uint64_t{1} << 23;
    constexpr uint64_t kEdge = 64;
    constexpr int kDrawn = 2048;
    Lcg rng(2323);
    std::vector<double> values;
    values.reserve(254 * (2 * kEdge + kDrawn) * 3);
    for (int e = -126; e <= 127; ++e) {
        const uint64_t exponent = static_cast<uint64_t>(e + 1023) << 52;
        uint64_t sign = 0;
        auto addTie = [&](uint64_t m) {
            sign ^= uint64_t{1} << 63;
            const uint64_t tie = sign | exponent | (m << 29) | 0x10000000ull;
            values.insert(values.end(), {FromBits(tie - 1), FromBits(tie), FromBits(tie + 1)});
        };
        for (uint64_t m = 0; m < kEdge; ++m) {
            addTie(m);
            addTie(kMantissas - 1 - m);
        }
        for (int i = 0; i < kDrawn; ++i)
            addTie(rng.next() >> 9);  // the generator's better bits, 23 of them
    }
    // The top tie of the largest binade and beyond overflow the conversion.
    const double overflow = 0x1.ffffffp+127;
    values.erase(std::remove_if(values.begin(), values.end(),
                                [overflow](double v) { return !(v < overflow && v > -overflow); }),
                 values.end());
    return values;
}

class SplitRounding : public ::testing::TestWithParam<gate::KernelSet> {
protected:
    void Check(const std::vector<double>& values) {
        const gate::RoundNormalFunction round = gate::RoundNormalFor(GetParam());
        ASSERT_NE(round, nullptr);
        std::vector<double> out(values.size());
        for (bool ftz : {false, true}) {
            FlushToZero mode(ftz);
            round(values.data(), out.data(), static_cast<int32_t>(values.size()));
            for (size_t i = 0; i < values.size(); ++i) {
                const double expected = static_cast<double>(static_cast<float>(values[i]));
                ASSERT_EQ(Bits(out[i]), Bits(expected))
                    << std::hexfloat << values[i] << " gives " << out[i] << ", conversion " << expected
                    << (ftz ? " (flush-to-zero)" : "");
            }
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Kernels, SplitRounding,
                         ::testing::ValuesIn(kAllKernels),
                         [](const ::testing::TestParamInfo<gate::KernelSet>& info) {
                             return std::string(KernelName(info.param));
                         });

}  // namespace

TEST_P(SplitRounding, MatchesTheConversionOverTheNormalRange) {
    if (!gate::CpuRuns(GetParam()))
        GTEST_SKIP() << "this processor does not run the " << KernelName(GetParam()) << " kernel";
    Check(NormalRangeValues());
}

TEST_P(SplitRounding, BreaksTiesToEvenInEveryBinade) {
    if (!gate::CpuRuns(GetParam()))
        GTEST_SKIP() << "this processor does not run the " << KernelName(GetParam()) << " kernel";
    Check(TiesOfEveryBinade());
}
