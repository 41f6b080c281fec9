// Files written by other programs (xlwt, LibreOffice, gnumeric), made here by
// those programs: every cell, cell format, number format and font that the
// reader finds must equal what xlrd reads from the same file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/programs.h"
#include "workbook/model.h"

namespace flovir {
namespace {

namespace fs = std::filesystem;
using testing::kCli;
using testing::kPython;
using testing::LibreOfficeConvert;
using testing::ProgramRun;
using testing::RunCapturing;
using testing::RunShell;
using testing::ScratchFolder;

const std::string kPeers = std::string(FLOVIR_SOURCE_DIR) + "/tests/workbook-reader/peers.py";

class PeerFiles : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.Path(name); }

  static void Run(const std::string& command) {
    ASSERT_EQ(RunShell(command + " >/dev/null 2>&1"), 0) << command;
  }

  void LibreOfficeToXls(const std::string& input, const std::string& output) {
    ASSERT_EQ(LibreOfficeConvert(input, "xls:MS Excel 97", dir_, Path("lo-profile")), 0) << input;
    ASSERT_TRUE(fs::exists(output)) << "LibreOffice wrote no " << output;
  }

  ScratchFolder dir_{"flovir-peers"};
};

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t k = 0; k + 1 < hex.size(); k += 2) {
    out += static_cast<char>(std::stoi(hex.substr(k, 2), nullptr, 16));
  }
  return out;
}

std::vector<std::vector<std::string>> XlrdDump(const std::string& file, const std::string& out) {
  const std::string command = kPython + " " + kPeers + " dump " + file + " > " + out;
  EXPECT_EQ(RunShell(command), 0) << command;
  std::ifstream in(out);
  std::vector<std::vector<std::string>> lines;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::stringstream ss(line);
    for (std::string f; std::getline(ss, f, '\t');) fields.push_back(f);
    if (line.ends_with('\t')) fields.emplace_back();
    lines.push_back(std::move(fields));
  }
  return lines;
}

const char* KindOf(const WorkbookCell& cell) {
  const CellType type = cell.type == CellType::Formula ? cell.result : cell.type;
  switch (type) {
    case CellType::Number:
      return "number";
    case CellType::Text:
      return "text";
    case CellType::Boolean:
      return "boolean";
    case CellType::Error:
      return "error";
    // A formula's empty text result; xlrd gives it as a text.
    case CellType::Blank:
      return cell.type == CellType::Formula ? "text" : "blank";
    default:
      return "none";
  }
}

void ExpectSameAsXlrd(const std::string& file, const std::string& dump_path) {
  WorkbookModel model;
  model.SetFileName(file);
  ASSERT_NO_THROW(model.LoadWorkbook());
  const WorkbookData& data = model.Data();
  size_t xlrd_cells = 0, sheets = 0, xfs = 0;
  for (const auto& f : XlrdDump(file, dump_path)) {
    const std::string& what = f[0];
    if (what == "sheet") {
      ++sheets;
      ASSERT_LT(std::stoul(f[1]), model.SheetCount());
      EXPECT_EQ(model.SheetName(std::stoul(f[1])), FromHex(f[2]));
    } else if (what == "cell") {
      ++xlrd_cells;
      const size_t sheet = std::stoul(f[1]);
      const auto row = static_cast<uint16_t>(std::stoul(f[2]));
      const auto column = static_cast<uint16_t>(std::stoul(f[3]));
      const std::string where = f[1] + "!" + f[2] + ":" + f[3];
      ASSERT_LT(sheet, data.sheets.size());
      const WorkbookCell* cell = data.sheets[sheet].cells.Find(row, column);
      ASSERT_NE(cell, nullptr) << where;
      EXPECT_EQ(KindOf(*cell), f[4]) << where;
      EXPECT_EQ(cell->format, std::stoi(f[5])) << where;
      if (f[4] == "number") {
        EXPECT_EQ(model.GetCellNumber(sheet, column, row), std::strtod(f[6].c_str(), nullptr))
            << where;
      } else if (f[4] == "text") {
        EXPECT_EQ(model.GetCellText(sheet, column, row), FromHex(f[6])) << where;
      } else if (f[4] == "boolean" || f[4] == "error") {
        EXPECT_EQ(cell->code, std::stoi(f[6])) << where;
      }
    } else if (what == "xf") {
      ++xfs;
      const size_t k = std::stoul(f[1]);
      ASSERT_LT(k, data.cell_formats.size());
      EXPECT_EQ(data.cell_formats[k].font, std::stoi(f[2])) << "XF " << k;
      EXPECT_EQ(data.cell_formats[k].number_format, std::stoi(f[3])) << "XF " << k;
    } else if (what == "format" && std::stoi(f[1]) >= NumberFormatTable::kBuiltInCount) {
      EXPECT_EQ(data.number_formats.Get(std::stoi(f[1])), FromHex(f[2])) << "format " << f[1];
    } else if (what == "font" && f[1] != "4") {  // xlrd fills the missing font 4 with a dummy
      const size_t k = std::stoul(f[1]);
      ASSERT_LT(k, data.fonts.size());
      EXPECT_EQ(data.fonts[k].name, FromHex(f[2])) << "font " << k;
      EXPECT_EQ(data.fonts[k].height_twips, std::stoi(f[3])) << "font " << k;
      EXPECT_EQ(data.fonts[k].weight, std::stoi(f[4])) << "font " << k;
    }
  }
  size_t our_cells = 0;
  for (const WorkbookSheet& s : data.sheets)
    s.cells.ForEach([&](auto, auto, auto&) { ++our_cells; });
  EXPECT_EQ(our_cells, xlrd_cells);
  EXPECT_EQ(model.SheetCount(), sheets);
  EXPECT_EQ(data.cell_formats.size(), xfs);
  EXPECT_GT(xlrd_cells, 1000u);
}

