// The service report's reading of the two clocks.

#include <gtest/gtest.h>

#include "print/service_report.h"
#include "workbook/serial_date.h"

namespace flovir::print {
namespace {

TEST(ServiceReportClock, DifferenceInTheUsersWords) {
  const double computer = EncodeDateTime({2026, 12, 9, 17, 40, 0});
  struct Case {
    double seconds;
    const char* text;
  } cases[] = {
      {0, "часы прибора и компьютера совпадают"},
      {0.4, "часы прибора и компьютера совпадают"},
      {5, "часы прибора спешат на 05 с"},
      {-65, "часы прибора отстают на 1 мин 05 с"},
      {7200, "часы прибора спешат на 2 ч 00 мин 00 с"},
      {-(3 * 86400 + 3600 + 61), "часы прибора отстают на 3 сут 1 ч 01 мин 01 с"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClockDifferenceText(computer + c.seconds / 86400.0, computer), c.text) << c.seconds;
  }
}

TEST(ServiceReportClock, MeterClockAsADate) {
  const auto serial = MeterClockSerial({7, 3, 24, 9, 5, 0});
  ASSERT_TRUE(serial.has_value());
  EXPECT_DOUBLE_EQ(*serial, EncodeDateTime({2024, 3, 7, 9, 5, 0}));
  // A clock that was never set, or a date no calendar has.
  for (const DeviceClock clock :
       {DeviceClock{0, 0, 0, 0, 0, 0}, DeviceClock{30, 2, 25, 0, 0, 0},
        DeviceClock{1, 1, 25, 24, 0, 0}, DeviceClock{1, 13, 25, 0, 0, 0}}) {
    EXPECT_FALSE(MeterClockSerial(clock).has_value());
  }
}

}  // namespace
}  // namespace flovir::print
