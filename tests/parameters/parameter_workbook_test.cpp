#include "parameters/parameter_workbook.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <random>
#include <tuple>
#include <vector>

#include "tests/support/files.h"

namespace flovir {
namespace {

bool Shown(const ParameterTable& table, int index) {
  for (int row = 0; row < kParameterRows; ++row) {
    for (int column = 0; column < kParameterColumns; ++column) {
      const ParameterCell& cell = table.Cell(row, column);
      if (cell.Kind == CellKind::Value && cell.ValueIndex == index) return true;
    }
  }
  return false;
}

class ParameterWorkbookTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) const { return folder.Path(name); }

  // Every value a finite float32 of its own, odd bit patterns included.
  static ParameterBuffer RandomValues(unsigned seed) {
    std::mt19937 random(seed);
    ParameterBuffer buffer;
    for (int i = 0; i < 256; ++i) {
      float value;
      do {
        value = std::bit_cast<float>(static_cast<uint32_t>(random()));
      } while (!std::isfinite(value));
      buffer.SetParameterValue(i, value);
    }
    return buffer;
  }

  WorkbookModel Reread(const std::string& path) {
    WorkbookModel model;
    model.SetFileName(path);
    model.LoadWorkbook();
    return model;
  }

  testing::ScratchFolder folder{"flovir-pwb"};
  ParameterTable table;
  WorkbookModel xls0 = WorkbookModel::MakeParameterWorkbook();
};

TEST_F(ParameterWorkbookTest, SaveThenLoadGivesBackEveryShownValueBitForBit) {
  const ParameterBuffer saved = RandomValues(6);
  SaveParameterWorkbook(xls0, table, saved, Path("p.xls"));

  WorkbookModel other = WorkbookModel::MakeParameterWorkbook();
  ParameterBuffer loaded = RandomValues(7);
  const ParameterBuffer before = loaded;
  LoadParameterWorkbook(other, table, loaded, Path("p.xls"));
  for (int i = 0; i < 256; ++i) {
    const float expected = (Shown(table, i) ? saved : before).ParameterValue(i);
    EXPECT_EQ(std::bit_cast<uint32_t>(loaded.ParameterValue(i)), std::bit_cast<uint32_t>(expected))
        << i;
  }
  EXPECT_TRUE(other.FormatsFromFile());
}

TEST_F(ParameterWorkbookTest, TheSheetIsAPictureOfTheTable) {
  ParameterBuffer buffer;
  buffer.SetParameterValue(55, 0.1f);
  SaveParameterWorkbook(xls0, table, buffer, Path("p.xls"));
  const WorkbookModel file = Reread(Path("p.xls"));
  for (int row = 0; row < kParameterRows; ++row) {
    for (int column = 0; column < kParameterColumns; ++column) {
      const ParameterCell& cell = table.Cell(row, column);
      const auto c = static_cast<uint16_t>(column), r = static_cast<uint16_t>(row);
      switch (cell.Kind) {
        case CellKind::Empty:
          EXPECT_EQ(file.GetCellType(0, c, r), CellType::None) << row << ":" << column;
          break;
        case CellKind::Text:
          EXPECT_EQ(file.GetCellType(0, c, r), CellType::Text) << row << ":" << column;
          EXPECT_EQ(file.GetCellText(0, c, r), cell.Text);
          EXPECT_EQ(file.GetCellFormat(0, c, r), 16);  // design-time format 0
          break;
        case CellKind::Value:
          EXPECT_EQ(file.GetCellType(0, c, r), CellType::Number) << row << ":" << column;
          EXPECT_EQ(file.GetCellFormat(0, c, r), 16 + cell.Decimals + 1) << row << ":" << column;
          break;
      }
    }
  }
  // The float widens exactly: the cell holds 0.10000000149011612.
  EXPECT_EQ(file.GetCellNumber(0, 2, 6), static_cast<double>(0.1f));
}

TEST_F(ParameterWorkbookTest, ALoadedFileKeepsItsExtraCellsOnlyUnderANewName) {
  ParameterBuffer buffer;
  xls0.SetTextCell(0, 9, 40, "заметка", 0);
  xls0.SetNumberCell(0, 6, 20, 77, 0);  // below the general values: not a table cell
  SaveParameterWorkbook(xls0, table, buffer, Path("with-notes.xls"));
  ASSERT_EQ(Reread(Path("with-notes.xls")).GetCellText(0, 9, 40), "заметка");

  WorkbookModel loaded = WorkbookModel::MakeParameterWorkbook();
  LoadParameterWorkbook(loaded, table, buffer, Path("with-notes.xls"));
  SaveParameterWorkbook(loaded, table, buffer, Path("new.xls"));
  const WorkbookModel kept = Reread(Path("new.xls"));
  EXPECT_EQ(kept.GetCellText(0, 9, 40), "заметка");
  EXPECT_EQ(kept.GetCellNumber(0, 6, 20), 77);
  // The formats of the loaded file are used as they stand.
  EXPECT_EQ(kept.GetCellFormat(0, 1, 1), 16 + 3 + 1);
  EXPECT_EQ(kept.GetCellFormat(0, 0, 1), 16);

  SaveParameterWorkbook(loaded, table, buffer, Path("with-notes.xls"));
  const WorkbookModel cleared = Reread(Path("with-notes.xls"));
  EXPECT_EQ(cleared.GetCellType(0, 9, 40), CellType::None);
  EXPECT_EQ(cleared.GetCellType(0, 6, 20), CellType::None);
  EXPECT_EQ(cleared.GetCellText(0, 1, 0), "КАНАЛ1");
  EXPECT_EQ(cleared.GetCellFormat(0, 1, 1), 16 + 3 + 1);
}

