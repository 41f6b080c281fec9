#include "workbook/serial_date.h"

#include <gtest/gtest.h>

namespace flovir {
namespace {

TEST(SerialDate, KnownDaysOfTheSpreadsheetCalendar) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 3, 1), 61.0);
  EXPECT_EQ(EncodeDate(2024, 3, 7), 45358.0);
}

TEST(SerialDate, DecodeRoundsToTheSecondAcrossMidnight) {
  const CivilDateTime t = DecodeDateTime(EncodeDate(2024, 2, 29) + 1.0 - 1e-9);
  EXPECT_EQ(t.year, 2024);
  EXPECT_EQ(t.month, 3);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.hour, 0);
  const CivilDateTime u = DecodeDateTime(EncodeDateTime({2011, 3, 5, 14, 5, 59}));
  EXPECT_EQ(u.hour, 14);
  EXPECT_EQ(u.minute, 5);
  EXPECT_EQ(u.second, 59);
}

TEST(SerialDate, MonthLengthsWithLeapYears) {
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2023, 2), 28);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  EXPECT_EQ(DaysInMonth(2023, 12), 31);
}

}  // namespace
}  // namespace flovir
