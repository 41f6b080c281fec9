#include "reports/archive_table.h"

#include <gtest/gtest.h>

#include "tests/reports/table_texts.h"
#include "workbook/cp1251.h"
#include "workbook/serial_date.h"

namespace flovir {
namespace {

using namespace flovir::testing;

// A sheet written cell by cell in the archive layout.
struct SheetBuilder {
  WorkbookModel workbook = WorkbookModel::MakeArchiveWorkbook();
  size_t sheet;
  int first;  // first value column

  SheetBuilder(size_t sheet_index, int first_value_column, const std::string& title)
      : sheet(sheet_index), first(first_value_column) {
    workbook.SetTextCell(sheet, 0, 0, title, 0);
    workbook.SetTextCell(sheet, 0, 1, "создан: 02.02.2009 9:05:07", 0);
    workbook.SetTextCell(sheet, 0, 2, "узел: неизвестен", 0);
    workbook.SetTextCell(sheet, 0, 5, "сетевой номер: 1", 0);
    workbook.SetTextCell(sheet, 0, 7, "Дата", 4);
  }
  void Row(int row, double date, const std::vector<double>& values, const std::string& events) {
    workbook.SetNumberCell(sheet, 0, static_cast<uint16_t>(row), date, 1);
    if (first == 2) workbook.SetNumberCell(sheet, 1, static_cast<uint16_t>(row), date, 5);
    for (size_t i = 0; i < values.size(); ++i) {
      workbook.SetNumberCell(sheet, static_cast<uint16_t>(first + static_cast<int>(i)),
                             static_cast<uint16_t>(row), values[i], 2);
    }
    if (!events.empty())
      workbook.SetTextCell(sheet, static_cast<uint16_t>(first + 9), static_cast<uint16_t>(row),
                           events, 6);
  }
  void Totals(int row, const std::vector<double>& values) {
    workbook.SetTextCell(sheet, 0, static_cast<uint16_t>(row), "Итого:", 4);
    for (size_t i = 0; i < values.size(); ++i) {
      workbook.SetNumberCell(sheet, static_cast<uint16_t>(first + static_cast<int>(i)),
                             static_cast<uint16_t>(row), values[i], 2);
    }
  }
  std::vector<std::string> TitleLines(const std::string& title) const {
    return {title, "создан: 02.02.2009 9:05:07", "узел: неизвестен", "", "", "сетевой номер: 1",
            ""};
  }
};

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(PadColumn, RightAlignedWithRunsOfHashes) {
  EXPECT_EQ(PadColumn("1,500", 10), "      1,500");
  EXPECT_EQ(PadColumn("999999,999", 10), " 999999,999");
  EXPECT_EQ(PadColumn("1000000,000", 10), " ##########");
  EXPECT_EQ(PadColumn("10000,000", 8), " ########");
  EXPECT_EQ(PadColumn("", 3), "    ");
}

TEST(TableTexts, DatesAndTimes) {
  EXPECT_EQ(TableDateText(EncodeDate(2009, 2, 1)), "01.02.2009");
  EXPECT_EQ(TableDateText(0), "30.12.1899");
  EXPECT_EQ(TableDateText(1e300), "");
  EXPECT_EQ(TableTimeText(EncodeDateTime({2009, 2, 1, 9, 5, 0})), " 9:05");
  EXPECT_EQ(TableTimeText(EncodeDateTime({2009, 2, 1, 0, 0, 0})), " 0:00");
  EXPECT_EQ(TableTimeText(EncodeDateTime({2009, 2, 1, 23, 0, 0})), "23:00");
  EXPECT_EQ(TableTimeText(EncodeDateTime({2009, 2, 1, 10, 0, 59})), "10:00");
}

TEST(ArchiveTable, DailyLineColumnsWidthsAndHashes) {
  const std::string title = "Суточный архив с 01.02.2009 по 02.02.2009";
  SheetBuilder s(0, 1, title);
  const std::string events = "X < >  X < > X < > X < > ";
  s.Row(8, EncodeDate(2009, 2, 1), {1.5, 999999.999, 1000000, 0, 9999.999, 10000, 0, 2.5, -0.5},
        events);
  s.Row(9, EncodeDate(2009, 2, 2), {-0.0004, 0, 0, 0, 0, 0, 0, 0, 0}, std::string(25, ' '));
  s.Totals(10, {1.5, 999999.999, 1000000, 0, 9999.999, 10000, 0, 2.5, -0.5});
  const std::vector<std::string> lines = ArchiveTableLines(ReportKind::Daily, s.workbook);

  const std::string row8 =
      "01.02.2009      1,500 999999,999 ##########      0,000 9999,999 ########    0,000    2,500"
      "   -0,500 X < >  X < > X < > X < > ";
  const std::string row9 =
      "02.02.2009      0,000      0,000      0,000      0,000    0,000    0,000    0,000    0,000"
      "    0,000                          ";
  const std::string totals =
      "Итого:          1,500 999999,999 ##########      0,000 9999,999 ########    0,000    2,500"
      "   -0,500";
  const std::vector<std::string> expected =
      Concat({s.TitleLines(title),
              kDailyHeader,
              {row8, row9, kDailyDash, totals},
              kIntegratorHeader,
              {kZeroIntegrator, kZeroIntegrator, kIntegratorDash}});
  EXPECT_EQ(lines, expected);
  // Events start at character 101; the dash lines and the header agree.
  EXPECT_EQ(row8.find('X'), 100u);
  EXPECT_EQ(Utf8Length(lines[12]), 125u);
  for (const std::string& line : kIntegratorHeader)
    if (Utf8Length(line) > 20) {
      EXPECT_EQ(Utf8Length(line), 114u) << line;
    }
  EXPECT_EQ(Utf8Length(kZeroIntegrator), 114u);
}

TEST(ArchiveTable, HourlyLineHasTheTimeAndWiderTotalsLabel) {
  const std::string title = "Часовой архив с 01.02.2009 по 02.02.2009";
  SheetBuilder s(1, 2, title);
  s.Row(8, EncodeDateTime({2009, 2, 1, 0, 0, 0}), {1, 2, 3, 4, 0.5, 0.5, 0.5, 0.5, 0.5},
        "                         ");
  s.Row(9, EncodeDateTime({2009, 2, 1, 9, 0, 0}), {1, 2, 3, 4, 0.5, 0.5, 0.5, 0.5, 0.5},
        "                         ");
  s.Totals(10, {2, 4, 6, 8, 1, 1, 1, 1, 1});
  // Integrator rows three rows below the totals.
  s.Row(13, EncodeDate(2009, 2, 1), {100.25, 0, 0, 123456789.5, 1, 2, 3, 4}, "");
  s.Row(14, EncodeDate(2009, 2, 2), {1e11, 0, 0, 0, 1e7, 0, 0, 0}, "");
  const std::vector<std::string> lines = ArchiveTableLines(ReportKind::Hourly, s.workbook);
  const std::string blank(25, ' ');
  const std::vector<std::string> expected = Concat({
      s.TitleLines(title),
      kHourlyHeader,
      {"01.02.2009  0:00      1,000      2,000      3,000      4,000    0,500    0,500    0,500"
       "    0,500    0,500 " +
           blank,
       "01.02.2009  9:00      1,000      2,000      3,000      4,000    0,500    0,500    0,500"
       "    0,500    0,500 " +
           blank,
       kHourlyDash,
       "Итого:                2,000      4,000      6,000      8,000    1,000    1,000    1,000"
       "    1,000    1,000"},
      kIntegratorHeader,
      {"01.02.2009        100,250          0,000          0,000  123456789,500      1,000      "
       "2,000      3,000      4,000",
       "02.02.2009 ##############          0,000          0,000          0,000 ##########      "
       "0,000      0,000      0,000",
       kIntegratorDash},
  });
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(Utf8Length(lines[12]), 131u);
}

TEST(ArchiveTable, MonthlyIntegratorsUntilAnUndatedRow) {
  const std::string title = "Месячный архив с 01.01.2024 по 01.03.2024";
  SheetBuilder s(2, 1, title);
  s.Totals(8, {0, 0, 0, 0, 0, 0, 0, 0, 0});  // no interval rows at all
  s.Row(11, EncodeDate(2024, 1, 1), {1, 1, 1, 1, 1, 1, 1, 1}, "");
  s.Row(12, EncodeDate(2024, 2, 1), {2, 2, 2, 2, 2, 2, 2, 2}, "");
  s.Row(13, EncodeDate(2024, 3, 1), {3, 3, 3, 3, 3, 3, 3, 3}, "");
  s.workbook.SetTextCell(2, 0, 14, "не дата", 0);
  s.Row(15, EncodeDate(2024, 4, 1), {4, 4, 4, 4, 4, 4, 4, 4}, "");
  const std::vector<std::string> lines = ArchiveTableLines(ReportKind::Monthly, s.workbook);
  ASSERT_EQ(lines.size(), 7u + 5 + 2 + 7 + 3 + 1);
  EXPECT_EQ(lines[12], kDailyDash);
  EXPECT_EQ(lines[13],
            "Итого:          0,000      0,000      0,000      0,000    0,000    0,000    0,000    "
            "0,000    0,000");
  EXPECT_EQ(
      lines[21],
      "01.01.2024          1,000          1,000          1,000          1,000      1,000      "
      "1,000      1,000      1,000");
  EXPECT_EQ(lines[23].substr(0, 10), "01.03.2024");
  EXPECT_EQ(lines.back(), kIntegratorDash);

  // No integrator rows at all: the dash line follows the header directly.
  SheetBuilder empty(2, 1, title);
  empty.Totals(8, {0, 0, 0, 0, 0, 0, 0, 0, 0});
  const std::vector<std::string> none = ArchiveTableLines(ReportKind::Monthly, empty.workbook);
  EXPECT_EQ(none.size(), 7u + 5 + 2 + 7 + 1);
}

TEST(ArchiveTable, WrongTitleGivesOnlyTheTitleLines) {
  SheetBuilder s(0, 1, "Часовой архив с 01.02.2009 по 02.02.2009");
  s.Row(8, EncodeDate(2009, 2, 1), {1, 2, 3, 4, 5, 6, 7, 8, 9}, "");
  const std::vector<std::string> lines = ArchiveTableLines(ReportKind::Daily, s.workbook);
  EXPECT_EQ(lines, s.TitleLines("Часовой архив с 01.02.2009 по 02.02.2009"));
  // A workbook without the monthly sheet at all.
  WorkbookModel one_sheet;
  EXPECT_EQ(ArchiveTableLines(ReportKind::Monthly, one_sheet), std::vector<std::string>(7));
}

}  // namespace
}  // namespace flovir
