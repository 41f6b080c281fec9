// The date range and planned steps of a download, fixed when its button is
// pressed.

#include <gtest/gtest.h>

#include "operations/archive_download.h"
#include "tests/support/rig.h"

namespace flovir {
namespace {

using testing::At;

TEST(ArchiveRange, HourlyPastDayEndsAtMidnightAfterIt) {
  const auto r = ComputeArchiveRange(OperationKind::HourlyArchive, At(2024, 3, 5, 13),
                                     At(2024, 3, 5, 8), At(2024, 3, 20, 10, 20));
  EXPECT_EQ(r.start, At(2024, 3, 5));
  EXPECT_EQ(r.end, At(2024, 3, 6));
  EXPECT_EQ(r.planned_steps, 24);
}

TEST(ArchiveRange, HourlyTodayEndsAnHourAgo) {
  const double now = At(2024, 3, 20, 10, 20);
  const auto r = ComputeArchiveRange(OperationKind::HourlyArchive, now, now, now);
  EXPECT_NEAR(r.end, At(2024, 3, 20, 9, 20), 1e-9);
  EXPECT_EQ(r.planned_steps, 9);
  // Pressed at 00:30 with yesterday as start: the end falls on yesterday.
  const double early = At(2024, 3, 20, 0, 30);
  const auto y = ComputeArchiveRange(OperationKind::HourlyArchive, At(2024, 3, 19), early, early);
  EXPECT_NEAR(y.end, At(2024, 3, 19, 23, 30), 1e-9);
  EXPECT_EQ(y.planned_steps, 23);
}

TEST(ArchiveRange, DailyCountsBothEnds) {
  const auto r = ComputeArchiveRange(OperationKind::DailyArchive, At(2024, 3, 1), At(2024, 3, 3),
                                     At(2024, 3, 20));
  EXPECT_EQ(r.end, At(2024, 3, 3));
  EXPECT_EQ(r.planned_steps, 3);
}

TEST(ArchiveRange, MonthlyRunsFromFirstToFirst) {
  const auto r = ComputeArchiveRange(OperationKind::MonthlyArchive, At(2023, 1, 17), At(2023, 3, 9),
                                     At(2024, 3, 20));
  EXPECT_EQ(r.start, At(2023, 1, 1));
  EXPECT_EQ(r.end, At(2023, 3, 1));
  EXPECT_EQ(r.planned_steps, 4);  // 59 days div 15 + 1
  const auto leap = ComputeArchiveRange(OperationKind::MonthlyArchive, At(2024, 1, 1),
                                        At(2024, 12, 31), At(2025, 3, 20));
  EXPECT_EQ(leap.planned_steps, 335 / 15 + 1);
}

TEST(ArchiveRange, StartAfterEndPlansNoProgress) {
  const auto r = ComputeArchiveRange(OperationKind::DailyArchive, At(2024, 3, 5), At(2024, 3, 1),
                                     At(2024, 3, 20));
  EXPECT_LE(r.planned_steps, 0);
}

}  // namespace
}  // namespace flovir
