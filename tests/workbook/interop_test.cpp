// Other programs read the files we write: xlrd, olefile, LibreOffice and
// gnumeric each get the same archive and parameter workbooks and must find
// every sheet, value, text and format in them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "tests/support/files.h"
#include "tests/support/programs.h"
#include "workbook/biff5_writer.h"
#include "workbook/model.h"
#include "workbook/serial_date.h"
#include "workbook/workbook.h"

namespace flovir {
namespace {

namespace fs = std::filesystem;

// An archive workbook as a download fills it: header, titles, rows of
// dates, volumes, times and event marks, totals and integrators.
WorkbookModel ArchiveWorkbook() {
  WorkbookModel m = WorkbookModel::MakeArchiveWorkbook();
  const size_t hours = 1;
  m.SetTextCell(hours, 0, 0, "Часовой архив с 01.02.2009 по 02.02.2009", 0);
  m.SetTextCell(hours, 0, 1, "создан: 03.02.2009 10:11:12", 0);
  m.SetTextCell(hours, 0, 2, "узел: неизвестен", 0);
  m.SetTextCell(hours, 0, 5, "сетевой номер: 1", 0);
  const char* titles[] = {"Дата",
                          "Время",
                          "V1,м3 (Объём по 1 каналу)",
                          "V2,м3",
                          "V3,м3",
                          "V4,м3",
                          "B1, часов",
                          "B2, часов",
                          "B3, часов",
                          "B4, часов",
                          "Время отсутствия сети",
                          "События"};
  for (uint16_t c = 0; c < 12; ++c) m.SetTextCell(hours, c, 7, titles[c], 4);
  uint16_t row = 8;
  for (int h = 0; h < 30; ++h, ++row) {
    const double t = EncodeDateTime({2009, 2, 1 + h / 24, h % 24, 0, 0});
    m.SetNumberCell(hours, 0, row, t, 1);
    m.SetNumberCell(hours, 1, row, t, 5);
    for (uint16_t c = 2; c < 6; ++c) m.SetNumberCell(hours, c, row, h * 1.25 + c * 0.001, 2);
    for (uint16_t c = 6; c < 10; ++c) m.SetNumberCell(hours, c, row, h * 0.0001 + 0.1, 3);
    m.SetNumberCell(hours, 10, row, h % 3 == 0 ? 0 : 0.3333, 3);
    m.SetTextCell(hours, 11, row, h % 5 == 0 ? "X <  >   X     X        " : std::string(25, ' '),
                  6);
  }
  m.SetTextCell(hours, 0, row, "Итого:", 4);
  m.SetTextCell(hours, 1, row, "", 4);
  m.SetNumberCell(hours, 2, row, 543.25, 2);
  m.SetTextCell(hours, 0, row + 2, "Интеграторы:", 0);
  m.SetNumberCell(hours, 0, row + 3, EncodeDate(2009, 2, 1), 1);
  m.SetNumberCell(hours, 2, row + 3, 1234567.125, 2);
  m.SetTextCell(2, 0, 0, "Месячный архив с 01.01.2009 по 01.02.2009", 0);
  m.SetNumberCell(2, 0, 8, EncodeDate(2009, 1, 1), 7);
  m.FitColumnWidth(hours, 0);
  return m;
}

WorkbookModel ParameterWorkbook() {
  WorkbookModel m = WorkbookModel::MakeParameterWorkbook();
  m.SetTextCell(0, 0, 0, "Параметр", 0);
  for (uint16_t d = 0; d <= 5; ++d) {
    m.SetNumberCell(0, 1, d, static_cast<double>(0.1f) * (d + 1) * 1000, d + 1);
  }
  m.FitColumnWidth(0, 1);
  return m;
}

class Interop : public ::testing::Test {
 protected:
  std::string Save(WorkbookModel& model, const std::string& name) {
    const std::string path = (dir_ / name).string();
    model.SetFileName(path);
    model.SaveWorkbook();
    return path;
  }

  // Runs a shell command; returns its standard output.
  static std::string Run(const std::string& command) {
    const testing::ProgramRun run = testing::RunCapturing(command + " 2>/dev/null");
    EXPECT_EQ(run.status, 0) << command;
    return run.output;
  }

  testing::ScratchFolder dir_{"flovir-interop"};
};

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, separator)) fields.push_back(field);
  if (!line.empty() && line.back() == separator) fields.emplace_back();
  return fields;
}

