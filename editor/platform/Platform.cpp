#include "Platform.h"

#include <cmath>
#include <cstdlib>

#include "headless/HeadlessWindow.h"

namespace platform {

namespace {
WindowFactory currentFactory = &headless::CreateHeadlessWindow;

constexpr double kMinScale = 1.0;
constexpr double kMaxScale = 3.0;

// HALVORINE_SCALE as a number, a trailing "%" meaning percent; 0 when it is
// unset or not a finite number above 0.
double ScaleFromEnvironment() {
    const char* text = std::getenv("HALVORINE_SCALE");
    if (text == nullptr || *text == '\0')
        return 0.0;
    double value = 0.0;
    const char* end = ReadDecimal(text, value);
    if (end == nullptr)
        return 0.0;
    if (*end == '%') {
        value /= 100.0;
        ++end;
    }
    while (*end == ' ' || *end == '\t')
        ++end;
    return *end == '\0' && std::isfinite(value) && value > 0.0 ? value : 0.0;
}
}  // namespace

const char* ReadDecimal(const char* text, double& value) {
    while (*text == ' ' || *text == '\t')
        ++text;
    int digits = 0;
    double whole = 0.0, fraction = 0.0, place = 1.0;
    for (; *text >= '0' && *text <= '9'; ++text, ++digits)
        whole = whole * 10.0 + (*text - '0');
    if (*text == '.') {
        for (++text; *text >= '0' && *text <= '9'; ++text, ++digits) {
            place /= 10.0;
            fraction += (*text - '0') * place;
        }
    }
    if (digits == 0)
        return nullptr;
    value = whole + fraction;
    return text;
}

std::unique_ptr<Window> createWindow(void* parent, int clientWidth, int clientHeight, Rgb background,
                                     WindowEvents& events) {
    return currentFactory(parent, clientWidth, clientHeight, background, events);
}

WindowFactory setWindowFactory(WindowFactory factory) {
    const WindowFactory previous = currentFactory;
    currentFactory = factory != nullptr ? factory : &headless::CreateHeadlessWindow;
    return previous;
}

double ChooseScale(double requested, double system) {
    double scale = ScaleFromEnvironment();
    if (!(scale > 0.0) && std::isfinite(requested) && requested > 0.0)
        scale = requested;
    if (!(scale > 0.0) && std::isfinite(system) && system > 0.0)
        scale = system;
    if (!(scale > 0.0))
        scale = 1.0;
    scale = scale < kMinScale ? kMinScale : (scale > kMaxScale ? kMaxScale : scale);
    return std::round(scale * 4.0) / 4.0;
}

int DrawingScaleOf(double scale) { return static_cast<int>(std::ceil(scale)); }

int ScaledLength(int units, double scale) { return static_cast<int>(std::lround(units * scale)); }

int PanelUnits(int pixels, double scale) {
    // The unit that the pixel's centre lies in. Exact for scales in
    // quarters: a quotient that is whole comes out whole, and one that is
    // not lies far more than a rounding step from the next whole number.
    return static_cast<int>(std::floor((pixels + 0.5) / scale));
}

}  // namespace platform
