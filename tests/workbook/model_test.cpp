// The workbook model: design-time configurations, cells and their texts,
// the cell store and the shared strings.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "workbook/model.h"
#include "workbook/workbook.h"

namespace flovir {
namespace {

TEST(WorkbookModel, ArchiveWorkbookAtDesignTime) {
  const WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  ASSERT_EQ(model.SheetCount(), 3u);
  EXPECT_EQ(model.SheetName(0), "days");
  EXPECT_EQ(model.SheetName(1), "hours");
  EXPECT_EQ(model.SheetName(2), "months");
  EXPECT_FALSE(model.FormatsFromFile());
  const WorkbookData& data = model.Data();
  ASSERT_EQ(data.cell_formats.size(), 8u);
  const std::vector<int> indexes = {-1, 50, 51, 51, -1, 52, -1, 53};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(data.cell_formats[i].number_format, indexes[i]) << i;
    EXPECT_EQ(data.cell_formats[i].HasBorder(), i != 0) << i;
  }
  EXPECT_EQ(data.number_formats.Get(53), "mmmm yyyy");
  EXPECT_EQ(data.fonts.size(), 5u);
}

TEST(WorkbookModel, ParameterWorkbookAtDesignTime) {
  const WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  ASSERT_EQ(model.SheetCount(), 1u);
  EXPECT_EQ(model.SheetName(0), "Sheet 1");
  const std::vector<int> indexes = {-1, 1, 50, 51, 52, 53, 54};
  ASSERT_EQ(model.Data().cell_formats.size(), indexes.size());
  for (size_t i = 0; i < indexes.size(); ++i) {
    EXPECT_EQ(model.Data().cell_formats[i].number_format, indexes[i]) << i;
  }
  EXPECT_EQ(model.Data().number_formats.Get(54), "#######0.00000");
}

TEST(WorkbookModel, ReplacingACellKeepsItsFormatUnlessANewOneIsGiven) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  model.SetNumberCell(0, 2, 5, 1.5, 3);
  model.SetNumberCell(0, 2, 5, 2.5, 0);
  EXPECT_EQ(model.GetCellFormat(0, 2, 5), 3);
  EXPECT_EQ(model.GetCellNumber(0, 2, 5), 2.5);
  model.SetTextCell(0, 2, 5, "текст", -1);
  EXPECT_EQ(model.GetCellFormat(0, 2, 5), 3);
  EXPECT_EQ(model.GetCellType(0, 2, 5), CellType::Text);
  model.SetNumberCell(0, 2, 5, 3.5, 4);
  EXPECT_EQ(model.GetCellFormat(0, 2, 5), 4);
  // A new cell without a format of its own has the default format.
  model.SetNumberCell(0, 3, 5, 1, 0);
  EXPECT_EQ(model.GetCellFormat(0, 3, 5), 0);
}

TEST(WorkbookModel, CellTextsAndNumbers) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  WorkbookData& data = model.Data();
  model.SetNumberCell(0, 0, 0, 0.1, 0);
  model.SetNumberCell(0, 0, 1, 0.10000000149011612, 0);
  model.SetNumberCell(0, 0, 2, -1234.5, 0);
  model.SetNumberCell(0, 0, 3, 1e20, 0);
  model.SetNumberCell(0, 0, 4, 1.5e-7, 0);
  model.SetTextCell(0, 1, 0, "Итого:", 0);
  // StoreCell takes the row before the column, as the file's records do.
  data.StoreCell(0, 0, 2, WorkbookCell{CellType::Boolean, CellType::None, 1, 0, 0, 0});
  data.StoreCell(0, 1, 2, WorkbookCell{CellType::Error, CellType::None, kErrorDiv0, 0, 0, 0});
  data.StoreCell(0, 2, 2, WorkbookCell{CellType::Formula, CellType::Number, 0, 0, 42, 0});
  data.StoreCell(0, 3, 2, WorkbookCell{CellType::Formula, CellType::Text, 0, 0, 0, 0}, "да");
  data.StoreCell(0, 4, 2, WorkbookCell{CellType::Blank, CellType::None, 0, 0, 0, 0});

  EXPECT_EQ(model.GetCellText(0, 0, 0), "0,1");
  EXPECT_EQ(model.GetCellText(0, 0, 1), "0,100000001490116");
  EXPECT_EQ(model.GetCellText(0, 0, 2), "-1234,5");
  EXPECT_EQ(model.GetCellText(0, 0, 3), "1E20");
  EXPECT_EQ(model.GetCellText(0, 0, 4), "1,5E-7");
  EXPECT_EQ(model.GetCellText(0, 1, 0), "Итого:");
  EXPECT_EQ(model.GetCellText(0, 2, 0), "TRUE");
  EXPECT_EQ(model.GetCellText(0, 2, 1), "#DIV/0!");
  EXPECT_EQ(model.GetCellText(0, 2, 2), "42");
  EXPECT_EQ(model.GetCellText(0, 2, 3), "да");
  EXPECT_EQ(model.GetCellText(0, 2, 4), "");
  EXPECT_EQ(model.GetCellText(0, 9, 9), "");
  EXPECT_EQ(model.GetCellText(5, 0, 0), "");

  EXPECT_EQ(model.GetCellNumber(0, 0, 0), 0.1);
  EXPECT_EQ(model.GetCellNumber(0, 2, 2), 42);  // a formula's numeric result
  EXPECT_EQ(model.GetCellNumber(0, 1, 0), 0);   // text
  EXPECT_EQ(model.GetCellNumber(0, 2, 0), 0);   // boolean
  EXPECT_EQ(model.GetCellNumber(0, 9, 9), 0);   // missing
  EXPECT_EQ(model.GetCellType(0, 9, 9), CellType::None);
}

