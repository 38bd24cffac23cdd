// The build-independent exp, sin and cos against the C library: within one
// unit in the last place everywhere the engine and the editor use them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "EngineTestUtil.h"
#include "PortableMath.h"

// glibc's exp, sin and cos are accurate to within an ulp, which makes them
// the yardstick here. The Windows C libraries are not (32-bit sin and cos
// are hundreds of ulps off at large angles), which is why the engine
// carries its own; there the golden outputs check that all builds agree.
#if defined(__GLIBC__)
namespace {

// Distance in units in the last place between two doubles.
int64_t UlpDistance(double a, double b) {
    int64_t ia, ib;
    std::memcpy(&ia, &a, sizeof a);
    std::memcpy(&ib, &b, sizeof b);
    if (ia < 0)
        ia = INT64_MIN - ia;
    if (ib < 0)
        ib = INT64_MIN - ib;
    return ia > ib ? ia - ib : ib - ia;
}

template <typename Ours, typename Theirs>
int64_t WorstUlp(Ours ours, Theirs theirs, double lo, double hi, int count) {
    enginetest::Lcg rng(77);
    int64_t worst = 0;
    for (int i = 0; i < count; ++i) {
        const double u = (static_cast<double>(rng.next()) + 0.5) / 4294967296.0;
        const double x = lo + (hi - lo) * u;
        worst = std::max(worst, UlpDistance(ours(x), theirs(x)));
    }
    return worst;
}

}  // namespace

TEST(PortableMath, LogWithinAFewUlps) {
    auto ours = [](double x) { return gate::Log(x); };
    auto libm = [](double x) { return std::log(x); };
    EXPECT_LE(WorstUlp(ours, libm, 0.5, 2.0, 100000), 4);
    EXPECT_LE(WorstUlp(ours, libm, 1e-300, 1e300, 100000), 4);
    // Subnormal arguments.
    EXPECT_LE(WorstUlp([](double x) { return gate::Log(x * 1e-310); }, [](double x) { return std::log(x * 1e-310); },
                       1.0, 1e5, 1000),
              4);
    EXPECT_TRUE(std::isnan(gate::Log(0.0)) && std::isnan(gate::Log(-1.0)));
}

TEST(PortableMath, ExpWithinOneUlp) {
    auto ours = [](double x) { return gate::Exp(x); };
    auto libm = [](double x) { return std::exp(x); };
    EXPECT_LE(WorstUlp(ours, libm, -30.0, 30.0, 200000), 1);
    EXPECT_LE(WorstUlp(ours, libm, -700.0, 700.0, 50000), 1);
    EXPECT_EQ(gate::Exp(0.0), 1.0);
    EXPECT_EQ(gate::Exp(1000.0), INFINITY);
    EXPECT_EQ(gate::Exp(-1000.0), 0.0);
    EXPECT_TRUE(std::isnan(gate::Exp(NAN)));
}

TEST(PortableMath, SinCosWithinOneUlp) {
    auto sinOurs = [](double x) { return gate::Sin(x); };
    auto sinLibm = [](double x) { return std::sin(x); };
    auto cosOurs = [](double x) { return gate::Cos(x); };
    auto cosLibm = [](double x) { return std::cos(x); };
    // The design's angles: 0 .. 1.54 for the bandwidth, 0 .. pi for the
    // centre at ordinary rates, and more at very low rates.
    EXPECT_LE(WorstUlp(sinOurs, sinLibm, 1e-7, 3.2, 200000), 1);
    EXPECT_LE(WorstUlp(cosOurs, cosLibm, 0.0, 3.2, 200000), 1);
    EXPECT_LE(WorstUlp(sinOurs, sinLibm, -1000.0, 1000.0, 100000), 1);
    EXPECT_LE(WorstUlp(cosOurs, cosLibm, -1000.0, 1000.0, 100000), 1);
    EXPECT_EQ(gate::Sin(0.0), 0.0);
    EXPECT_EQ(gate::Cos(0.0), 1.0);
    EXPECT_TRUE(std::isnan(gate::Sin(INFINITY)));
}

TEST(PortableMath, SinCosReduceUpToTwoToTheTwentyQuarterTurns) {
    // Accurate right up to the largest angle they reduce; beyond it (the
    // centre angle of a rate of 1e-13 Hz, say) NaN rather than a quarter
    // turn taken from an integer conversion that overflows.
    const double largest = 0x1p20 * 1.5707963267948966;
    auto sinOurs = [](double x) { return gate::Sin(x); };
    auto sinLibm = [](double x) { return std::sin(x); };
    auto cosOurs = [](double x) { return gate::Cos(x); };
    auto cosLibm = [](double x) { return std::cos(x); };
    EXPECT_LE(WorstUlp(sinOurs, sinLibm, largest - 1e5, largest - 1e-6, 50000), 1);
    EXPECT_LE(WorstUlp(cosOurs, cosLibm, -largest + 1e-6, -largest + 1e5, 50000), 1);
    for (double x : {largest, -largest, 1e7, 1.3e18, -4e30, 1e300}) {
        SCOPED_TRACE(x);
        EXPECT_TRUE(std::isnan(gate::Sin(x)));
        EXPECT_TRUE(std::isnan(gate::Cos(x)));
    }
}
#endif
