// A file we write loads back into the same model, and a loaded model is
// written again with its formats and indexes unchanged.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/files.h"
#include "tests/workbook/biff_records.h"
#include "workbook/biff5_writer.h"
#include "workbook/model.h"
#include "workbook/serial_date.h"
#include "workbook/workbook.h"

namespace flovir {
namespace {

namespace fs = std::filesystem;

class RoundTrip : public ::testing::Test {
 protected:
  WorkbookModel SaveAndLoad(WorkbookModel& model) {
    model.SetFileName(path_);
    model.SaveWorkbook();
    WorkbookModel loaded = WorkbookModel::MakeArchiveWorkbook();
    loaded.SetFileName(path_);
    loaded.LoadWorkbook();
    return loaded;
  }

  testing::ScratchFolder folder_{"flovir-roundtrip"};
  const std::string path_ = folder_.Path("round-trip.xls");
};

WorkbookModel FilledArchive() {
  WorkbookModel m = WorkbookModel::MakeArchiveWorkbook();
  m.SetTextCell(1, 0, 0, "Часовой архив с 01.02.2009 по 01.02.2009", 0);
  m.SetTextCell(1, 0, 7, "Дата", 4);
  m.SetNumberCell(1, 0, 8, EncodeDateTime({2009, 2, 1, 5, 0, 0}), 1);
  m.SetNumberCell(1, 1, 8, EncodeDateTime({2009, 2, 1, 5, 0, 0}), 5);
  m.SetNumberCell(1, 2, 8, 0.1, 2);
  m.SetTextCell(1, 11, 8, std::string(25, ' '), 6);
  m.SetTextCell(1, 1, 9, "", 4);
  m.SetNumberCell(2, 0, 8, EncodeDate(2009, 1, 1), 7);
  m.FitColumnWidth(1, 0);
  return m;
}

TEST_F(RoundTrip, CellsComeBackWithFormatIndexesShiftedBySixteen) {
  WorkbookModel written = FilledArchive();
  const WorkbookModel loaded = SaveAndLoad(written);
  ASSERT_EQ(loaded.SheetCount(), 3u);
  EXPECT_TRUE(loaded.FormatsFromFile());
  for (size_t s = 0; s < 3; ++s) {
    EXPECT_EQ(loaded.SheetName(s), written.SheetName(s));
    size_t cells = 0;
    written.Data().sheets[s].cells.ForEach(
        [&](uint16_t row, uint8_t column, const WorkbookCell& c) {
          ++cells;
          EXPECT_EQ(loaded.GetCellType(s, column, row), c.type) << row << ":" << int{column};
          EXPECT_EQ(loaded.GetCellText(s, column, row), written.GetCellText(s, column, row));
          EXPECT_EQ(loaded.GetCellNumber(s, column, row), written.GetCellNumber(s, column, row));
          EXPECT_EQ(loaded.GetCellFormat(s, column, row), c.format + 16);
        });
    size_t loaded_cells = 0;
    loaded.Data().sheets[s].cells.ForEach(
        [&](uint16_t, uint8_t, const WorkbookCell&) { ++loaded_cells; });
    EXPECT_EQ(loaded_cells, cells);
  }
}

TEST_F(RoundTrip, ALoadedModelIsWrittenAsItWasRead) {
  WorkbookModel written = FilledArchive();
  const std::string first = BuildBiff5Stream(written.Data());
  WorkbookModel loaded = SaveAndLoad(written);
  // Same records, byte for byte: the file's XF list, fonts, formats and
  // styles replace our built-in block, and cells keep their XF indexes.
  const std::string second = BuildBiff5Stream(loaded.Data());
  const auto a = test::SplitRecords(first);
  const auto b = test::SplitRecords(second);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].id, b[i].id) << i;
    EXPECT_EQ(a[i].data, b[i].data) << "record " << i << " id " << a[i].id;
  }
}

TEST_F(RoundTrip, ANewDownloadIntoALoadedModelUsesTheSameFormats) {
  WorkbookModel written = FilledArchive();
  WorkbookModel loaded = SaveAndLoad(written);
  const int base = 16;  // CellFormatBase after a read-back
  loaded.ClearSheetCells(1);
  loaded.SetNumberCell(1, 2, 8, 0.1, base + 2);
  loaded.SetNumberCell(1, 0, 8, EncodeDate(2009, 2, 1), base + 1);
  WorkbookModel again = SaveAndLoad(loaded);
  EXPECT_EQ(again.GetCellFormat(1, 2, 8), 18);
  const WorkbookData& data = again.Data();
  EXPECT_EQ(data.number_formats.Get(data.cell_formats.at(18).number_format), "#######0.000");
  EXPECT_EQ(data.number_formats.Get(data.cell_formats.at(17).number_format), "dd/mm/yy");
  EXPECT_TRUE(data.cell_formats.at(18).HasBorder());
  EXPECT_EQ(again.GetCellType(1, 0, 0), CellType::None);                // the sheet was cleared
  EXPECT_EQ(again.GetCellText(2, 0, 8), written.GetCellText(2, 0, 8));  // others kept
}

}  // namespace
}  // namespace flovir