TEST(WorkbookModel, ShortestNumberText) {
  EXPECT_EQ(ShortestNumberText(0), "0");
  EXPECT_EQ(ShortestNumberText(-0.0), "0");
  EXPECT_EQ(ShortestNumberText(39845), "39845");
  EXPECT_EQ(ShortestNumberText(1.0 / 3), "0,333333333333333");
  EXPECT_EQ(ShortestNumberText(123456789012345.0), "123456789012345");
  EXPECT_EQ(ShortestNumberText(1234567890123456.0), "1,23456789012346E15");
  EXPECT_EQ(ShortestNumberText(0.0001), "0,0001");
}

TEST(WorkbookModel, SheetNamesAreUnique) {
  WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  try {
    model.Data().AddSheet("hours");
    FAIL() << "no refusal";
  } catch (const WorkbookError& e) {
    EXPECT_STREQ(e.what(), "Sheet name \"hours\" allready exists");
  }
  EXPECT_THROW(model.Data().RenameSheet(0, "months"), WorkbookError);
  EXPECT_NO_THROW(model.Data().RenameSheet(0, "days"));
  EXPECT_EQ(model.SheetCount(), 3u);
}

TEST(WorkbookModel, BadPositionsAreRefused) {
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  EXPECT_THROW(model.SetNumberCell(1, 0, 0, 1, 0), WorkbookError);
  EXPECT_THROW(model.SetTextCell(0, 256, 0, "x", 0), WorkbookError);
  model.SetNumberCell(0, 255, 65535, 1, 0);
  EXPECT_EQ(model.GetCellNumber(0, 255, 65535), 1);
}

TEST(WorkbookModel, LoadClearKeepsOneEmptySheetAndBuiltInFormats) {
  WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  model.SetTextCell(1, 0, 0, "x", 0);
  model.Data().number_formats.Set(200, "0.0%");
  model.Data().Clear();
  EXPECT_TRUE(model.FormatsFromFile());
  ASSERT_EQ(model.SheetCount(), 1u);
  EXPECT_EQ(model.GetCellType(0, 0, 0), CellType::None);
  EXPECT_TRUE(model.Data().fonts.empty());
  EXPECT_TRUE(model.Data().cell_formats.empty());
  EXPECT_EQ(model.Data().number_formats.Size(), NumberFormatTable::kBuiltInCount);
  EXPECT_EQ(model.Data().strings.Size(), 0u);
}

TEST(WorkbookModel, FileFontsSkipTheMissingFontFour) {
  WorkbookData data;
  for (uint16_t h = 1; h <= 5; ++h) {
    WorkbookFont f;
    f.height_twips = h;
    data.AppendFileFont(f);
  }
  ASSERT_EQ(data.fonts.size(), 6u);
  EXPECT_EQ(data.fonts[4], data.fonts[0]);
  EXPECT_EQ(data.fonts[5].height_twips, 5);
}