// Every cell of a model with what xlrd reports for it.
void ExpectXlrdSeesTheModel(const WorkbookModel& model, const std::string& dump) {
  const WorkbookData& data = model.Data();
  std::map<std::string, std::vector<std::string>> cells;
  std::vector<std::string> sheets;
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) {
    const auto f = Split(line, '\t');
    if (f[0] == "sheet") sheets.push_back(f[2]);
    if (f[0] == "cell") cells[f[1] + ":" + f[2] + ":" + f[3]] = f;
  }
  ASSERT_EQ(sheets.size(), model.SheetCount());
  size_t count = 0;
  for (size_t s = 0; s < model.SheetCount(); ++s) {
    EXPECT_EQ(sheets[s], model.SheetName(s));
    data.sheets[s].cells.ForEach([&](uint16_t row, uint8_t column, const WorkbookCell& cell) {
      ++count;
      const std::string key =
          std::to_string(s) + ":" + std::to_string(row) + ":" + std::to_string(column);
      ASSERT_TRUE(cells.count(key)) << key;
      const auto& f = cells[key];
      if (cell.type == CellType::Number) {
        EXPECT_EQ(f[4], "number") << key;
        EXPECT_EQ(std::strtod(f[5].c_str(), nullptr), cell.number) << key;
      } else {
        EXPECT_EQ(f[4], "text") << key;
        EXPECT_EQ(f[5], data.CellString(cell)) << key;
      }
      EXPECT_EQ(std::stoi(f[6]), cell.format + 16) << key;
      const std::string& format = data.number_formats.Get(
          data.cell_formats[static_cast<size_t>(cell.format)].number_format);
      EXPECT_EQ(f[7], format.empty() ? "General" : format) << key;
    });
  }
  EXPECT_EQ(cells.size(), count);
}

TEST_F(Interop, XlrdReadsSheetsValuesXfIndexesAndFormats) {
  WorkbookModel archive = ArchiveWorkbook();
  WorkbookModel parameters = ParameterWorkbook();
  const std::string script = std::string(FLOVIR_SOURCE_DIR) + "/tests/support/xlrd_dump.py";
  ExpectXlrdSeesTheModel(
      archive, Run(testing::kPython + " '" + script + "' '" + Save(archive, "temp.xls") + "'"));
  ExpectXlrdSeesTheModel(parameters, Run(testing::kPython + " '" + script + "' '" +
                                         Save(parameters, "параметры.xls") + "'"));
}

TEST_F(Interop, OlefileFindsTheBookStream) {
  for (auto make : {ParameterWorkbook, ArchiveWorkbook}) {
    WorkbookModel model = make();
    // The parameter workbook's stream lives in the mini stream, the archive's
    // in ordinary sectors.
    const std::string path = Save(model, "book.xls");
    const std::string expected = BuildBiff5Stream(model.Data());
    const std::string out =
        Run(testing::kPython +
            " -c \"import olefile,sys; f=sys.argv[1]; assert olefile.isOleFile(f); "
            "o=olefile.OleFileIO(f); print(o.listdir(streams=True, storages=True)); "
            "sys.stdout.flush(); sys.stdout.buffer.write(o.openstream('Book').read())\" '" +
            path + "'");
    const std::string header = "[['Book']]\n";
    ASSERT_EQ(out.substr(0, header.size()), header);
    EXPECT_EQ(out.substr(header.size()), expected);
  }
}

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false, was_quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = was_quoted = true;
    } else if (c == ',') {
      rows.back().push_back(field);
      field.clear();
    } else if (c == '\n') {
      rows.back().push_back(field);
      field.clear();
      rows.emplace_back();
    } else if (c != '\r') {
      field += c;
    }
  }
  if (!field.empty() || was_quoted) rows.back().push_back(field);
  if (rows.back().empty()) rows.pop_back();
  return rows;
}

// The date cells as the program shows them in its CSV.
using DateText = std::string (*)(const CivilDateTime&, bool with_time);

std::string LibreOfficeDate(const CivilDateTime& t, bool with_time) {
  char b[64];
  std::snprintf(b, sizeof b, "%02d/%02d/%04d", t.month, t.day, t.year);
  std::string s = b;
  if (with_time) {
    std::snprintf(b, sizeof b, " %02d:%02d:%02d", t.hour, t.minute, t.second);
    s += b;
  }
  return s;
}

std::string GnumericDate(const CivilDateTime& t, bool with_time) {
  char b[64];
  std::snprintf(b, sizeof b, "%04d/%02d/%02d", t.year, t.month, t.day);
  std::string s = b;
  if (with_time) {
    std::snprintf(b, sizeof b, " %02d:%02d:%02d", t.hour, t.minute, t.second);
    s += b;
  }
  return s;
}

// Compares one sheet's CSV with the model: texts exactly, numbers to 12
// significant digits, dates by their calendar value.
void ExpectCsvShowsTheSheet(const WorkbookModel& model, size_t sheet, const std::string& csv,
                            DateText date_text) {
  const auto rows = ParseCsv(csv);
  const WorkbookData& data = model.Data();
  size_t checked = 0;
  data.sheets[sheet].cells.ForEach([&](uint16_t row, uint8_t column, const WorkbookCell& cell) {
    const std::string where = std::to_string(row) + ":" + std::to_string(column);
    ASSERT_LT(row, rows.size()) << where;
    ASSERT_LT(column, rows[row].size()) << where;
    const std::string& shown = rows[row][column];
    ++checked;
    if (cell.type == CellType::Text) {
      EXPECT_EQ(shown, data.CellString(cell)) << where;
      return;
    }
    const std::string& format =
        data.number_formats.Get(data.cell_formats[static_cast<size_t>(cell.format)].number_format);
    if (format.find("yy") != std::string::npos || format.find("h:mm") != std::string::npos) {
      const CivilDateTime t = DecodeDateTime(cell.number);
      const bool with_time =
          format.find("h:mm") != std::string::npos || t.hour || t.minute || t.second;
      EXPECT_EQ(shown, date_text(t, with_time)) << where;
      return;
    }
    const double value = std::strtod(shown.c_str(), nullptr);
    EXPECT_NEAR(value, cell.number, std::fabs(cell.number) * 1e-12) << where << " " << shown;
  });
  EXPECT_GT(checked, 0u);
}

