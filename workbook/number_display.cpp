#include "workbook/number_display.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "workbook/model.h"
#include "workbook/serial_date.h"

namespace flovir {

namespace {

constexpr std::array<std::string_view, 12> kMonths = {"Январь",   "Февраль", "Март",   "Апрель",
                                                      "Май",      "Июнь",    "Июль",   "Август",
                                                      "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
constexpr std::array<std::string_view, 12> kShortMonths = {
    "янв", "фев", "мар", "апр", "май", "июн", "июл", "авг", "сен", "окт", "ноя", "дек"};
constexpr std::array<std::string_view, 7> kDays = {"воскресенье", "понедельник", "вторник", "среда",
                                                   "четверг",     "пятница",     "суббота"};
constexpr std::array<std::string_view, 7> kShortDays = {"Вс", "Пн", "Вт", "Ср", "Чт", "Пт", "Сб"};

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool IsGeneral(std::string_view format) {
  if (format.size() != 7) return format.empty();
  for (size_t i = 0; i < 7; ++i) {
    if (Lower(format[i]) != "general"[i]) return false;
  }
  return true;
}

// The sections of a format split at ';' outside quotes.
std::vector<std::string_view> Sections(std::string_view format) {
  std::vector<std::string_view> sections;
  bool quoted = false;
  size_t start = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '"') quoted = !quoted;
    if (format[i] == '\\') ++i;
    if (format[i] == ';' && !quoted) {
      sections.push_back(format.substr(start, i - start));
      start = i + 1;
    }
  }
  sections.push_back(format.substr(start));
  return sections;
}

// True when the section has date or time codes outside quotes and brackets.
bool IsDateTime(std::string_view section) {
  bool quoted = false;
  for (size_t i = 0; i < section.size(); ++i) {
    const char c = section[i];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\\') {
      ++i;
    } else if (c == '[') {
      const size_t end = section.find(']', i);
      const std::string_view inside = section.substr(i + 1, end - i - 1);
      if (inside == "h" || inside == "hh" || inside == "m" || inside == "mm" || inside == "s") {
        return true;
      }
      if (end == std::string_view::npos) break;
      i = end;
    } else if (std::string_view("dmyhsDMYHS").find(c) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

std::string TwoDigits(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", n);
  return buffer;
}

// A date-time section: d dd ddd dddd, m mm mmm mmmm (minutes after h or
// before s), yy yyyy, h hh, s ss, AM/PM; "/" is the date separator.
std::string FormatDateTime(double value, std::string_view section) {
  const CivilDateTime t = DecodeDateTime(value);
  const bool twelve_hour = section.find("AM/PM") != std::string_view::npos ||
                           section.find("am/pm") != std::string_view::npos;
  struct Token {
    char code;  // d m y h s, 'M' minutes, 'E' elapsed hours, 0 literal text
    size_t length;
    std::string text;
  };
  std::vector<Token> tokens;
  for (size_t i = 0; i < section.size();) {
    const char c = section[i];
    const char lower = Lower(c);
    if (c == '"') {
      const size_t end = section.find('"', i + 1);
      tokens.push_back({0, 0, std::string(section.substr(i + 1, end - i - 1))});
      i = end == std::string_view::npos ? section.size() : end + 1;
    } else if (c == '\\' && i + 1 < section.size()) {
      tokens.push_back({0, 0, std::string(1, section[i + 1])});
      i += 2;
    } else if (section.substr(i, 5) == "AM/PM" || section.substr(i, 5) == "am/pm") {
      tokens.push_back({0, 0, t.hour < 12 ? "AM" : "PM"});
      i += 5;
    } else if (c == '[') {
      // Elapsed hours [h]: whole hours since the day count began.
      const size_t end = section.find(']', i);
      if (end == std::string_view::npos) break;
      const std::string_view inside = section.substr(i + 1, end - i - 1);
      if (!inside.empty() && Lower(inside[0]) == 'h') {
        const long hours = static_cast<long>(std::floor(value * 24 + 1e-9));
        tokens.push_back({'E', 0, std::to_string(hours)});
      }
      i = end + 1;
    } else if (std::string_view("dmyhs").find(lower) != std::string_view::npos) {
      size_t n = 1;
      while (i + n < section.size() && Lower(section[i + n]) == lower) ++n;
      tokens.push_back({lower, n, {}});
      i += n;
    } else {
      tokens.push_back({0, 0, std::string(1, c == '/' ? '.' : c)});
      ++i;
    }
  }
  // "m" right after hours or right before seconds means minutes.
  for (size_t k = 0; k < tokens.size(); ++k) {
    if (tokens[k].code != 'm' || tokens[k].length > 2) continue;
    for (size_t j = k; j-- > 0;) {
      if (tokens[j].code == 0) continue;
      if (tokens[j].code == 'h' || tokens[j].code == 'E') tokens[k].code = 'M';
      break;
    }
    for (size_t j = k + 1; j < tokens.size() && tokens[k].code == 'm'; ++j) {
      if (tokens[j].code == 0) continue;
      if (tokens[j].code == 's') tokens[k].code = 'M';
      break;
    }
  }
  const int weekday = static_cast<int>(
      ((static_cast<long>(std::floor(EncodeDate(t.year, t.month, t.day))) % 7) + 13) % 7);
  int hour = t.hour;
  if (twelve_hour) hour = hour % 12 == 0 ? 12 : hour % 12;
  std::string out;
  for (const Token& token : tokens) {
    const bool one = token.length == 1;
    switch (token.code) {
      case 0:
      case 'E':
        out += token.text;
        break;
      case 'd':
        if (token.length <= 2) {
          out += one ? std::to_string(t.day) : TwoDigits(t.day);
        } else {
          out += token.length == 3 ? kShortDays[weekday] : kDays[weekday];
        }
        break;
      case 'm':
        if (token.length <= 2) {
          out += one ? std::to_string(t.month) : TwoDigits(t.month);
        } else {
          out += token.length == 3 ? kShortMonths[t.month - 1] : kMonths[t.month - 1];
        }
        break;
      case 'y':
        out += token.length <= 2 ? TwoDigits(t.year % 100) : std::to_string(t.year);
        break;
      case 'h':
        out += one ? std::to_string(hour) : TwoDigits(hour);
        break;
      case 'M':
        out += one ? std::to_string(t.minute) : TwoDigits(t.minute);
        break;
      case 's':
        out += one ? std::to_string(t.second) : TwoDigits(t.second);
        break;
    }
  }
  return out;
}

// Groups the integer digits in threes with a space, as the Russian
// settings do.
std::string Group(const std::string& digits) {
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
    out += digits[i];
  }
  return out;
}

// v with the given decimals, halves rounded away from zero as spreadsheets
// do (printf would round 2.5 to 2).
std::string FixedDigits(double v, int decimals) {
  char buffer[400];
  const double scaled = std::round(v * std::pow(10.0, decimals));
  if (scaled >= 1e18 || !std::isfinite(scaled)) {
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    return buffer;
  }
  std::snprintf(buffer, sizeof buffer, "%.0f", scaled);
  std::string digits = buffer;
  if (decimals == 0) return digits;
  const size_t d = static_cast<size_t>(decimals);
  if (digits.size() <= d) digits.insert(0, d + 1 - digits.size(), '0');
  digits.insert(digits.size() - d, ".");
  return digits;
}

// A numeric section: digit placeholders 0 # ?, "." for the decimal comma,
// "," for grouping, "%" for percent, literal text around them.
std::string FormatFixed(double value, std::string_view section, bool negative_section) {
  std::string prefix, suffix;
  int decimals = 0, min_integer_digits = 0;
  bool grouping = false, percent = false, in_decimals = false, seen_digits = false;
  for (size_t i = 0; i < section.size(); ++i) {
    const char c = section[i];
    std::string& literal = seen_digits ? suffix : prefix;
    if (c == '"') {
      const size_t end = section.find('"', i + 1);
      literal += section.substr(i + 1, end - i - 1);
      if (end == std::string_view::npos) break;
      i = end;
    } else if (c == '\\' && i + 1 < section.size()) {
      literal += section[++i];
    } else if (c == '_' || c == '*') {
      ++i;  // padding to the width of the next character
    } else if (c == '[') {
      const size_t end = section.find(']', i);
      if (end == std::string_view::npos) break;
      i = end;  // colours and conditions
    } else if (c == '0' || c == '#' || c == '?') {
      seen_digits = true;
      if (in_decimals) {
        ++decimals;
      } else if (c == '0') {
        ++min_integer_digits;
      }
    } else if (c == '.' && !in_decimals) {
      in_decimals = true;
      seen_digits = true;
    } else if (c == ',' && seen_digits && !in_decimals) {
      grouping = true;
    } else {
      if (c == '%') percent = true;
      literal += c;
    }
  }
  if (!seen_digits) return prefix + suffix;
  const double v = std::fabs(value) * (percent ? 100 : 1);
  const std::string text = FixedDigits(v, decimals);
  std::string integer = text.substr(0, text.find('.'));
  std::string fraction = decimals > 0 ? text.substr(text.find('.') + 1) : std::string();
  if (integer == "0" && min_integer_digits == 0) integer.clear();
  while (integer.size() < static_cast<size_t>(min_integer_digits)) integer.insert(0, "0");
  if (grouping) integer = Group(integer);
  const bool shows_minus =
      value < 0 && !negative_section && text.find_first_not_of("0.") != std::string::npos;
  return (shows_minus ? "-" : "") + prefix + integer + (decimals > 0 ? "," + fraction : "") +
         suffix;
}

}  // namespace

std::string DisplayNumber(double value, std::string_view format) {
  if (IsGeneral(format) || !std::isfinite(value)) return ShortestNumberText(value);
  const std::vector<std::string_view> sections = Sections(format);
  std::string_view section = sections[0];
  bool negative_section = false;
  if (value < 0 && sections.size() > 1 && !sections[1].empty()) {
    section = sections[1];
    negative_section = true;
  } else if (value == 0 && sections.size() > 2) {
    section = sections[2];
  }
  if (IsGeneral(section)) return ShortestNumberText(value);
  if (IsDateTime(section)) return FormatDateTime(value, section);
  return FormatFixed(negative_section ? std::fabs(value) : value, section, negative_section);
}

}  // namespace flovir