TEST_F(ParameterWorkbookTest, AnEmptySheetLoadsZerosIntoTheShownValuesOnly) {
  WorkbookModel empty = WorkbookModel::MakeParameterWorkbook();
  empty.SetFileName(Path("empty.xls"));
  empty.SetTextCell(0, 1, 0, "КАНАЛ1", 0);  // what makes it a parameter table
  empty.SetTextCell(0, 1, 1, "текст", 0);   // a text where a value belongs
  empty.SaveWorkbook();

  ParameterBuffer buffer = RandomValues(8);
  const ParameterBuffer before = buffer;
  LoadParameterWorkbook(xls0, table, buffer, Path("empty.xls"));
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(buffer.ParameterValue(i), Shown(table, i) ? 0.0f : before.ParameterValue(i)) << i;
  }
}

TEST_F(ParameterWorkbookTest, AFailedLoadChangesNeitherTheBufferNorTheWorkbook) {
  const ParameterBuffer values = RandomValues(9);
  SaveParameterWorkbook(xls0, table, values, Path("good.xls"));
  { std::ofstream(Path("bad.xls")) << "not a workbook at all"; }

  for (const char* name : {"bad.xls", "missing.xls"}) {
    ParameterBuffer buffer = values;
    EXPECT_THROW(LoadParameterWorkbook(xls0, table, buffer, Path(name)), WorkbookError) << name;
    EXPECT_EQ(buffer.bytes, values.bytes);
    EXPECT_EQ(xls0.FileName(), Path("good.xls"));
    EXPECT_FALSE(xls0.FormatsFromFile());
  }
}

// A workbook of another kind (the archive workbook "temp.xls" above all)
// would fill the grid with archive numbers that a write then sends.
TEST_F(ParameterWorkbookTest, AWorkbookThatIsNoParameterTableIsRefused) {
  struct Case {
    const char* name;
    std::vector<std::tuple<uint16_t, uint16_t, const char*>> texts;  // column, row, text
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"empty.xls", {}, "в первой строке нет заголовков"},
      {"temp.xls",
       {{0, 0, "Часовой архив с 01.03.2024 по 07.03.2024"}, {0, 7, "Дата"}},
       "в ячейке A1"},
      {"renamed.xls", {{1, 0, "КАНАЛ1"}, {0, 8, "Диаметр"}}, "ожидается «Диаметр, мм [D]»"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WorkbookModel other = c.name == std::string("temp.xls")
                              ? WorkbookModel::MakeArchiveWorkbook()
                              : WorkbookModel::MakeParameterWorkbook();
    other.SetFileName(Path(c.name));
    for (const auto& [column, row, text] : c.texts) other.SetTextCell(0, column, row, text, 0);
    other.SetNumberCell(0, 1, 8, 3547, 0);
    other.SaveWorkbook();
    ParameterBuffer buffer = RandomValues(11);
    const ParameterBuffer before = buffer;
    try {
      LoadParameterWorkbook(xls0, table, buffer, Path(c.name));
      ADD_FAILURE() << "loaded";
    } catch (const WorkbookError& error) {
      EXPECT_NE(std::string(error.what()).find("не файл параметров"), std::string::npos);
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
    }
    EXPECT_EQ(buffer.bytes, before.bytes);
  }
}

TEST_F(ParameterWorkbookTest, ANumberBeyondFloatIsRefusedWithItsCell) {
  WorkbookModel huge = WorkbookModel::MakeParameterWorkbook();
  huge.SetFileName(Path("huge.xls"));
  huge.SetNumberCell(0, 6, 13, 1e300, 1);  // "Modbus байты"
  huge.SaveWorkbook();
  ParameterBuffer buffer = RandomValues(10);
  const ParameterBuffer before = buffer;
  try {
    LoadParameterWorkbook(xls0, table, buffer, Path("huge.xls"));
    FAIL() << "loaded";
  } catch (const WorkbookError& error) {
    EXPECT_NE(std::string(error.what()).find("G14"), std::string::npos) << error.what();
  }
  EXPECT_EQ(buffer.bytes, before.bytes);
}

TEST_F(ParameterWorkbookTest, ASaveThatCannotWriteThrowsWithTheReason) {
  ParameterBuffer buffer;
  EXPECT_THROW(SaveParameterWorkbook(xls0, table, buffer, Path("no-such-folder/p.xls")),
               WorkbookError);
}

}  // namespace
}  // namespace flovir
