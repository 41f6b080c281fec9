#include "parameters/value_conversion.h"

#include <algorithm>
#include <charconv>

namespace flovir {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Checks the accepted form and returns it with a decimal point for
// from_chars, or nothing when the text is not a number.
std::optional<std::string> NormalisedNumber(std::string_view text) {
  std::string out;
  size_t at = 0;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
    if (text[at] == '-') out += '-';
    ++at;
  }
  int digits = 0;
  bool separator = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (IsDigit(c)) {
      ++digits;
      out += c;
    } else if (c == ',' && !separator) {
      separator = true;
      out += '.';
    } else {
      break;
    }
  }
  if (digits == 0) return std::nullopt;
  if (at < text.size() && (text[at] == 'E' || text[at] == 'e')) {
    out += 'e';
    ++at;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) out += text[at++];
    int exponent_digits = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at, ++exponent_digits) out += text[at];
    if (exponent_digits == 0) return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Whether a number that float32 cannot hold is too large (rather than too
// small): its first significant digit stands left of the decimal point.
bool AboveOne(const std::string& number) {
  const size_t exponent_at = number.find('e');
  const std::string mantissa = number.substr(0, exponent_at);
  long exponent = 0;
  if (exponent_at != std::string::npos) {
    const char* first = number.data() + exponent_at + 1;
    if (*first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, number.data() + number.size(), exponent);
    if (ec == std::errc::result_out_of_range) return *first != '-';
  }
  const size_t point = std::min(mantissa.find('.'), mantissa.size());
  const size_t significant = mantissa.find_first_of("123456789");
  const long position = significant < point ? static_cast<long>(point - significant)
                                            : -static_cast<long>(significant - point - 1);
  return exponent > -position;
}

ConvertedValue Refused(std::string_view text, const char* why) {
  return {std::nullopt, "'" + std::string(text) + "' " + why};
}

}  // namespace

ConvertedValue ConvertParameterText(std::string_view text) {
  const std::optional<std::string> number = NormalisedNumber(TrimBlanks(text));
  if (!number) return Refused(text, "is not a valid floating point value");
  const char* first = number->data();
  const char* last = first + number->size();
  float value = 0;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (end != last) return Refused(text, "is not a valid floating point value");
  if (ec == std::errc::result_out_of_range) {
    // Either too large for float32 or so small that it rounds to zero.
    if (AboveOne(*number)) return Refused(text, "is out of range for a floating point value");
    value = 0;
  }
  if (value == 0) value = 0;  // minus zero is stored as plain zero
  return {value, {}};
}

std::string StoreEditedText(const ParameterCell& cell, std::string_view text,
                            ParameterBuffer& buffer) {
  ConvertedValue converted = ConvertParameterText(text);
  if (converted.value) buffer.SetParameterValue(cell.ValueIndex, *converted.value);
  return converted.error;
}

}  // namespace flovir