TEST(NumberFormatTable, BuiltInsAndCustomStrings) {
  NumberFormatTable table;
  EXPECT_EQ(table.Get(0), "");
  EXPECT_EQ(table.Get(1), "0");
  EXPECT_EQ(table.Get(2), "0.00");
  EXPECT_EQ(table.Get(3), "#,##0");
  EXPECT_EQ(table.Get(4), "#,##0.00");
  EXPECT_EQ(table.Get(9), "0%");
  EXPECT_EQ(table.Get(10), "0.00%");
  EXPECT_EQ(table.Get(14), "m/d/yy");
  EXPECT_EQ(table.Get(20), "h:mm");
  EXPECT_EQ(table.Get(23), "");
  EXPECT_EQ(table.Get(36), "");
  EXPECT_EQ(table.Get(45), "mm:ss");
  EXPECT_EQ(table.Get(49), "@");
  EXPECT_EQ(table.Add("0.00"), 2);
  EXPECT_EQ(table.Add("x"), 50);
  EXPECT_EQ(table.Add("y"), 51);
  EXPECT_EQ(table.Add("x"), 50);
  table.Set(164, "z");
  EXPECT_EQ(table.Get(100), "");
  EXPECT_EQ(table.Add("z"), 164);
  EXPECT_EQ(table.Add("w"), 165);
  EXPECT_EQ(table.Get(70000), "");
}

TEST(StringTable, EqualTextsAreStoredOnceAndCounted) {
  StringTable table;
  const auto a = table.Add("X <  >");
  const auto b = table.Add("X <  >");
  const auto c = table.Add("другой");
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(table.Size(), 2u);
  EXPECT_EQ(table.References(a), 2u);
  table.Release(a);
  EXPECT_EQ(table.Get(a), "X <  >");
  table.Release(b);
  EXPECT_EQ(table.Size(), 1u);
  const auto d = table.Add("new");  // reuses the freed slot
  EXPECT_EQ(d, a);
  EXPECT_EQ(table.Get(d), "new");
  EXPECT_THROW(table.Release(a + 100), std::out_of_range);
}

TEST(StringTable, ATextIsFoundAgainAfterItsSlotWentToAnother) {
  StringTable table;
  const auto a = table.Add("X <  >");
  table.Release(a);
  const auto b = table.Add("другой");  // takes the freed slot of the last text
  const auto c = table.Add("X <  >");
  EXPECT_NE(b, c);
  EXPECT_EQ(table.Get(b), "другой");
  EXPECT_EQ(table.Get(c), "X <  >");
  EXPECT_EQ(table.Add("другой"), b);
  EXPECT_EQ(table.References(b), 2u);
  EXPECT_EQ(table.References(c), 1u);
  table.Clear();
  EXPECT_EQ(table.Add("X <  >"), 0u);
  EXPECT_EQ(table.References(0), 1u);
}

TEST(StringTable, CellsReleaseTheirTexts) {
  WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  for (uint16_t row = 0; row < 100; ++row) model.SetTextCell(1, 11, row, "событие", 6);
  model.SetTextCell(0, 0, 0, "событие", 0);
  const StringTable& strings = model.Data().strings;
  EXPECT_EQ(strings.Size(), 1u);
  model.SetTextCell(1, 11, 0, "другое", 0);  // replacing a text cell
  EXPECT_EQ(strings.Size(), 2u);
  model.SetNumberCell(1, 11, 0, 1, 0);  // and a text by a number
  EXPECT_EQ(strings.Size(), 1u);
  model.SetTextCell(1, 11, 1, "событие", 0);  // the same text over itself
  EXPECT_EQ(model.GetCellText(1, 11, 1), "событие");
  model.ClearSheetCells(1);
  EXPECT_EQ(strings.Size(), 1u);  // the cell of sheet 0 still holds it
  EXPECT_EQ(model.GetCellText(0, 0, 0), "событие");
  EXPECT_EQ(model.GetCellType(1, 11, 5), CellType::None);
}

