#include "operations/archive_workbook.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "workbook/serial_date.h"

namespace flovir {
namespace {

const VolumeScales kScales = {VolumeScaleOf(1), VolumeScaleOf(2), VolumeScaleOf(3),
                              VolumeScaleOf(0)};

ArchiveRecord Record(uint32_t volume, uint32_t time, uint32_t mains) {
  ArchiveRecord r;
  r.volume = {volume, volume, volume, volume};
  r.operating_time = {time, time, time, time};
  r.mains_time = mains;
  return r;
}

class ArchiveWorkbookTest : public ::testing::Test {
 protected:
  ArchiveSheet Begin(ArchiveKind kind, double start = EncodeDate(2009, 2, 1),
                     double end = EncodeDate(2009, 2, 2)) {
    return BeginArchiveSheet(xls_, kind, start, end, EncodeDateTime({2009, 2, 2, 9, 5, 7}), 17,
                             folder_.Path());
  }
  std::string Text(size_t sheet, int column, int row) const {
    return xls_.GetCellText(sheet, static_cast<uint16_t>(column), static_cast<uint16_t>(row));
  }
  double Number(size_t sheet, int column, int row) const {
    return xls_.GetCellNumber(sheet, static_cast<uint16_t>(column), static_cast<uint16_t>(row));
  }
  int Format(size_t sheet, int column, int row) const {
    return xls_.GetCellFormat(sheet, static_cast<uint16_t>(column), static_cast<uint16_t>(row));
  }
  CellType Type(size_t sheet, int column, int row) const {
    return xls_.GetCellType(sheet, static_cast<uint16_t>(column), static_cast<uint16_t>(row));
  }