TEST_F(Interop, LibreOfficeShowsEveryValueAndTheRussianTexts) {
  WorkbookModel archive = ArchiveWorkbook();
  const std::string path = Save(archive, "temp.xls");
  const fs::path out = dir_ / "lo";
  const fs::path profile = dir_ / "lo-profile";
  // Every conversion has its own profile: two at once with one profile
  // fail silently.
  EXPECT_EQ(testing::LibreOfficeConvert(path,
                                        "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,"
                                        "false,false,false,-1",
                                        out, profile),
            0);
  const char* names[] = {"days", "hours", "months"};
  for (size_t s = 0; s < 3; ++s) {
    const fs::path csv = out / (std::string("temp-") + names[s] + ".csv");
    ASSERT_TRUE(fs::exists(csv)) << csv;
    if (s > 0) ExpectCsvShowsTheSheet(archive, s, testing::ReadFile(csv), LibreOfficeDate);
  }
  EXPECT_NE(testing::ReadFile(out / "temp-hours.csv").find("Итого:"), std::string::npos);
}

TEST_F(Interop, GnumericShowsEveryValueAndTheRussianTexts) {
  WorkbookModel archive = ArchiveWorkbook();
  WorkbookModel parameters = ParameterWorkbook();
  const std::string archive_path = Save(archive, "temp.xls");
  const std::string parameters_path = Save(parameters, "параметры.xls");
  const std::string out = (dir_ / "g.csv").string();
  Run("ssconvert -S -T Gnumeric_stf:stf_csv '" + archive_path + "' '" + out + "'");
  for (size_t s = 1; s < 3; ++s) {
    const fs::path csv = out + "." + std::to_string(s);
    ASSERT_TRUE(fs::exists(csv)) << csv;
    ExpectCsvShowsTheSheet(archive, s, testing::ReadFile(csv), GnumericDate);
  }
  const std::string single = (dir_ / "p.csv").string();
  Run("ssconvert -T Gnumeric_stf:stf_csv '" + parameters_path + "' '" + single + "'");
  ExpectCsvShowsTheSheet(parameters, 0, testing::ReadFile(single), GnumericDate);
}

TEST_F(Interop, AnExcel97FileIsSavedAsExcel5WithItsFormats) {
  const std::string source = (dir_ / "xlwt.xls").string();
  Run(testing::kPython + " '" + std::string(FLOVIR_SOURCE_DIR) +
      "/tests/workbook/make_xls97.py' '" + source + "'");
  WorkbookModel model = WorkbookModel::MakeParameterWorkbook();
  model.SetFileName(source);
  model.LoadWorkbook();
  const std::string saved = Save(model, "saved.xls");
  // xlrd reads the Excel 5.0 file we wrote: the same texts, values, number
  // formats, borders and fonts as the Excel 97 file they came from.
  const std::string check =
      "import sys, xlrd\n"
      "def cells(path):\n"
      "    b = xlrd.open_workbook(path, formatting_info=True)\n"
      "    out = [b.biff_version]\n"
      "    for s in b.sheets():\n"
      "        for r in range(s.nrows):\n"
      "            for c in range(s.ncols):\n"
      "                x = s.cell(r, c)\n"
      "                if x.ctype == xlrd.XL_CELL_EMPTY: continue\n"
      "                xf = b.xf_list[s.cell_xf_index(r, c)]\n"
      "                out.append((s.name, r, c, x.value, b.format_map[xf.format_key].format_str,\n"
      "                            xf.border.top_line_style, xf.border.bottom_line_style,\n"
      "                            b.font_list[xf.font_index].bold))\n"
      "        out.append((s.name, s.colinfo_map[0].width if 0 in s.colinfo_map else None))\n"
      "    return out\n"
      "a, b = cells(sys.argv[1]), cells(sys.argv[2])\n"
      "print(a[0], b[0])\n"
      "assert a[1:] == b[1:], (a, b)\n"
      "print(len(a) - 1)\n";
  const fs::path script = dir_ / "check.py";
  std::ofstream(script) << check;
  const std::string out =
      Run(testing::kPython + " '" + script.string() + "' '" + source + "' '" + saved + "'");
  EXPECT_EQ(out, "80 70\n7\n");
}

}  // namespace
}  // namespace flovir
