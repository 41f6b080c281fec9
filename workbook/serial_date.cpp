#include "workbook/serial_date.h"

#include <cmath>

namespace flovir {

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
constexpr long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, int& year, int& month, int& day) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long y = static_cast<long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

// constexpr, so that dates encoded during static initialisation elsewhere are right.
constexpr long kEpochOffset = DaysFromCivil(1899, 12, 30);

}  // namespace

double EncodeDate(int year, int month, int day) {
  return static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochOffset);
}

double EncodeDateTime(const CivilDateTime& t) {
  return EncodeDate(t.year, t.month, t.day) + (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0;
}

CivilDateTime DecodeDateTime(double serial) {
  CivilDateTime t;
  if (!std::isfinite(serial)) return t;
  // Round to the whole second first, so that 0.99999999 of a day does not
  // show as 23:59:59 of the day before.
  const double seconds = std::round(serial * 86400.0);
  long days = static_cast<long>(std::floor(seconds / 86400.0));
  long rest = static_cast<long>(seconds - static_cast<double>(days) * 86400.0);
  CivilFromDays(days + kEpochOffset, t.year, t.month, t.day);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[(month - 1) % 12];
}

}  // namespace flovir
