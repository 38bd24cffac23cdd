// exp, sin and cos (and a log) computed the same way in every build.
//
// The C libraries of the three targets do not promise identical last bits,
// and the lowest bands are resonators so sharp that one unit in the last
// place of a coefficient audibly moves their gain. These versions use only
// IEEE double additions, multiplications and divisions (no FMA, no x87), so
// every SSE2 build gets the same result; accuracy is within one unit in the
// last place of the double result.
#pragma once

namespace gate {

double Exp(double x);
// NaN for angles of 2^20 * pi/2 or more in size, which no design reaches
// (a rate that would take one there is refused); NaN and infinities too.
double Sin(double x);
double Cos(double x);
// The natural logarithm of a positive finite x (NaN for others), within a
// few units in the last place: for bounds and estimates, not for samples.
double Log(double x);

}  // namespace gate
