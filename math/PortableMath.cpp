#include "PortableMath.h"

#include <cstdint>
#include <cstring>
#include <limits>

// The polynomials and splitting constants are the classic minimax ones of
// the freely distributable fdlibm. Argument reduction is Cody and Waite's,
// with ln 2 and pi/2 each split so that k * high part is exact.

namespace gate {
namespace {

double ScaleByPowerOfTwo(double x, int k) {
    // x * 2^k for the k that Exp produces (-1075 .. 1024), without ldexp.
    while (k > 1000) {
        x *= 0x1p1000;
        k -= 1000;
    }
    while (k < -1000) {
        x *= 0x1p-1000;
        k += 1000;
    }
    uint64_t bits = static_cast<uint64_t>(k + 1023) << 52;
    double scale;
    std::memcpy(&scale, &bits, sizeof scale);
    return x * scale;
}

double RoundToNearestInteger(double x) {
    // Exact for |x| < 2^51: adding and removing 1.5 * 2^52 rounds to
    // nearest, ties to even, in the default rounding mode. Builds compile
    // without value-unsafe optimisations, so the pair is not folded.
    const double shifter = 6755399441055744.0;
    volatile double t = x + shifter;
    return t - shifter;
}

}  // namespace

double Exp(double x) {
    const double ln2Hi = 6.93147180369123816490e-01;
    const double ln2Lo = 1.90821492927058770002e-10;
    const double invLn2 = 1.44269504088896338700e+00;
    const double P1 = 1.66666666666666019037e-01;
    const double P2 = -2.77777777770155933842e-03;
    const double P3 = 6.61375632143793436117e-05;
    const double P4 = -1.65339022054652515390e-06;
    const double P5 = 4.13813679705723846039e-08;

    if (x != x)
        return x;
    if (x > 709.782712893383973096)
        return std::numeric_limits<double>::infinity();
    if (x < -745.13321910194110842)
        return 0.0;
    if (x > -0x1p-28 && x < 0x1p-28)
        return 1.0 + x;

    const double k = RoundToNearestInteger(x * invLn2);
    const double hi = x - k * ln2Hi;  // exact: k has at most 11 bits, ln2Hi 32
    const double lo = k * ln2Lo;
    const double r = hi - lo;
    const double rr = r * r;
    const double c = r - rr * (P1 + rr * (P2 + rr * (P3 + rr * (P4 + rr * P5))));
    const double expR = 1.0 - ((lo - (r * c) / (2.0 - c)) - hi);
    return ScaleByPowerOfTwo(expR, static_cast<int>(k));
}

namespace {

// sin(x) on [-pi/4, pi/4], x = a + b with |b| tiny.
double KernelSin(double a, double b) {
    const double S1 = -1.66666666666666324348e-01;
    const double S2 = 8.33333333332248946124e-03;
    const double S3 = -1.98412698298579493134e-04;
    const double S4 = 2.75573137070700676789e-06;
    const double S5 = -2.50507602534068634195e-08;
    const double S6 = 1.58969099521155010221e-10;
    const double z = a * a;
    const double v = z * a;
    const double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
    return a - ((z * (0.5 * b - v * r) - b) - v * S1);
}

// cos(x) on [-pi/4, pi/4], x = a + b with |b| tiny.
double KernelCos(double a, double b) {
    const double C1 = 4.16666666666666019037e-02;
    const double C2 = -1.38888888888741095749e-03;
    const double C3 = 2.48015872894767294178e-05;
    const double C4 = -2.75573143513906633035e-07;
    const double C5 = 2.08757232129817482790e-09;
    const double C6 = -1.13596475577881948265e-11;
    const double z = a * a;
    const double r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
    const double hz = 0.5 * z;
    const double w = 1.0 - hz;
    return w + (((1.0 - w) - hz) + (z * r - a * b));
}

// Sin and Cos reduce angles up to this, where n * pio2_1 (33 bits) stops
// being exact; beyond it the quarter turn is lost and they answer NaN.
constexpr double kLargestAngle = 0x1p20 * 1.5707963267948966;

// x = n * pi/2 + (a + b), |x| < kLargestAngle; answers n mod 4. Three-part
// Cody-Waite reduction.
int ReduceQuarterTurns(double x, double& a, double& b) {
    const double invPio2 = 6.36619772367581382433e-01;
    const double pio2_1 = 1.57079632673412561417e+00;
    const double pio2_1t = 6.07710050650619224932e-11;
    const double pio2_2 = 6.07710050630396597660e-11;
    const double pio2_2t = 2.02226624879595063154e-21;
    const double pio2_3 = 2.02226624871116645580e-21;
    const double pio2_3t = 8.47842766036889956997e-32;

    const double n = RoundToNearestInteger(x * invPio2);
    double r = x - n * pio2_1;
    double w = n * pio2_1t;
    double y0 = r - w;
    // Two more steps keep the tail when the first cancellation is deep.
    {
        double t = r;
        w = n * pio2_2;
        r = t - w;
        w = n * pio2_2t - ((t - r) - w);
        y0 = r - w;
        t = r;
        w = n * pio2_3;
        r = t - w;
        w = n * pio2_3t - ((t - r) - w);
        y0 = r - w;
    }
    a = y0;
    b = (r - y0) - w;
    const double quarter = n - 4.0 * static_cast<double>(static_cast<int64_t>(n / 4.0));
    int q = static_cast<int>(quarter);
    return q < 0 ? q + 4 : q;
}

}  // namespace

double Sin(double x) {
    if (!(x > -kLargestAngle && x < kLargestAngle))  // NaN, infinite or too large to reduce
        return std::numeric_limits<double>::quiet_NaN();
    if (x > -0.7853981633974483 && x < 0.7853981633974483)
        return KernelSin(x, 0.0);
    double a, b;
    switch (ReduceQuarterTurns(x, a, b)) {
    case 0:
        return KernelSin(a, b);
    case 1:
        return KernelCos(a, b);
    case 2:
        return -KernelSin(a, b);
    default:
        return -KernelCos(a, b);
    }
}

double Cos(double x) {
    if (!(x > -kLargestAngle && x < kLargestAngle))  // NaN, infinite or too large to reduce
        return std::numeric_limits<double>::quiet_NaN();
    if (x > -0.7853981633974483 && x < 0.7853981633974483)
        return KernelCos(x, 0.0);
    double a, b;
    switch (ReduceQuarterTurns(x, a, b)) {
    case 0:
        return KernelCos(a, b);
    case 1:
        return -KernelSin(a, b);
    case 2:
        return -KernelCos(a, b);
    default:
        return KernelSin(a, b);
    }
}

double Log(double x) {
    if (!(x > 0.0) || x > std::numeric_limits<double>::max())
        return std::numeric_limits<double>::quiet_NaN();
    // x = m 2^k with m in [sqrt(1/2), sqrt(2)), then ln m = 2 atanh(t),
    // t = (m - 1) / (m + 1), |t| < 0.172: the series' terms fall by t^2 <
    // 0.03 each, so twelve reach the double's precision.
    int k = 0;
    while (x < 0x1p-1000) {
        x *= 0x1p1000;
        k -= 1000;
    }
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    k += static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    bits = (bits & 0x000FFFFFFFFFFFFFull) | (uint64_t{1023} << 52);
    double m;
    std::memcpy(&m, &bits, sizeof m);
    if (m > 1.4142135623730951) {
        m *= 0.5;
        ++k;
    }
    const double t = (m - 1.0) / (m + 1.0), t2 = t * t;
    double sum = 0.0;
    for (int n = 23; n >= 1; n -= 2)
        sum = sum * t2 + 1.0 / n;
    const double ln2Hi = 6.93147180369123816490e-01;
    const double ln2Lo = 1.90821492927058770002e-10;
    return k * ln2Hi + (2.0 * t * sum + k * ln2Lo);
}

}  // namespace gate
