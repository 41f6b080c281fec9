#pragma once
// The two number-to-text rules of every report and of the parameter grid.
// Both write the decimal comma of the Russian settings the meter's users
// work with, whatever the machine's locale; nothing here consults a locale.
//
// Values that are not finite are written "NAN", "INF" and "-INF" by both.

#include <string>

namespace flovir {

// x with exactly `decimals` digits after the comma, a minus sign only when
// the shown digits are not all zero, at least one digit before the comma.
// The decimal form of x (the shortest digits that read back as the same
// double, at most 17) is rounded half away from zero to `decimals` places
// and to at most `precision` significant digits (digits past the 18th or the
// precision-th are written as zeros): 12345 / 10000 with 3 decimals is
// "1,235", -0.0004 is "0,000".
//
// When the rounded integer part has more than `precision` digits, x is
// written in exponent notation instead: one digit, the comma and
// precision - 1 more digits (all of them, at most 18 in total), "E", the
// exponent's sign and at least three exponent digits, so 1e11 with
// precision 10 is "1,000000000E+011" and with precision 1 "1E+011".
//
// `decimals` is taken within 0..18 and `precision` at least 1.
std::string FormatFixed(double x, int precision, int decimals);

// x rounded to 15 significant digits (half away from zero, from the same
// decimal form) without trailing zeros; whole numbers have no comma. When the
// integer part has more than 15 digits or the magnitude is below 0.00001 the
// text is in exponent notation: the digits as above, "E", a minus sign for a
// negative exponent only and no leading zeros, e.g. "1E20", "1,5E-7".
// A float32 widens exactly: 0.1f gives "0,100000001490116".
std::string FormatGeneral(double x);

}  // namespace flovir
