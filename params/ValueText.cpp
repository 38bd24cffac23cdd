#include "ValueText.h"

#include <cmath>
#include <cstdio>

#include "PortableMath.h"

namespace valuetext {

double RoundHalfEven(double x) {
    // floor is exact and ignores the rounding mode, unlike nearbyint.
    const double lower = std::floor(x);
    const double fraction = x - lower;  // exact for |x| < 2^52
    if (fraction > 0.5)
        return lower + 1.0;
    if (fraction < 0.5)
        return lower;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

float Exp2(double x) {
    // 0.6931472 is ln 2 as the read-out has always written it; gate::Exp
    // gives the same bits in every build.
    return static_cast<float>(gate::Exp(0.6931472 * x));
}

int FloorInt(double x) { return static_cast<int>(RoundHalfEven(x - 0.4999999)); }

float limit(float x) {
    if (x < 0.0f)
        return 0.0f;
    if (x > 1.0f)
        return 1.0f;
    return x;
}

std::string GeneralNumber(double x, char separator) {
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", x);
    // Whatever the C library's locale made of the decimal point (a host may
    // have set one), it becomes the user's separator here.
    for (char* p = text; *p != '\0'; ++p) {
        const char c = *p;
        if (!(c >= '0' && c <= '9') && c != '-' && c != '+' && c != 'e')
            *p = separator;
    }
    return text;
}

std::string FloatStr(double x, double scale, char separator) {
    const float y = static_cast<float>(x * scale);
    const int k = FloorInt(y);
    return GeneralNumber(k / scale, separator);
}

std::string DecibelText(float value, double scale, double offset, char separator) {
    const float x = static_cast<float>(value * scale - offset);
    return FloatStr(x, 10.0, separator) + "dB";
}

std::string PercentText(float value, char separator) {
    const double n = RoundHalfEven(value * 1000.0);
    return GeneralNumber(n / 10.0, separator) + "%";
}

std::string FilterStr(float value, char separator) {
    const float t = static_cast<float>(10.0 * value);
    const float f = static_cast<float>(20.0 * Exp2(t));
    if (f < 1000.0f)
        return GeneralNumber(RoundHalfEven(f), separator) + "Hz";
    return GeneralNumber(RoundHalfEven(f / 100.0) / 10.0, separator) + "KHz";
}

namespace {
int ClampedChoice(int choice) { return choice < 0 ? 0 : choice > 4 ? 4 : choice; }
}  // namespace

std::string KeyLine(int choice) {
    static const char* const kNames[5] = {"Left", "Right", "Mid", "Side", "External"};
    return std::string("Key: ") + kNames[ClampedChoice(choice)];
}

std::string KeyCaption(int choice) {
    static const char* const kNames[5] = {"Left", "Right", "Mid", "Side", "Ext"};
    return std::string("Key: ") + kNames[ClampedChoice(choice)];
}

}  // namespace valuetext
