// Whole downloads exported row by row, saved as an Excel 5.0 file, read back
// by our reader and turned into the table, which must equal the table built
// independently from the raw entries.

#include <filesystem>

#include <gtest/gtest.h>

#include "operations/archive_report.h"
#include "tests/reports/archive_fixture.h"
#include "tests/reports/recording_view.h"
#include "tests/support/files.h"
#include "workbook/cp1251.h"

namespace flovir {
namespace {

using namespace flovir::testing;

ReportKind ReportOf(ArchiveKind kind) {
  return kind == ArchiveKind::Hourly  ? ReportKind::Hourly
         : kind == ArchiveKind::Daily ? ReportKind::Daily
                                      : ReportKind::Monthly;
}

class ArchiveRoundTrip : public ::testing::Test {
 protected:
  // Exports, saves, reads back into the same workbook and builds the table.
  std::vector<std::string> RoundTrip(const Download& d) {
    Export(xls_, d, folder_.Path());
    EXPECT_TRUE(SaveArchiveWorkbook(xls_, view_));
    return BuildArchiveTable(ReportOf(d.kind), xls_, xls_.FileName(), view_);
  }

  testing::ScratchFolder folder_{"flovir-roundtrip"};
  WorkbookModel xls_ = WorkbookModel::MakeArchiveWorkbook();
  RecordingView view_;
};

void ExpectSameLines(const std::vector<std::string>& actual,
                     const std::vector<std::string>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << "line " << i;
}

TEST_F(ArchiveRoundTrip, OneHourlyRecord) {
  const Download d = OneHourlyRecord();
  const std::vector<std::string> lines = RoundTrip(d);
  ExpectSameLines(lines, ExpectedTable(d));
  EXPECT_EQ(Utf8Length(lines[7]), 133u);
  EXPECT_EQ(lines[12].substr(10, 6), "  9:00");
}

TEST_F(ArchiveRoundTrip, ManyHourlyRecordsWithNoDataAndEvents) {
  const Download d = ManyHourlyRecords();
  ExpectSameLines(RoundTrip(d), ExpectedTable(d));
}

TEST_F(ArchiveRoundTrip, ManyDailyRecordsAcrossTheYear) {
  const Download d = ManyDailyRecords();
  ExpectSameLines(RoundTrip(d), ExpectedTable(d));
}

TEST_F(ArchiveRoundTrip, MonthsOfALeapYear) {
  const Download d = LeapYearMonths();
  const std::vector<std::string> lines = RoundTrip(d);
  ExpectSameLines(lines, ExpectedTable(d));
  // February: 696 h minus 696 h of mains power.
  EXPECT_EQ(lines[13].substr(90, 9), "    0,000");
}

TEST_F(ArchiveRoundTrip, AllThreeArchivesShareOneFile) {
  // Each download replaces its own sheet and keeps the others; the second
  // round uses the formats read back from the file.
  for (int round = 0; round < 2; ++round) {
    for (const Download& d : {LeapYearMonths(), ManyDailyRecords(), OneHourlyRecord()}) {
      ExpectSameLines(RoundTrip(d), ExpectedTable(d));
    }
  }
  EXPECT_TRUE(xls_.FormatsFromFile());
  WorkbookModel fresh;
  fresh.SetFileName(xls_.FileName());
  fresh.LoadWorkbook();
  ExpectSameLines(ArchiveTableLines(ReportKind::Monthly, fresh), ExpectedTable(LeapYearMonths()));
  ExpectSameLines(ArchiveTableLines(ReportKind::Daily, fresh), ExpectedTable(ManyDailyRecords()));
}

}  // namespace
}  // namespace flovir
