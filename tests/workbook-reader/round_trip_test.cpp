// Files written by our writer come back from the reader as they were
// written, and a loaded model saved again keeps its formats.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/files.h"
#include "workbook/model.h"

namespace flovir {
namespace {

namespace fs = std::filesystem;

class RoundTrip : public ::testing::Test {
 protected:
  WorkbookModel SaveAndLoad(WorkbookModel& model, const std::string& name) {
    model.SetFileName((dir_ / name).string());
    model.SaveWorkbook();
    WorkbookModel loaded;
    loaded.SetFileName(model.FileName());
    loaded.LoadWorkbook();
    return loaded;
  }

  testing::ScratchFolder dir_{"flovir-roundtrip"};
};

// An hourly archive as the export fills it: dates, times, volumes with
// their formats, Cyrillic texts, an empty text.
WorkbookModel FilledArchive() {
  WorkbookModel m = WorkbookModel::MakeArchiveWorkbook();
  for (size_t sheet = 0; sheet < 3; ++sheet) {
    m.SetTextCell(sheet, 0, 0, "Дата", 4);
    m.SetTextCell(sheet, 1, 0, "Итого:", 4);
    m.SetTextCell(sheet, 2, 0, "", 4);
    for (uint16_t row = 1; row <= 300; ++row) {
      m.SetNumberCell(sheet, 0, row, 45000 + row / 24.0, 1);
      m.SetNumberCell(sheet, 1, row, row / 24.0, 5);
      for (uint16_t col = 2; col < 12; ++col) {
        m.SetNumberCell(sheet, col, row, row * 1.001 + col * sheet, 2 + (col % 2));
      }
      if (row % 7 == 0) m.SetTextCell(sheet, 12, row, "ПД", 6);
    }
  }
  m.SetNumberCell(2, 255, 65535, -0.1, 0);  // the far corner, default format
  return m;
}

TEST_F(RoundTrip, WrittenCellsComeBackWithFormatIndexesShiftedBy16) {
  WorkbookModel written = FilledArchive();
  const WorkbookModel read = SaveAndLoad(written, "archive.xls");
  EXPECT_TRUE(read.FormatsFromFile());
  ASSERT_EQ(read.SheetCount(), 3u);
  size_t cells = 0;
  for (size_t sheet = 0; sheet < 3; ++sheet) {
    EXPECT_EQ(read.SheetName(sheet), written.SheetName(sheet));
    written.Data().sheets[sheet].cells.ForEach(
        [&](uint16_t row, uint8_t col, const WorkbookCell& c) {
          ++cells;
          ASSERT_EQ(read.GetCellType(sheet, col, row), c.type)
              << sheet << "!" << row << ":" << unsigned{col};
          EXPECT_EQ(read.GetCellFormat(sheet, col, row), c.format + 16);
          EXPECT_EQ(read.GetCellNumber(sheet, col, row), written.GetCellNumber(sheet, col, row));
          EXPECT_EQ(read.GetCellText(sheet, col, row), written.GetCellText(sheet, col, row));
        });
  }
  EXPECT_GT(cells, 9000u);
  size_t read_cells = 0;
  for (const WorkbookSheet& s : read.Data().sheets)
    s.cells.ForEach([&](auto, auto, auto&) { ++read_cells; });
  EXPECT_EQ(read_cells, cells);
  EXPECT_EQ(read.GetCellText(2, 255, 65535), "-0,1");
  EXPECT_EQ(read.Data().version, FormatVersion::Excel50);
  EXPECT_EQ(read.Data().code_page, 1251);
  // The 16 built-in XF records and the eight formats of the archive.
  ASSERT_EQ(read.Data().cell_formats.size(), 24u);
  const CellFormat& date = read.Data().cell_formats[16 + 1];
  EXPECT_EQ(read.Data().number_formats.Get(date.number_format), "dd/mm/yy");
  EXPECT_EQ(date.border_top, kLineThin);
  EXPECT_EQ(date.border_bottom, kLineThin);
}

TEST_F(RoundTrip, ALoadedModelSavedAgainKeepsItsFormats) {
  WorkbookModel written = WorkbookModel::MakeParameterWorkbook();
  for (uint16_t row = 0; row < 40; ++row) {
    for (uint16_t col = 0; col < 7; ++col) written.SetNumberCell(0, col, row, row + col / 8.0, col);
  }
  written.SetTextCell(0, 7, 0, "Параметр", 0);
  written.FitColumnWidth(0, 7);
  WorkbookModel first = SaveAndLoad(written, "first.xls");
  // A caller adds 16 to design-time indexes once formats come from the file.
  first.SetNumberCell(0, 0, 50, 1.5, 16 + 6);
  WorkbookModel second = SaveAndLoad(first, "second.xls");
  const WorkbookData& a = first.Data();
  const WorkbookData& b = second.Data();
  EXPECT_EQ(a.cell_formats, b.cell_formats);
  ASSERT_EQ(a.fonts.size(), b.fonts.size());
  for (size_t k = 0; k < a.fonts.size(); ++k) EXPECT_EQ(a.fonts[k], b.fonts[k]) << "font " << k;
  for (int k = 0; k < a.number_formats.Size(); ++k) {
    EXPECT_EQ(a.number_formats.Get(k), b.number_formats.Get(k)) << "number format " << k;
  }
  EXPECT_EQ(a.styles, b.styles);
  EXPECT_EQ(a.palette, b.palette);
  ASSERT_EQ(b.sheets[0].column_widths.size(), 1u);
  EXPECT_EQ(b.sheets[0].column_widths[0].width, a.sheets[0].column_widths[0].width);
  EXPECT_EQ(second.GetCellFormat(0, 0, 50), 22);
  EXPECT_EQ(b.number_formats.Get(b.cell_formats[22].number_format), "#######0.00000");
  for (uint16_t row = 0; row < 40; ++row) {
    for (uint16_t col = 0; col < 7; ++col) {
      EXPECT_EQ(second.GetCellNumber(0, col, row), row + col / 8.0);
      EXPECT_EQ(second.GetCellFormat(0, col, row), col + 16);
    }
  }
  EXPECT_EQ(second.GetCellText(0, 7, 0), "Параметр");
}

}  // namespace
}  // namespace flovir
