// The number helpers and value texts of the editor's read-out, as pure
// functions of one value: the read-out shows them, and the editions give
// them to their hosts as the parameters' texts, so they live below both.
//
// Arithmetic: a step that the read-out defines as 32-bit rounds to float;
// every other intermediate result is a double. Every rounding to the
// nearest integer takes ties to the even integer, whatever rounding mode a
// host may have left in the floating-point unit.
#pragma once

#include <string>

namespace valuetext {

// e raised to (0.6931472 x), rounded to 32-bit: 2 to the power x within a
// few parts in ten million (Exp2(10) is 1024.0002f).
float Exp2(double x);
// The nearest integer to x - 0.4999999: the floor of x, except that a value
// less than 0.0000001 below an integer counts as that integer.
int FloorInt(double x);
// x clamped to 0..1.
float limit(float x);
// The nearest integer to x, ties to even.
double RoundHalfEven(double x);

// The general number format: at most 15 significant digits, no trailing
// zeros, no separator for whole numbers, `separator` for the decimal point.
// Independent of the C library's locale.
std::string GeneralNumber(double x, char separator = '.');

// x floored to a step of 1 / scale (towards minus infinity, with
// FloorInt's tolerance): FloatStr(0.3999996, 10) is "0.3".
std::string FloatStr(double x, double scale, char separator = '.');
// value x scale - offset decibels, floored to one decimal, then "dB".
std::string DecibelText(float value, double scale, double offset, char separator = '.');
// The value in percent with one decimal, then "%".
std::string PercentText(float value, char separator = '.');
// 20 x 2^(10 value) hertz: whole hertz under 1000, else kilohertz with
// one decimal.
std::string FilterStr(float value, char separator = '.');

// The key selector's texts for a key choice (0 Left, 1 Right, 2 Mid,
// 3 Side, 4 External; others are clamped): the read-out's line ("Key:
// External") and the selector's shorter caption ("Key: Ext", which fits).
std::string KeyLine(int choice);
std::string KeyCaption(int choice);
// The read-out while the chosen key has no signal.
constexpr const char* kKeyMissingLine = "Key: no signal";

}  // namespace valuetext
