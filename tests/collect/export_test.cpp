// The pieces of the outputs that a parser elsewhere would trip over: CSV
// quoting, exact decimals, and which days an incremental run asks for.

#include <gtest/gtest.h>

#include "collect/export.h"
#include "collect/state.h"
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
