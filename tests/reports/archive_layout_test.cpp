// The archive layout table against the things that must agree with it: the
// design-time workbook's sheets, the window's report areas, the words of the
// command line, and the calendar of the entries.
#include "reports/archive_layout.h"

#include <gtest/gtest.h>

#include "operations/dispatcher.h"
#include "operations/words.h"
#include "workbook/serial_date.h"
#include "workbook/workbook.h"

namespace flovir {
namespace {

TEST(ArchiveLayout, EveryRowAgreesWithTheWorkbookTheWindowAndTheWords) {
  const WorkbookModel workbook = WorkbookModel::MakeArchiveWorkbook();
  ASSERT_EQ(workbook.SheetCount(), kArchiveKindCount);
  for (size_t i = 0; i < kArchiveKindCount; ++i) {
    const ArchiveLayout& layout = kArchiveLayouts[i];
    SCOPED_TRACE(layout.name);
    EXPECT_EQ(static_cast<size_t>(layout.kind), i);
    EXPECT_EQ(&LayoutOf(layout.kind), &layout);
    EXPECT_EQ(LayoutOf(layout.report), &layout);
    EXPECT_EQ(workbook.SheetName(layout.sheet_index), layout.sheet);
    EXPECT_EQ(ReportOf(OperationOf(layout.kind)), layout.report);
    EXPECT_EQ(std::string(layout.name) + ".txt", layout.report_file);
    EXPECT_EQ(layout.first_value_column, layout.time_column ? 2 : 1);
    EXPECT_TRUE(FindWord(kArchiveWords, WordOf(kArchiveWords, layout.kind)));
  }
  EXPECT_EQ(LayoutOf(ReportKind::Current), nullptr);
  EXPECT_EQ(LayoutOf(ReportKind::Test), nullptr);
}

TEST(ArchiveLayout, EntriesFollowOneAnotherByTheirStep) {
  struct Case {
    ArchiveKind kind;
    CivilDateTime at, next;
    int hours;
  } cases[] = {
      {ArchiveKind::Hourly, {2026, 12, 31, 23, 0, 0}, {2027, 1, 1, 0, 0, 0}, 1},
      {ArchiveKind::Daily, {2024, 2, 28, 0, 0, 0}, {2024, 2, 29, 0, 0, 0}, 24},
      {ArchiveKind::Monthly, {2024, 2, 1, 0, 0, 0}, {2024, 3, 1, 0, 0, 0}, 29 * 24},
      {ArchiveKind::Monthly, {2026, 12, 1, 0, 0, 0}, {2027, 1, 1, 0, 0, 0}, 31 * 24},
  };
  for (const Case& c : cases) {
    const double at = EncodeDateTime(c.at);
    EXPECT_EQ(NextEntryTime(c.kind, at), EncodeDateTime(c.next));
    EXPECT_EQ(IntervalHours(c.kind, at), c.hours);
  }
  // 24 hours land exactly on the next midnight.
  double at = EncodeDate(2026, 3, 29);
  for (int i = 0; i < 24; ++i) at = NextEntryTime(ArchiveKind::Hourly, at);
  EXPECT_EQ(at, EncodeDate(2026, 3, 30));
}

}  // namespace
}  // namespace flovir