TEST_F(PeerFiles, Excel97FromXlwt) {
  Run(kPython + " " + kPeers + " xlwt " + Path("xlwt.xls"));
  ExpectSameAsXlrd(Path("xlwt.xls"), Path("xlwt.dump"));
  WorkbookModel model;
  model.SetFileName(Path("xlwt.xls"));
  model.LoadWorkbook();
  EXPECT_EQ(model.SheetName(0), "Данные");
  EXPECT_EQ(model.GetCellText(0, 1, 0), "Итого:");
}

TEST_F(PeerFiles, Excel97FromLibreOffice) {
  Run(kPython + " " + kPeers + " fods " + Path("lo.fods"));
  LibreOfficeToXls(Path("lo.fods"), Path("lo.xls"));
  ExpectSameAsXlrd(Path("lo.xls"), Path("lo.dump"));
}

TEST_F(PeerFiles, Excel97AndExcel50FromGnumeric) {
  Run(kPython + " " + kPeers + " fods " + Path("lo.fods"));
  LibreOfficeToXls(Path("lo.fods"), Path("lo.xls"));
  Run("ssconvert -T Gnumeric_Excel:excel_biff8 " + Path("lo.xls") + " " + Path("gnumeric97.xls"));
  ExpectSameAsXlrd(Path("gnumeric97.xls"), Path("gnumeric97.dump"));
  // gnumeric's Excel 5.0 export declares code page 1200 for its single-byte
  // texts; under the C locale it also turns Cyrillic letters into "?".
  Run("ssconvert -T Gnumeric_Excel:excel_biff7 " + Path("lo.xls") + " " + Path("gnumeric50.xls"));
  ExpectSameAsXlrd(Path("gnumeric50.xls"), Path("gnumeric50.dump"));
}

// flovir-cli workbook dump: one line per sheet, then its cells by row and
// column, with kind, format index and text.
TEST_F(PeerFiles, DumpCommandPrintsSheetsAndCells) {
  WorkbookModel m = WorkbookModel::MakeParameterWorkbook();
  m.SetNumberCell(0, 1, 0, 0.1, 2);
  m.SetTextCell(0, 0, 0, "Итого:", 0);
  m.SetNumberCell(0, 0, 2, -3, 1);
  m.SetFileName(Path("dump.xls"));
  m.SaveWorkbook();
  const ProgramRun dump = RunCapturing(kCli + " workbook dump " + Path("dump.xls"));
  ASSERT_EQ(dump.status, 0);
  EXPECT_EQ(dump.output,
            "sheet\t0\tSheet 1\n"
            "cell\t0\t0\t0\ttext\t16\tИтого:\n"
            "cell\t0\t0\t1\tnumber\t18\t0,1\n"
            "cell\t0\t2\t0\tnumber\t17\t-3\n");
  const std::string missing = kCli + " workbook dump " + Path("none.xls") + " 2>" + Path("err.txt");
  EXPECT_EQ(RunShell(missing), 1);
  std::ifstream err(Path("err.txt"));
  std::string line;
  std::getline(err, line);
  EXPECT_EQ(line, "No such file or directory");
}

}  // namespace
}  // namespace flovir
