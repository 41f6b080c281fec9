// The meter's archives hang together the way a download expects: interval
// entries add up to the larger intervals and to the integrator readings, and
// the no-data marker stands exactly outside the recorded time.

#include <gtest/gtest.h>

#include "tests/meter-sim/test_frames.h"
#include "tools/meter-sim/meter_archive.h"

namespace flovir::sim {
namespace {

using test::FixedClock;

constexpr MeterDateTime kNow{2024, 3, 7, 10, 20, 30};
// 400 days before 7 March 2024.
constexpr MeterDateTime kFirstDay{2023, 2, 1};

MeterDateTime Day(int year, int month, int day, int hour = 0) {
  return {year, month, day, hour};
}

MeterDateTime NextDay(MeterDateTime t) {
  return FromSeconds(ToSeconds({t.year, t.month, t.day}) + kSecondsPerDay);
}

void AddTo(ArchiveEntry& sum, const ArchiveEntry& entry) {
  for (int c = 0; c < 4; ++c) {
    sum.volume[c] += entry.volume[c];
    sum.operating[c] += entry.operating[c];
  }
  sum.mains += entry.mains;
}

bool IsNoData(const ArchiveEntry& entry) {
  for (int c = 0; c < 4; ++c) {
    if (entry.volume[c] != kNoData || entry.operating[c] != kNoData) return false;
  }
  return entry.mains == 0 && entry.event_a == 0 && entry.event_b == 0;
}

class ArchiveTest : public ::testing::Test {
 protected:
  ArchiveEntry Hourly(MeterDateTime t) const {
    return meter.Entry(ArchiveKind::kHourly, ArchiveValueType::kInterval, t);
  }
  ArchiveEntry Daily(MeterDateTime t) const {
    return meter.Entry(ArchiveKind::kDaily, ArchiveValueType::kInterval, t);
  }
  ArchiveEntry Monthly(MeterDateTime t) const {
    return meter.Entry(ArchiveKind::kMonthly, ArchiveValueType::kInterval, t);
  }
  ArchiveEntry DayIntegrator(MeterDateTime t) const {
    return meter.Entry(ArchiveKind::kDaily, ArchiveValueType::kIntegrator, t);
  }
  ArchiveEntry MonthIntegrator(MeterDateTime t) const {
    return meter.Entry(ArchiveKind::kMonthly, ArchiveValueType::kIntegrator, t);
  }
  // The sum of the 24 hourly entries of a day, without event words.
  ArchiveEntry SumOfHours(MeterDateTime day) const {
    ArchiveEntry sum;
    for (int h = 0; h < 24; ++h) AddTo(sum, Hourly({day.year, day.month, day.day, h}));
    return sum;
  }

