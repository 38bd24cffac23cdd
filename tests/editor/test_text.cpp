// The read-out's number helpers and value texts, against the examples the
// editor's design gives, including the ones that depend on 32-bit rounding.
#include <gtest/gtest.h>

#include <cmath>

#include "ValueText.h"

using namespace valuetext;

TEST(EditorNumbers, Exp2IsTwoToThePowerWithinRounding) {
    EXPECT_EQ(Exp2(10), 1024.0002f);
    EXPECT_EQ(Exp2(0), 1.0f);
    EXPECT_NEAR(Exp2(-1), 0.5f, 1e-6f);
}

TEST(EditorNumbers, FloorIntFloorsWithATenMillionthTolerance) {
    EXPECT_EQ(FloorInt(3.0), 3);
    EXPECT_EQ(FloorInt(3.9999), 3);
    EXPECT_EQ(FloorInt(2.99999995), 3);  // within 0.0000001 below 3
    EXPECT_EQ(FloorInt(-0.2), -1);
    EXPECT_EQ(FloorInt(-3.0), -3);
    EXPECT_EQ(FloorInt(85.0f), 85);  // the knob at value 1
}

TEST(EditorNumbers, RoundHalfEvenTakesTiesToEven) {
    EXPECT_EQ(RoundHalfEven(0.5), 0.0);
    EXPECT_EQ(RoundHalfEven(1.5), 2.0);
    EXPECT_EQ(RoundHalfEven(10.5), 10.0);
    EXPECT_EQ(RoundHalfEven(11.5), 12.0);
    EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
    EXPECT_EQ(RoundHalfEven(2.4999), 2.0);
}

TEST(EditorNumbers, GeneralNumberFormat) {
    EXPECT_EQ(GeneralNumber(640), "640");
    EXPECT_EQ(GeneralNumber(20.5), "20.5");
    EXPECT_EQ(GeneralNumber(-19.6), "-19.6");
    EXPECT_EQ(GeneralNumber(0), "0");
    EXPECT_EQ(GeneralNumber(1000), "1000");
    EXPECT_EQ(GeneralNumber(33.3, ','), "33,3");
}

TEST(ValueText, FloatStrFloorsToOneDecimal) {
    EXPECT_EQ(FloatStr(0.3999996, 10), "0.3");
    EXPECT_EQ(FloatStr(-0.3999996, 10), "-0.4");
    EXPECT_EQ(FloatStr(7, 10), "7");
}

TEST(ValueText, FilterStrExamples) {
    EXPECT_EQ(FilterStr(0.0f), "20Hz");
    EXPECT_EQ(FilterStr(0.1f), "40Hz");
    EXPECT_EQ(FilterStr(0.25f), "113Hz");
    EXPECT_EQ(FilterStr(0.5f), "640Hz");
    EXPECT_EQ(FilterStr(0.6f), "1.3KHz");
    EXPECT_EQ(FilterStr(0.75f), "3.6KHz");
    EXPECT_EQ(FilterStr(0.9f), "10.2KHz");
    EXPECT_EQ(FilterStr(1.0f), "20.5KHz");
    EXPECT_EQ(FilterStr(0.5f, ','), "640Hz");
    EXPECT_EQ(FilterStr(0.6f, ','), "1,3KHz");
}

// The value whose frequency is the first one at or above `hz`.
static float ValueForFrequency(double hz) {
    float v = static_cast<float>(std::log2(hz / 20.0) / 10.0);
    while (static_cast<float>(20.0 * Exp2(static_cast<float>(10.0 * v))) >= hz)
        v = std::nextafter(v, 0.0f);
    while (static_cast<float>(20.0 * Exp2(static_cast<float>(10.0 * v))) < hz)
        v = std::nextafter(v, 2.0f);
    return v;
}

TEST(ValueText, FilterStrAroundTheUnitChange) {
    EXPECT_EQ(FilterStr(ValueForFrequency(999.5)), "1000Hz");
    EXPECT_EQ(FilterStr(ValueForFrequency(1000.0)), "1KHz");
    EXPECT_EQ(FilterStr(ValueForFrequency(1014.0)), "1KHz");
    EXPECT_EQ(FilterStr(ValueForFrequency(1050.0)), "1KHz");   // 10.5 ties to 10
    EXPECT_EQ(FilterStr(ValueForFrequency(1150.0)), "1.2KHz"); // 11.5 ties to 12
}

TEST(ValueText, PercentExamples) {
    EXPECT_EQ(PercentText(0.0f), "0%");
    EXPECT_EQ(PercentText(0.25f), "25%");
    EXPECT_EQ(PercentText(1.0f / 3.0f), "33.3%");
    EXPECT_EQ(PercentText(0.999f), "99.9%");
    EXPECT_EQ(PercentText(1.0f), "100%");
    EXPECT_EQ(PercentText(0.0005f), "0.1%");  // the float lies just above 0.0005
    EXPECT_EQ(PercentText(1.0f / 3.0f, ','), "33,3%");
}

TEST(ValueText, BoostDecibels) {
    EXPECT_EQ(DecibelText(0.0f, 40, 20), "-20dB");
    EXPECT_EQ(DecibelText(0.0125f, 40, 20), "-19.5dB");
    EXPECT_EQ(DecibelText(0.25f, 40, 20), "-10dB");
    EXPECT_EQ(DecibelText(0.49f, 40, 20), "-0.4dB");
    EXPECT_EQ(DecibelText(0.5f, 40, 20), "0dB");
    EXPECT_EQ(DecibelText(0.51f, 40, 20), "0.3dB");  // 0.51f lies just below 0.51
    EXPECT_EQ(DecibelText(1.0f, 40, 20), "20dB");
}

TEST(ValueText, GateLevelDecibels) {
    EXPECT_EQ(DecibelText(0.0f, 40, 40), "-40dB");
    EXPECT_EQ(DecibelText(0.5f, 40, 40), "-20dB");
    EXPECT_EQ(DecibelText(0.51f, 40, 40), "-19.6dB");
    EXPECT_EQ(DecibelText(1.0f, 40, 40), "0dB");
}