  testing::ScratchFolder folder_{"flovir-xls"};
  WorkbookModel xls_ = WorkbookModel::MakeArchiveWorkbook();
};

TEST_F(ArchiveWorkbookTest, OneHourlyRecordGivesTheWholeLayout) {
  ArchiveSheet sheet = Begin(ArchiveKind::Hourly);
  const double at = EncodeDateTime({2009, 2, 1, 9, 0, 0});
  AddRecordRow(xls_, sheet, ArchiveKind::Hourly, Record(12345, 5000, 10000), at, kScales);
  AddTotalsRow(xls_, sheet, ArchiveKind::Hourly, kScales);
  AddIntegratorLabel(xls_, sheet);
  AddIntegratorRow(xls_, sheet, ArchiveKind::Hourly, Record(7, 20000, 0), EncodeDate(2009, 2, 1),
                   kScales);
  AddIntegratorRow(xls_, sheet, ArchiveKind::Hourly, Record(8, 30000, 0), EncodeDate(2009, 2, 2),
                   kScales);
  EXPECT_EQ(std::filesystem::path(xls_.FileName()), folder_ / "temp.xls");
  EXPECT_EQ(sheet.cell_format_base, 0);

  const size_t h = 1;
  EXPECT_EQ(Text(h, 0, 0), "Часовой архив с 01.02.2009 по 02.02.2009");
  EXPECT_EQ(Text(h, 0, 1), "создан: 02.02.2009 9:05:07");
  EXPECT_EQ(Text(h, 0, 2), "узел: неизвестен");
  EXPECT_EQ(Text(h, 0, 3), "точка: неизвестен");
  EXPECT_EQ(Text(h, 0, 4), "прибор: неизвестен");
  EXPECT_EQ(Text(h, 0, 5), "сетевой номер: 17");
  EXPECT_EQ(Type(h, 0, 6), CellType::None);
  EXPECT_EQ(Format(h, 0, 0), 0);
  EXPECT_EQ(Text(h, 1, 7), "Время");
  EXPECT_EQ(Text(h, 10, 7), "Время отсутствия сети");
  EXPECT_EQ(Text(h, 11, 7), "События");
  EXPECT_EQ(Format(h, 11, 7), 4);

  // Row 8: the record.
  EXPECT_EQ(Number(h, 0, 8), at);
  EXPECT_EQ(Format(h, 0, 8), 1);
  EXPECT_EQ(Number(h, 1, 8), at);
  EXPECT_EQ(Format(h, 1, 8), 5);
  EXPECT_EQ(Number(h, 2, 8), 12345.0);
  EXPECT_EQ(Number(h, 3, 8), 12345 * static_cast<double>(0.1f));
  EXPECT_EQ(Number(h, 4, 8), 12345 * static_cast<double>(0.01f));
  EXPECT_EQ(Number(h, 5, 8), 123450.0);
  EXPECT_EQ(Format(h, 5, 8), 2);
  EXPECT_EQ(Number(h, 6, 8), 0.5);
  EXPECT_EQ(Format(h, 9, 8), 3);
  EXPECT_EQ(Number(h, 10, 8), 0.0);  // MainsTime 10000 in an hour
  EXPECT_EQ(Format(h, 10, 8), 3);
  EXPECT_EQ(Text(h, 11, 8), std::string(25, ' '));
  EXPECT_EQ(Format(h, 11, 8), 6);

  // Row 9: totals; 10 empty; 11 the label; 12 and 13 the integrators.
  EXPECT_EQ(Text(h, 0, 9), "Итого:");
  EXPECT_EQ(Type(h, 0, 9), CellType::Text);
  EXPECT_EQ(Type(h, 1, 9), CellType::Text);
  EXPECT_EQ(Text(h, 1, 9), "");
  EXPECT_EQ(Format(h, 1, 9), 4);
  EXPECT_EQ(Number(h, 2, 9), 12345.0);
  EXPECT_EQ(Number(h, 10, 9), 0.0);
  EXPECT_EQ(Type(h, 11, 9), CellType::Text);
  for (int c = 0; c < 12; ++c) EXPECT_EQ(Type(h, c, 10), CellType::None);
  EXPECT_EQ(Text(h, 0, 11), "Интеграторы:");
  EXPECT_EQ(Format(h, 0, 11), 0);
  EXPECT_EQ(Number(h, 0, 12), EncodeDate(2009, 2, 1));
  EXPECT_EQ(Type(h, 1, 12), CellType::None);
  EXPECT_EQ(Number(h, 2, 12), 7.0);
  EXPECT_EQ(Number(h, 6, 12), 2.0);
  EXPECT_EQ(Type(h, 10, 12), CellType::None);
  EXPECT_EQ(Type(h, 11, 12), CellType::None);
  EXPECT_EQ(Number(h, 9, 13), 3.0);
  EXPECT_EQ(sheet.next_row, 14);
  // The other sheets are untouched.
  EXPECT_EQ(Type(0, 0, 0), CellType::None);
  EXPECT_EQ(Type(2, 0, 0), CellType::None);
}

TEST_F(ArchiveWorkbookTest, DailyAndMonthlyColumns) {
  ArchiveSheet daily = Begin(ArchiveKind::Daily);
  ArchiveRecord r = Record(1, 240000, 230000);
  r.event_word_a = 0xFFF;  // ignored by the daily archive
  r.event_word_b = 1u << 2 | 1u << 10;
  AddRecordRow(xls_, daily, ArchiveKind::Daily, r, EncodeDate(2009, 2, 1), kScales);
  EXPECT_EQ(Text(0, 0, 0), "Суточный архив с 01.02.2009 по 02.02.2009");
  EXPECT_EQ(Text(0, 1, 7), "V1,м3 (Объём по 1 каналу)");
  EXPECT_EQ(Text(0, 10, 7), "События");
  EXPECT_EQ(Type(0, 11, 7), CellType::None);
  EXPECT_EQ(Number(0, 1, 8), 1.0);
  EXPECT_EQ(Number(0, 5, 8), 24.0);
  EXPECT_EQ(Number(0, 9, 8), 1.0);
  EXPECT_EQ(Text(0, 10, 8), "X                      > ");

  ArchiveSheet monthly =
      Begin(ArchiveKind::Monthly, EncodeDate(2008, 1, 1), EncodeDate(2008, 3, 1));
  ArchiveRecord m = Record(0, 0, 6960000);
  m.event_word_a = 1u << 0 | 1u << 4;
  m.event_word_b = 1u << 7 | 1u << 9;
  AddRecordRow(xls_, monthly, ArchiveKind::Monthly, m, EncodeDate(2008, 2, 1), kScales);
  AddRecordRow(xls_, monthly, ArchiveKind::Monthly, Record(0, 0, 0), EncodeDate(2008, 3, 1),
               kScales);
  EXPECT_EQ(Text(2, 0, 0), "Месячный архив с 01.01.2008 по 01.03.2008");
  EXPECT_EQ(Format(2, 0, 8), 7);
  EXPECT_EQ(Number(2, 9, 8), 0.0);  // 29 days x 24 h of power
  EXPECT_EQ(Number(2, 9, 9), 744.0);
  EXPECT_EQ(Text(2, 10, 8), "  <        >     >   <   ");
}

TEST_F(ArchiveWorkbookTest, TotalsWrapAndMainsOffSumsInSinglePrecision) {
  ArchiveSheet sheet = Begin(ArchiveKind::Hourly);
  ArchiveRecord big = Record(0xFFFEFFFFu, 0xFFFEFFFFu, 9000);
  ArchiveRecord small = Record(0x00020000u, 1, 9000);
  AddRecordRow(xls_, sheet, ArchiveKind::Hourly, big, 0, kScales);
  AddRecordRow(xls_, sheet, ArchiveKind::Hourly, small, 0, kScales);
  float expected_sum = 0;
  for (int i = 0; i < 998; ++i) {
    AddRecordRow(xls_, sheet, ArchiveKind::Hourly, Record(0, 0, 9000), 0, kScales);
  }
  for (int i = 0; i < 1000; ++i) expected_sum += static_cast<float>(1 - 0.9);
  AddTotalsRow(xls_, sheet, ArchiveKind::Hourly, kScales);
  const int totals = 8 + 1000;
  // 0xFFFEFFFF + 0x20000 wraps to 0xFFFF.
  EXPECT_EQ(sheet.column_totals[0], 0xFFFFu);
  EXPECT_EQ(Number(1, 2, totals), 65535.0);
  EXPECT_EQ(Number(1, 4, totals), 65535 * static_cast<double>(0.01f));
  EXPECT_EQ(Number(1, 5, totals), 655350.0);
  EXPECT_EQ(Number(1, 6, totals), (0xFFFEFFFFu + 1u) / 10000.0);
  EXPECT_EQ(Number(1, 10, totals), static_cast<double>(expected_sum));
  EXPECT_NE(Number(1, 10, totals), 100.0);
}

TEST_F(ArchiveWorkbookTest, EveryBeginClearsItsSheetOnly) {
  ArchiveSheet first = Begin(ArchiveKind::Daily);
  for (int i = 0; i < 20; ++i)
    AddRecordRow(xls_, first, ArchiveKind::Daily, Record(1, 1, 1), EncodeDate(2009, 2, 1) + i,
                 kScales);
  ArchiveSheet hourly = Begin(ArchiveKind::Hourly);
  AddRecordRow(xls_, hourly, ArchiveKind::Hourly, Record(1, 1, 1), 0, kScales);
  ArchiveSheet second = Begin(ArchiveKind::Daily);
  AddRecordRow(xls_, second, ArchiveKind::Daily, Record(2, 2, 2), EncodeDate(2009, 3, 1), kScales);
  AddTotalsRow(xls_, second, ArchiveKind::Daily, kScales);
  // Nothing of the longer first download is left below the new totals.
  for (int row = 10; row < 30; ++row) EXPECT_EQ(Type(0, 0, row), CellType::None) << row;
  EXPECT_EQ(Number(1, 2, 8), 1.0);
}

TEST_F(ArchiveWorkbookTest, ReadBackWorkbookUsesTheFilesFormats) {
  ArchiveSheet sheet = Begin(ArchiveKind::Monthly);
  AddRecordRow(xls_, sheet, ArchiveKind::Monthly, Record(1, 1, 1), EncodeDate(2009, 1, 1), kScales);
  xls_.SaveWorkbook();
  xls_.LoadWorkbook();
  ASSERT_TRUE(xls_.FormatsFromFile());
  EXPECT_EQ(Format(2, 0, 8), 16 + 7);
  ArchiveSheet again = Begin(ArchiveKind::Monthly);
  EXPECT_EQ(again.cell_format_base, 16);
  AddRecordRow(xls_, again, ArchiveKind::Monthly, Record(1, 1, 1), EncodeDate(2009, 1, 1), kScales);
  EXPECT_EQ(Format(2, 0, 8), 16 + 7);
  EXPECT_EQ(Format(2, 10, 8), 16 + 6);
  EXPECT_EQ(Format(2, 0, 0), 16);
}

TEST_F(ArchiveWorkbookTest, ForeignWorkbookIsReplacedByTheArchiveLayout) {
  xls_ = WorkbookModel::MakeParameterWorkbook();
  ArchiveSheet sheet = Begin(ArchiveKind::Monthly);
  EXPECT_EQ(xls_.SheetCount(), 3u);
  EXPECT_EQ(xls_.SheetName(2), "months");
  EXPECT_EQ(sheet.cell_format_base, 0);
  EXPECT_EQ(Text(2, 0, 0), "Месячный архив с 01.02.2009 по 02.02.2009");
}

TEST_F(ArchiveWorkbookTest, RowsStopAtTheLastSheetRow) {
  ArchiveSheet sheet = Begin(ArchiveKind::Hourly);
  sheet.next_row = 65535;
  AddRecordRow(xls_, sheet, ArchiveKind::Hourly, Record(1, 1, 1), 0, kScales);
  EXPECT_EQ(Number(1, 2, 65535), 1.0);
  EXPECT_THROW(AddTotalsRow(xls_, sheet, ArchiveKind::Hourly, kScales), WorkbookError);
  EXPECT_EQ(Text(1, 0, 0), "Часовой архив с 01.02.2009 по 02.02.2009");
}

// A cause the disk does not show is taken for the file held open elsewhere.
TEST_F(ArchiveWorkbookTest, UnknownSaveFailureIsTakenForAFileHeldOpen) {
  EXPECT_EQ(ArchiveSaveFailedText(Utf8FromPath(folder_ / "temp.xls"),
                                  "Cannot create file \"x\": Permission denied"),
            kArchiveSaveFailedText);
}

TEST(EventMarksText, TwentyFiveCharacters) {
  EventMarks all;
  for (ChannelMarks& m : all) m = {true, true, true};
  EXPECT_EQ(EventMarksText(all), "X < >  X < > X < > X < > ");
  EXPECT_EQ(EventMarksText(EventMarks{}), std::string(25, ' '));
  EXPECT_EQ(EventMarksText(EventMarksOf(1u << 2, 1u << 11, ArchiveKind::Hourly)),
            "X                  X     ");
}

}  // namespace
}  // namespace flovir