  SimulatedMeter meter{MeterOptions{.clock = FixedClock(kNow)}};
};

TEST_F(ArchiveTest, FirstDayLiesTheHistoryBeforeTheClock) {
  EXPECT_EQ(meter.FirstDay(), kFirstDay);
  SimulatedMeter young({.history_days = 3, .clock = FixedClock(kNow)});
  EXPECT_EQ(young.FirstDay(), Day(2024, 3, 4));
}

TEST_F(ArchiveTest, IntegratorsGrowByTheSumOfEachDaysHours) {
  // The first day, a month's end, a leap day and yesterday.
  for (MeterDateTime day : {kFirstDay, Day(2023, 6, 30), Day(2024, 2, 29), Day(2024, 3, 6)}) {
    ArchiveEntry step = DayIntegrator(NextDay(day));
    const ArchiveEntry before = DayIntegrator(day);
    for (int c = 0; c < 4; ++c) {
      step.volume[c] -= before.volume[c];
      step.operating[c] -= before.operating[c];
    }
    step.mains -= before.mains;
    step.event_a = step.event_b = 0;
    EXPECT_EQ(step, SumOfHours(day)) << day.year << "-" << day.month << "-" << day.day;
  }
  EXPECT_EQ(DayIntegrator(kFirstDay).volume, (std::array<uint32_t, 4>{}));
}

TEST_F(ArchiveTest, DailyAndMonthlyEntriesAreSumsOfTheirHoursAndDays) {
  for (MeterDateTime day : {kFirstDay, Day(2023, 12, 31), Day(2024, 3, 6)}) {
    ArchiveEntry daily = Daily(day);
    daily.event_a = daily.event_b = 0;
    EXPECT_EQ(daily, SumOfHours(day));
  }
  ArchiveEntry february;
  for (int d = 1; d <= 29; ++d) AddTo(february, Daily(Day(2024, 2, d)));
  ArchiveEntry monthly = Monthly(Day(2024, 2, 17));  // any day of the month selects it
  monthly.event_a = monthly.event_b = 0;
  EXPECT_EQ(monthly, february);
  // The monthly integrator is the daily one of the month's first day.
  EXPECT_EQ(MonthIntegrator(Day(2024, 2, 1)), DayIntegrator(Day(2024, 2, 1)));
}

TEST_F(ArchiveTest, RunningIntervalsHoldWhatHasEndedSoFar) {
  ArchiveEntry today;
  for (int h = 0; h < 10; ++h) AddTo(today, Hourly(Day(2024, 3, 7, h)));
  ArchiveEntry daily = Daily(Day(2024, 3, 7));
  daily.event_a = daily.event_b = 0;
  EXPECT_EQ(daily, today);
  EXPECT_FALSE(IsNoData(Hourly(Day(2024, 3, 7, 9))));
  EXPECT_TRUE(IsNoData(Hourly(Day(2024, 3, 7, 10)))) << "the running hour";
  EXPECT_FALSE(IsNoData(DayIntegrator(Day(2024, 3, 7))));
  EXPECT_FALSE(IsNoData(Monthly(Day(2024, 3, 1))));
}

TEST_F(ArchiveTest, NoDataOutsideTheRecordedTime) {
  EXPECT_TRUE(IsNoData(Hourly(Day(2023, 1, 31, 23))));
  EXPECT_FALSE(IsNoData(Hourly(Day(2023, 2, 1, 0))));
  EXPECT_TRUE(IsNoData(Daily(Day(2023, 1, 31))));
  EXPECT_TRUE(IsNoData(DayIntegrator(Day(2023, 1, 31))));
  EXPECT_TRUE(IsNoData(Monthly(Day(2023, 1, 1))));
  EXPECT_FALSE(IsNoData(Monthly(Day(2023, 2, 1))));
  // This meter began on the 1st of a month: that month's reading is zero.
  EXPECT_EQ(MonthIntegrator(Day(2023, 2, 1)), ArchiveEntry{});
  // One that began in the middle of a month has no reading for it.
  SimulatedMeter young({.history_days = 3, .clock = FixedClock(kNow)});
  EXPECT_TRUE(
      IsNoData(young.Entry(ArchiveKind::kMonthly, ArchiveValueType::kIntegrator, Day(2024, 3, 1))));
  EXPECT_FALSE(
      IsNoData(young.Entry(ArchiveKind::kMonthly, ArchiveValueType::kInterval, Day(2024, 3, 1))));

  EXPECT_TRUE(IsNoData(Hourly(Day(2024, 3, 8, 0))));
  EXPECT_TRUE(IsNoData(Daily(Day(2024, 3, 8))));
  EXPECT_TRUE(IsNoData(DayIntegrator(Day(2024, 3, 8))));
  EXPECT_TRUE(IsNoData(Monthly(Day(2024, 4, 1))));
  EXPECT_TRUE(IsNoData(MonthIntegrator(Day(2024, 4, 1))));
}

TEST_F(ArchiveTest, EntriesDependOnTheirDateAndHourAlone) {
  // A meter whose clock reads a year later holds the same hours.
  SimulatedMeter later({.clock = FixedClock({2025, 1, 15, 8, 0, 0})});
  EXPECT_EQ(later.Entry(ArchiveKind::kHourly, ArchiveValueType::kInterval, Day(2024, 3, 6, 14)),
            Hourly(Day(2024, 3, 6, 14)));
  EXPECT_EQ(later.Entry(ArchiveKind::kDaily, ArchiveValueType::kInterval, Day(2024, 3, 6)),
            Daily(Day(2024, 3, 6)));
  EXPECT_NE(Hourly(Day(2024, 3, 6, 14)), Hourly(Day(2024, 3, 6, 15)));
}

TEST_F(ArchiveTest, HourlyEntriesArePlausibleWithOccasionalEvents) {
  uint32_t marks_a = 0, marks_b = 0;
  int power_cuts = 0;
  for (int64_t hour = DayNumber(2023, 2, 1) * 24; hour < DayNumber(2024, 3, 7) * 24; ++hour) {
    const ArchiveEntry entry = Hourly(FromSeconds(hour * kSecondsPerHour));
    ASSERT_LE(entry.mains, 10000u);
    for (int c = 0; c < 4; ++c) {
      ASSERT_LE(entry.operating[c], entry.mains);
      ASSERT_LT(entry.volume[c], 10000u);
    }
    ASSERT_EQ(entry.event_a & ~0x03Fu, 0u) << "channels 1-2 only";
    ASSERT_EQ(entry.event_b & ~0xFC0u, 0u) << "channels 3-4 only";
    marks_a |= entry.event_a;
    marks_b |= entry.event_b;
    power_cuts += entry.mains < 10000;
  }
  EXPECT_EQ(marks_a | marks_b, 0xFFFu) << "every mark of every channel happens";
  EXPECT_GT(power_cuts, 0);
  EXPECT_LT(power_cuts, 24 * 400 / 50);

  // A day with marks shows them in both words of its daily entry.
  for (int d = 1; d <= 29; ++d) {
    const ArchiveEntry daily = Daily(Day(2024, 2, d));
    EXPECT_EQ(daily.event_a, daily.event_b);
  }
}

TEST_F(ArchiveTest, ClockSetBackHidesTheHoursAfterIt) {
  const uint8_t frame_data[] = {1, 16, 0, 0, 0, 3, 6, 24, 3, 1, 0, 0, 255};
  std::vector<uint8_t> frame(std::begin(frame_data), std::end(frame_data));
  AppendCrc(frame);
  ASSERT_FALSE(meter.HandleFrame(frame.data(), frame.size()).empty());
  EXPECT_EQ(meter.Clock(), Day(2024, 3, 1));
  EXPECT_TRUE(IsNoData(Hourly(Day(2024, 3, 1, 0))));
  EXPECT_FALSE(IsNoData(Hourly(Day(2024, 2, 29, 23))));
  EXPECT_TRUE(IsNoData(Daily(Day(2024, 3, 2))));
}

TEST(MeterCalendarTest, SecondsAndDatesConvertBothWays) {
  for (MeterDateTime t : {MeterDateTime{1970, 1, 1}, MeterDateTime{2024, 2, 29, 23, 59, 59},
                          MeterDateTime{1999, 12, 31, 12, 0, 1}, MeterDateTime{1969, 12, 31, 23}}) {
    EXPECT_EQ(FromSeconds(ToSeconds(t)), t);
  }
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2023, 2), 28);
  EXPECT_EQ(DaysInMonth(2023, 12), 31);
  EXPECT_FALSE(IsValidDate(2023, 2, 29));
  EXPECT_FALSE(IsValidDate(2024, 0, 1));
  EXPECT_TRUE(IsValidDate(2000, 2, 29));
}

TEST(VolumeScaleTest, CodesRoundToTheNearestEvenAndSelectTheMultiplier) {
  EXPECT_EQ(VolumeScale(1), 1.0f);
  EXPECT_EQ(VolumeScale(2.6f), 0.01f);
  EXPECT_EQ(VolumeScale(2.5f), 0.1f);
  EXPECT_EQ(VolumeScale(3.5f), 0.001f);
  EXPECT_EQ(VolumeScale(0), 10.0f);
  EXPECT_EQ(VolumeScale(5), 10.0f);
  EXPECT_EQ(VolumeScale(259), 0.01f) << "the low 8 bits of the rounded code";
}

}  // namespace
}  // namespace flovir::sim