TEST(CellStore, VisitsCellsByRowThenColumn) {
  CellStore store;
  const std::vector<std::pair<uint16_t, uint8_t>> keys = {
      {65535, 255}, {0, 17}, {256, 0}, {0, 16}, {255, 255}, {0, 1}, {300, 200}, {0, 0}};
  for (auto [row, column] : keys) store.Slot(row, column).type = CellType::Blank;
  std::vector<std::pair<uint16_t, uint8_t>> seen;
  store.ForEach(
      [&](uint16_t row, uint8_t column, const WorkbookCell&) { seen.emplace_back(row, column); });
  auto sorted = keys;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(seen, sorted);
  std::vector<uint16_t> rows;
  store.ForEachInColumn(255, [&](uint16_t row, const WorkbookCell&) { rows.push_back(row); });
  EXPECT_EQ(rows, (std::vector<uint16_t>{255, 65535}));
  EXPECT_FALSE(store.Empty());
  store.Clear();
  EXPECT_TRUE(store.Empty());
  EXPECT_EQ(store.Find(0, 0), nullptr);
}

TEST(CellStore, CacheNeverReturnsAnEmptyOrClearedSlot) {
  CellStore store;
  store.Slot(5, 5);  // allocated but never made a cell
  EXPECT_EQ(store.Find(5, 5), nullptr);
  EXPECT_TRUE(store.Empty());
  store.Slot(5, 5).type = CellType::Blank;
  ASSERT_NE(store.Find(5, 5), nullptr);
  EXPECT_EQ(store.Find(5, 5), store.Find(5, 5));
  EXPECT_EQ(store.Find(5, 300), nullptr);
  store.Clear();
  EXPECT_EQ(store.Find(5, 5), nullptr);  // the cache went with the cells
  CellStore moved = std::move(store);
  EXPECT_EQ(moved.Find(5, 5), nullptr);
}

TEST(CellStore, KeepsEveryCellOfALargeSheetWhateverTheOrder) {
  CellStore store;
  const auto value = [](unsigned row, unsigned column) { return row * 1000.0 + column; };
  const auto put = [&](uint16_t row, uint8_t column) {
    WorkbookCell& cell = store.Slot(row, column);
    cell.type = CellType::Number;
    cell.number = value(row, column);
  };
  // Row by row as a load stores them, over two column groups, then back to
  // earlier rows and columns as an edit does.
  for (uint16_t row = 0; row < 3000; ++row) {
    for (uint8_t column = 0; column < 20; ++column) put(row, column);
  }
  for (uint16_t row = 2999; row >= 2000; --row) put(row, 200);
  put(0, 255);
  put(65535, 0);
  size_t count = 0;
  bool ordered = true;
  uint32_t last = 0;
  store.ForEach([&](uint16_t row, uint8_t column, const WorkbookCell& cell) {
    const uint32_t key = static_cast<uint32_t>(row) << 8 | column;
    ordered = ordered && (count == 0 || key > last);
    last = key;
    ++count;
    EXPECT_EQ(cell.number, value(row, column)) << row << ":" << int{column};
  });
  EXPECT_TRUE(ordered);
  EXPECT_EQ(count, 3000u * 20 + 1000 + 2);
  ASSERT_NE(store.Find(1234, 19), nullptr);
  EXPECT_EQ(store.Find(1234, 19)->number, value(1234, 19));
  EXPECT_EQ(store.Find(1234, 20), nullptr);
  EXPECT_EQ(store.Find(1999, 200), nullptr);
}

TEST(CellStore, StoresStayUsableAfterClearAndMove) {
  CellStore store;
  store.Slot(7, 3).type = CellType::Blank;
  store.Clear();
  store.Slot(7, 4).type = CellType::Number;  // the same leaf as before the clear
  EXPECT_EQ(store.Find(7, 3), nullptr);
  ASSERT_NE(store.Find(7, 4), nullptr);

  CellStore moved = std::move(store);
  ASSERT_NE(moved.Find(7, 4), nullptr);
  moved.Slot(7, 5).type = CellType::Blank;
  store.Slot(7, 6).type = CellType::Blank;  // a moved-from store starts empty
  EXPECT_EQ(store.Find(7, 4), nullptr);
  EXPECT_EQ(moved.Find(7, 6), nullptr);
  EXPECT_NE(moved.Find(7, 5), nullptr);
  store = std::move(moved);
  EXPECT_NE(store.Find(7, 5), nullptr);
  EXPECT_EQ(store.Find(7, 6), nullptr);
  moved.Slot(1, 1).type = CellType::Blank;
  EXPECT_NE(moved.Find(1, 1), nullptr);
}

}  // namespace
}  // namespace flovir
