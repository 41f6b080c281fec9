// The pieces of the outputs that a parser elsewhere would trip over: CSV
// quoting, exact decimals, and which days an incremental run asks for.

#include <gtest/gtest.h>

#include "collect/state.h"
#include "export/export.h"
#include "workbook/serial_date.h"

namespace flovir::collect {
namespace {

TEST(Export, CsvQuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(CsvRecord({"a", "b c", ""}), "a,b c,\r\n");
  EXPECT_EQ(CsvRecord({"Время по, мкс", "say \"hi\"", "two\nlines"}),
            "\"Время по, мкс\",\"say \"\"hi\"\"\",\"two\nlines\"\r\n");
}

TEST(Export, NumbersKeepTheMetersPrecision) {
  EXPECT_EQ(DecimalText(12345, 1), "1234.5");
  EXPECT_EQ(DecimalText(5, 4), "0.0005");
  EXPECT_EQ(DecimalText(-5, 4), "-0.0005");
  EXPECT_EQ(DecimalText(4294967295, 2), "42949672.95");  // the report shows 42949671,990
  EXPECT_EQ(FloatText(0.1f), "0.1");
  EXPECT_EQ(FloatText(12.5f), "12.5");
}

// A download's values as the CSV has them: exact counts at each scale, the
// mains-off time in whole 1/10000 h (negative when the meter powered more
// than the hour), the single-precision totals, and an integrator of a day
// not complete without values.
TEST(Export, ArchiveRowsRenderTheDownloadsValues) {
  const VolumeScales scales{VolumeScaleOf(2), VolumeScaleOf(3), VolumeScaleOf(0), VolumeScaleOf(4)};
  ArchiveRecord record;
  record.volume = {12345, 7, 3, 0};
  record.operating_time = {5000, 0, 0, 1};
  record.mains_time = 12500;
  record.event_word_a = 1u << 2;  // X on channel 1
  const ChannelValues values = ChannelValuesOf(record.volume, record.operating_time, scales);
  ArchiveData archive{.kind = ArchiveKind::Hourly, .scales = scales};
  archive.entries = {
      ArchiveEntryOf(record, archive.kind, EncodeDate(2026, 12, 3) + 13 / 24.0, scales)};
  archive.totals = ArchiveTotals{values, static_cast<float>(1 - 1.25)};
  archive.integrators = {{.date = EncodeDate(2026, 12, 3), .values = values},
                         {.date = EncodeDate(2026, 12, 4), .values = {}, .unrecorded = true}};
  const std::string v = "1234.5,0.07,30,0.000,0.5000,0.0000,0.0000,0.0001";
  const std::string lines[] = {
      "row,time,V1_m3,V2_m3,V3_m3,V4_m3,B1_h,B2_h,B3_h,B4_h,mains_off_h,events,no_value",
      "interval,2026-12-03T13:00," + v + ",-0.2500,X" + std::string(24, ' ') + ",",
      "total,," + v + ",-0.25,,",
      "integrator,2026-12-03T00:00," + v + ",,,",
      "integrator,2026-12-04T00:00,,,,,,,,,,,day not complete",
  };
  std::string csv;
  for (const std::string& line : lines) csv += line + "\r\n";
  EXPECT_EQ(ArchiveCsv(ArchiveRows(archive)), csv);

  // A download that ended before its totals has only its entries.
  archive.kind = ArchiveKind::Monthly;
  archive.totals.reset();
  const auto rows = ArchiveRows(archive);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].time, "2026-12");
}

TEST(State, NextRangeStartsAfterTheLastCompleteDayOrMonth) {
  const double today = EncodeDate(2026, 3, 10) + 0.1;  // 02:24
  const struct {
    ArchiveKind kind;
    std::optional<double> done;
    double first, last;
    bool due;
  } cases[] = {
      {ArchiveKind::Hourly, {}, EncodeDate(2026, 3, 5), EncodeDate(2026, 3, 9), true},
      {ArchiveKind::Daily, EncodeDate(2026, 3, 8), EncodeDate(2026, 3, 9), EncodeDate(2026, 3, 9),
       true},
      {ArchiveKind::Daily, EncodeDate(2026, 3, 9), EncodeDate(2026, 3, 10), EncodeDate(2026, 3, 9),
       false},
      {ArchiveKind::Monthly, {}, EncodeDate(2025, 10, 1), EncodeDate(2026, 2, 1), true},
      {ArchiveKind::Monthly, EncodeDate(2025, 12, 1), EncodeDate(2026, 1, 1),
       EncodeDate(2026, 2, 1), true},
      {ArchiveKind::Monthly, EncodeDate(2026, 2, 1), EncodeDate(2026, 3, 1), EncodeDate(2026, 2, 1),
       false},
  };
  for (const auto& c : cases) {
    const ArchiveRangeToRead range = NextArchiveRange(c.kind, c.done, today, 5);
    EXPECT_EQ(range.first, c.first) << ArchiveName(c.kind);
    EXPECT_EQ(range.last, c.last) << ArchiveName(c.kind);
    EXPECT_EQ(range.due, c.due) << ArchiveName(c.kind);
  }
}

}  // namespace
}  // namespace flovir::collect
