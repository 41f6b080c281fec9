#include "reports/number_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace flovir {

namespace {

constexpr int kSignificantDigits = 18;
constexpr int kGeneralDigits = 15;
constexpr char kDecimalComma = ',';

// A decimal number 0.digits x 10^point; no digits (or only zeros) is zero.
struct Decimal {
  bool negative = false;
  std::string digits;
  int point = 0;

  bool IsZero() const {
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c == '0'; });
  }
  // The digit at position i (0 = first), zero outside the digits held.
  char DigitAt(int i) const {
    return i >= 0 && i < static_cast<int>(digits.size()) ? digits[static_cast<size_t>(i)] : '0';
  }
};

// The decimal form of a finite x: the shortest digits that read back as x
// (at most 17). Quotients such as 12345 / 10000 thus round as the decimal
// they stand for (1.2345), not as the binary neighbour 1.23449999999999993.
Decimal ToDecimal(double x) {
  Decimal d;
  d.negative = std::signbit(x);
  if (x == 0) return d;
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x), std::chars_format::scientific);
  // "d.dddde+XX", or "de+XX" for a single digit
  const std::string text(buffer, result.ptr);
  const size_t e = text.find('e');
  d.digits = text.substr(0, 1) + (e > 1 ? text.substr(2, e - 2) : "");
  d.point = std::atoi(text.c_str() + e + 1) + 1;
  return d;
}

// Keeps the first `keep` digits, rounding half away from zero.
void RoundHalfAway(Decimal& d, int keep) {
  if (keep >= static_cast<int>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    return;
  }
  const bool up = d.digits[static_cast<size_t>(keep)] >= '5';
  d.digits.resize(static_cast<size_t>(keep));
  if (!up) return;
  int i = keep - 1;
  while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9')
    d.digits[static_cast<size_t>(i--)] = '0';
  if (i >= 0) {
    ++d.digits[static_cast<size_t>(i)];
  } else {
    d.digits.insert(d.digits.begin(), '1');
    d.digits.pop_back();
    ++d.point;
    if (d.digits.empty()) d.digits = "1";  // keep == 0: 0.5 of the unit rounds to one unit
  }
}

const char* NonFiniteText(double x) {
  if (std::isnan(x)) return "NAN";
  return x > 0 ? "INF" : "-INF";
}

std::string Sign(const Decimal& d) {
  return d.negative && !d.IsZero() ? "-" : "";
}

// One digit, then `fraction_digits` more after the comma when there are any.
std::string Mantissa(const Decimal& d, int fraction_digits) {
  std::string text(1, d.DigitAt(0));
  if (fraction_digits > 0) {
    text += kDecimalComma;
    for (int i = 1; i <= fraction_digits; ++i) text += d.DigitAt(i);
  }
  return text;
}

std::string Exponent(int exponent, bool always_signed, int min_digits) {
  std::string digits = std::to_string(std::abs(exponent));
  if (static_cast<int>(digits.size()) < min_digits)
    digits.insert(0, static_cast<size_t>(min_digits) - digits.size(), '0');
  const char* sign = exponent < 0 ? "-" : (always_signed ? "+" : "");
  return "E" + std::string(sign) + digits;
}

// Integer digits, then `decimals` digits after the comma.
std::string FixedDigits(const Decimal& d, int decimals) {
  std::string text;
  if (d.point <= 0 || d.IsZero()) {
    text = "0";
  } else {
    for (int i = 0; i < d.point; ++i) text += d.DigitAt(i);
  }
  if (decimals > 0) {
    text += kDecimalComma;
    for (int i = 0; i < decimals; ++i) text += d.IsZero() ? '0' : d.DigitAt(d.point + i);
  }
  return text;
}

}  // namespace

std::string FormatFixed(double x, int precision, int decimals) {
  if (!std::isfinite(x)) return NonFiniteText(x);
  precision = std::max(precision, 1);
  decimals = std::clamp(decimals, 0, kSignificantDigits);
  const int kept = std::min(precision, kSignificantDigits);
  const Decimal exact = ToDecimal(x);

  Decimal fixed = exact;
  if (!fixed.IsZero()) RoundHalfAway(fixed, std::min(kept, fixed.point + decimals));
  if (fixed.IsZero() || fixed.point <= precision) return Sign(fixed) + FixedDigits(fixed, decimals);

  Decimal scientific = exact;
  RoundHalfAway(scientific, kept);
  return Sign(scientific) + Mantissa(scientific, kept - 1) +
         Exponent(scientific.point - 1, true, 3);
}

std::string FormatGeneral(double x) {
  if (!std::isfinite(x)) return NonFiniteText(x);
  Decimal d = ToDecimal(x);
  RoundHalfAway(d, kGeneralDigits);
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) return "0";
  const int digits = static_cast<int>(d.digits.size());
  // The first digit stands for 10^(point - 1); below 0.00001 means point < -4.
  if (d.point > kGeneralDigits || d.point < -4) {
    return Sign(d) + Mantissa(d, digits - 1) + Exponent(d.point - 1, false, 1);
  }
  return Sign(d) + FixedDigits(d, std::max(digits - d.point, 0));
}

}  // namespace flovir
