// The parameter workbook as other programs read it: xlrd and LibreOffice
// must show the values with each cell's decimals and the Russian names as
// they are.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "parameters/parameter_workbook.h"
#include "tests/support/files.h"
#include "tests/support/programs.h"

namespace flovir {
namespace {

std::vector<std::string> RunLines(const std::string& command) {
  const testing::ProgramRun run = testing::RunCapturing(command);
  EXPECT_EQ(run.status, 0) << command;
  return run.Lines();
}

// Sheet 0 as xlrd and LibreOffice show it: "xlrd ROW COLUMN TYPE FORMAT" (the
// type 1 for text, 2 for a number) and "calc ROW COLUMN", each with its text.
std::map<std::string, std::string> ReadWithOthers(const std::string& path) {
  std::map<std::string, std::string> cells;
  const std::string xlrd = testing::kPython + " " FLOVIR_SOURCE_DIR "/tests/support/xlrd_dump.py " +
                           testing::Quote(path);
  for (const std::string& line : RunLines(xlrd)) {
    // cell SHEET ROW COLUMN KIND VALUE XF FORMAT DATE
    std::vector<std::string> f;
    for (size_t start = 0;;) {
      const size_t tab = line.find('\t', start);
      f.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (f.size() < 8 || f[0] != "cell" || f[1] != "0") continue;
    const char* type = f[4] == "number" ? "2" : f[4] == "text" ? "1" : "0";
    cells["xlrd " + f[2] + " " + f[3] + " " + type + " " + f[7]] = f[5];
  }
  for (const std::string& line : RunLines(testing::kPython + " " + PARAMETER_TESTS_DIR +
                                          "/read_with_others.py " + testing::Quote(path))) {
    const size_t bar = line.find('|');
    if (bar != std::string::npos) cells[line.substr(0, bar)] = line.substr(bar + 1);
  }
  return cells;
}

TEST(ParameterWorkbookReaders, XlrdAndLibreOfficeShowTheCellsDecimalsAndNames) {
  const testing::ScratchFolder folder{"flovir-pwr"};
  const std::string path = (folder / "параметры.xls").string();

  const ParameterTable table;
  ParameterBuffer buffer;
  buffer.SetParameterValue(0, 0.1f);       // row 1, channel 1: 3 decimals
  buffer.SetParameterValue(55, 1234.56f);  // row 6, channel 2: 1 decimal
  buffer.SetParameterValue(3, -0.06712f);  // row 4, channel 1: 5 decimals
  buffer.SetParameterValue(29, 1.0f);      // row 30, channel 1: no decimals
  buffer.SetParameterValue(222, 8.0f);     // "Modbus байты"
  WorkbookModel xls0 = WorkbookModel::MakeParameterWorkbook();
  SaveParameterWorkbook(xls0, table, buffer, path);
  auto cells = ReadWithOthers(path);

  // xlrd: the exact float widened to double, the cell's format string.
  EXPECT_EQ(cells["xlrd 1 1 2 #######0.000"], "0.10000000149011612");
  EXPECT_EQ(cells["xlrd 6 2 2 #######0.0"], "1234.56005859375");
  EXPECT_EQ(cells["xlrd 4 1 2 #######0.00000"], "-0.06712000072002411");
  EXPECT_EQ(cells["xlrd 30 1 2 0"], "1.0");
  EXPECT_EQ(cells["xlrd 13 6 2 0"], "8.0");
  EXPECT_EQ(cells["xlrd 0 1 1 General"], "КАНАЛ1");
  EXPECT_EQ(cells["xlrd 0 6 1 General"], "ОБЩИЕ");
  EXPECT_EQ(cells["xlrd 34 0 1 General"], "Время усреднения, с [Tу]  ");
  EXPECT_EQ(cells["xlrd 13 5 1 General"], "Modbus байты");
  EXPECT_EQ(cells.count("xlrd 31 0 1 General"), 1u);  // the empty name is a text cell

  // LibreOffice: what a user sees in the cells.
  EXPECT_EQ(cells["calc 1 1"], "0.100");
  EXPECT_EQ(cells["calc 6 2"], "1234.6");
  EXPECT_EQ(cells["calc 4 1"], "-0.06712");
  EXPECT_EQ(cells["calc 30 1"], "1");
  EXPECT_EQ(cells["calc 13 6"], "8");
  EXPECT_EQ(cells["calc 5 3"], "0.000");
  EXPECT_EQ(cells["calc 1 0"], "Уровень сигнала [УС]");
  EXPECT_EQ(cells["calc 34 0"], "Время усреднения, с [Tу]  ");
  EXPECT_EQ(cells["calc 0 6"], "ОБЩИЕ");
}

// A workbook another program wrote (Excel 97, its own cell formats) loads,
// and saved under a new name it keeps its extra cells while the table's
// cells get the table's formats, which that file did not have.
TEST(ParameterWorkbookReaders, AWorkbookFromAnotherProgramLoadsAndSavesSoundly) {
  const testing::ScratchFolder folder{"flovir-pwr"};
  const std::string foreign = (folder / "чужой.xls").string();
  const std::string saved = (folder / "наш.xls").string();
  const std::string make = testing::kPython + " " + PARAMETER_TESTS_DIR +
                           "/make_foreign_workbook.py " + testing::Quote(foreign);
  ASSERT_EQ(testing::RunShell(make), 0) << make;

  const ParameterTable table;
  ParameterBuffer buffer;
  buffer.SetParameterValue(6, 5.0f);
  buffer.SetParameterValue(190, 3.0f);  // not in the grid: stays
  WorkbookModel xls0 = WorkbookModel::MakeParameterWorkbook();
  LoadParameterWorkbook(xls0, table, buffer, foreign);
  EXPECT_EQ(buffer.ParameterValue(55), 1234.5f);
  EXPECT_EQ(buffer.ParameterValue(222), 8.0f);
  EXPECT_EQ(buffer.ParameterValue(6), 0.0f);  // a text loads as 0
  EXPECT_EQ(buffer.ParameterValue(190), 3.0f);

  SaveParameterWorkbook(xls0, table, buffer, saved);
  auto cells = ReadWithOthers(saved);
  EXPECT_EQ(cells["xlrd 6 2 2 #######0.0"], "1234.5");
  EXPECT_EQ(cells["xlrd 13 6 2 0"], "8.0");
  EXPECT_EQ(cells["xlrd 1 1 2 #######0.000"], "0.0");
  EXPECT_EQ(cells["xlrd 34 0 1 General"], "Время усреднения, с [Tу]  ");
  EXPECT_EQ(cells["xlrd 40 9 1 General"], "заметка");
  EXPECT_EQ(cells["calc 6 2"], "1234.5");
  EXPECT_EQ(cells["calc 7 1"], "0.00");
  EXPECT_EQ(cells["calc 0 1"], "КАНАЛ1");
  EXPECT_EQ(cells["calc 40 9"], "заметка");
}

}  // namespace
}  // namespace flovir
