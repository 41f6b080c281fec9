#pragma once
// Date-time values as spreadsheets hold them: days since 30 December 1899,
// the time of day as the fraction.

namespace flovir {

struct CivilDateTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

double EncodeDate(int year, int month, int day);
double EncodeDateTime(const CivilDateTime& t);
// Splits a value into its date and time of day, rounded to the second.
CivilDateTime DecodeDateTime(double serial);
int DaysInMonth(int year, int month);
bool IsLeapYear(int year);

}  // namespace flovir
