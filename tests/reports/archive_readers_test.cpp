// The archive workbook as programs nobody here wrote see it: xlrd and
// LibreOffice Calc read the file the export saved, and flovir-cli turns it
// into the same table the window shows.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/reports/archive_fixture.h"
#include "tests/support/files.h"
#include "tests/support/programs.h"

namespace flovir {
namespace {

using namespace flovir::testing;
namespace fs = std::filesystem;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream s(text);
  for (std::string line; std::getline(s, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream s(line);
  for (std::string field; std::getline(s, field, '\t');) fields.push_back(field);
  return fields;
}

class ArchiveReaders : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = std::make_unique<ScratchFolder>("flovir-readers");
    folder_ = scratch_->Folder();
    WorkbookModel xls = WorkbookModel::MakeArchiveWorkbook();
    Export(xls, LeapYearMonths(), folder_.string());
    Export(xls, ManyDailyRecords(), folder_.string());
    Export(xls, ManyHourlyRecords(), folder_.string());
    xls.SaveWorkbook();
    file_ = xls.FileName();
  }
  static void TearDownTestSuite() { scratch_.reset(); }

  static std::unique_ptr<ScratchFolder> scratch_;
  static fs::path folder_;
  static fs::path file_;
};

std::unique_ptr<ScratchFolder> ArchiveReaders::scratch_;
fs::path ArchiveReaders::folder_;
fs::path ArchiveReaders::file_;

// ----- xlrd -----

struct XlrdCell {
  std::string kind, value, format;
};

TEST_F(ArchiveReaders, XlrdSeesDatesNumbersAndRussianTexts) {
  const fs::path dump = folder_ / "xlrd.txt";
  ASSERT_EQ(RunShell(kPython + " " FLOVIR_SOURCE_DIR "/tests/support/xlrd_dump.py " + Quote(file_) +
                     " > " + Quote(dump)),
            0);
  // "sheet INDEX NAME" and "cell SHEET ROW COL KIND VALUE XF FORMAT DATE"
  // lines; cells are keyed "sheetname row col", a date cell by its date.
  std::vector<std::string> sheets;
  std::map<std::string, XlrdCell> cells;
  for (const std::string& line : SplitLines(ReadFile(dump))) {
    const std::vector<std::string> f = SplitTabs(line);
    if (f.size() == 3 && f[0] == "sheet") sheets.push_back(f[2]);
    if (f.empty() || f[0] != "cell") continue;
    ASSERT_GE(f.size(), 8u) << line;
    ASSERT_LT(std::stoul(f[1]), sheets.size()) << line;
    const bool date = f.size() > 8 && !f[8].empty();
    cells[sheets[std::stoul(f[1])] + " " + f[2] + " " + f[3]] = {date ? "date" : f[4],
                                                                 date ? f[8] : f[5], f[7]};
  }
  EXPECT_EQ(sheets, (std::vector<std::string>{"days", "hours", "months"}));
  auto cell = [&cells](const std::string& key) { return cells[key]; };

  EXPECT_EQ(cell("hours 0 0").value, "Часовой архив с 28.02.2024 по 01.03.2024");
  EXPECT_EQ(cell("days 0 0").value, "Суточный архив с 25.12.2023 по 10.01.2024");
  EXPECT_EQ(cell("months 5 0").value, "сетевой номер: 1");
  EXPECT_EQ(cell("hours 7 8").value, "B3, часов (Время работы по 3 каналу)");
  EXPECT_EQ(cell("hours 7 11").value, "События");

  const Download hourly = ManyHourlyRecords();
  for (size_t i = 0; i < hourly.entries.size(); ++i) {
    const RawEntry& e = hourly.entries[i];
    const std::string row = "hours " + std::to_string(8 + i) + " ";
    char when[32];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:00:00", e.year, e.month, e.day, e.hour);
    EXPECT_EQ(cell(row + "0").kind, "date");
    EXPECT_EQ(cell(row + "0").value, when);
    EXPECT_EQ(cell(row + "0").format, "dd/mm/yy");
    EXPECT_EQ(cell(row + "1").format, "Hh:mm");
    EXPECT_EQ(cell(row + "2").kind, "number");
    EXPECT_EQ(cell(row + "2").format, "#######0.000");
    EXPECT_EQ(cell(row + "11").value.size(), 25u);
  }
  // A count of 40 with code 3 is 40 x the single-precision 0.01.
  EXPECT_EQ(cell("hours 8 2").value, "0.3999999910593033");
  EXPECT_EQ(cell("hours 11 2").value, "0.0");  // no-data marker
  EXPECT_EQ(cell("hours 14 11").value, "X < >          <         ");
  EXPECT_EQ(cell("hours 56 0").value, "Итого:");
  EXPECT_EQ(cell("hours 58 0").value, "Интеграторы:");
  EXPECT_EQ(cell("hours 59 0").kind, "date");
  EXPECT_EQ(cell("hours 60 5").value, "0.0");
  EXPECT_EQ(cell("months 9 0").format, "mmmm yyyy");
  EXPECT_EQ(cell("months 9 9").value, "0.0");  // February 2024: 696 h
  EXPECT_EQ(cell("months 8 9").value, "44.0");
  EXPECT_EQ(cell("days 8 0").value, "2023-12-25 00:00:00");
}

// ----- LibreOffice -----

std::string Csv3(double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.3f", x);
  return buffer;
}

// The CSV line LibreOffice shows for an hourly entry: dates as dd/mm/yy,
// times as hh:mm, numbers with three decimals, the events text.
std::string HourlyCsvLine(const Download& d, const RawEntry& e) {
  char start[32];
  std::snprintf(start, sizeof start, "%02d/%02d/%02d,%02d:00", e.day, e.month, e.year % 100,
                e.hour);
  std::string line = start;
  for (size_t n = 0; n < 4; ++n)
    line += "," + Csv3(Counted(e.volume[n]) * static_cast<double>(Multiplier(d.scale_codes[n])));
  for (size_t n = 0; n < 4; ++n) line += "," + Csv3(Counted(e.time[n]) / 10000.0);
  line += "," + Csv3(1 - e.mains / 10000.0) + "," + e.marks;
  return line;
}

TEST_F(ArchiveReaders, LibreOfficeShowsTheSheetsAsTheyAreMeant) {
  const fs::path out = folder_ / "csv";
  ASSERT_EQ(
      LibreOfficeConvert(
          file_, "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1",
          out, folder_ / "lo-profile"),
      0);
  ASSERT_TRUE(fs::exists(out / "temp-hours.csv")) << "LibreOffice wrote nothing";
  const std::vector<std::string> hours = SplitLines(ReadFile(out / "temp-hours.csv"));
  const std::vector<std::string> months = SplitLines(ReadFile(out / "temp-months.csv"));
  const std::vector<std::string> days = SplitLines(ReadFile(out / "temp-days.csv"));

  ASSERT_GE(hours.size(), 61u);
  EXPECT_EQ(hours[0], "Часовой архив с 28.02.2024 по 01.03.2024,,,,,,,,,,,");
  EXPECT_EQ(hours[2], "узел: неизвестен,,,,,,,,,,,");
  const Download hourly = ManyHourlyRecords();
  for (size_t i = 0; i < hourly.entries.size(); ++i) {
    EXPECT_EQ(hours[8 + i], HourlyCsvLine(hourly, hourly.entries[i])) << "row " << 8 + i;
  }
  EXPECT_EQ(hours[56].rfind("Итого:,,", 0), 0u) << hours[56];
  EXPECT_EQ(hours[58], "Интеграторы:,,,,,,,,,,,");
  EXPECT_EQ(hours[59].substr(0, 12), "28/02/24,,33");

  ASSERT_GE(months.size(), 17u);
  EXPECT_EQ(months[0], "Месячный архив с 01.01.2024 по 01.03.2024,,,,,,,,,,");
  EXPECT_EQ(months[9].substr(0, 14), "February 2024,");
  EXPECT_EQ(months[9].substr(months[9].size() - 32), ",0.000,  <                    > ");
  EXPECT_EQ(months[16].substr(0, 11), "March 2024,");
  ASSERT_GE(days.size(), 9u);
  EXPECT_EQ(days[8].substr(0, 9), "25/12/23,");
}

// ----- flovir-cli -----

TEST_F(ArchiveReaders, CliPrintsTheTableOfEachArchive) {
  const struct {
    const char* word;
    Download download;
  } archives[] = {{"hourly", ManyHourlyRecords()},
                  {"daily", ManyDailyRecords()},
                  {"monthly", LeapYearMonths()}};
  for (const auto& a : archives) {
    const fs::path out = folder_ / (std::string(a.word) + ".txt");
    ASSERT_EQ(
        RunShell(kCli + " report archive " + a.word + " " + Quote(file_) + " > " + Quote(out)), 0);
    EXPECT_EQ(SplitLines(ReadFile(out)), ExpectedTable(a.download)) << a.word;
  }
}

TEST_F(ArchiveReaders, CliRefusesFilesItCannotRead) {
  const fs::path junk = folder_ / "junk.xls";
  std::ofstream(junk) << "this is no workbook";
  const fs::path err = folder_ / "err.txt";
  EXPECT_EQ(
      RunShell(kCli + " report archive daily " + Quote(junk) + " > /dev/null 2> " + Quote(err)), 1);
  EXPECT_NE(ReadFile(err).find("junk.xls"), std::string::npos) << ReadFile(err);
  EXPECT_EQ(RunShell(kCli + " report archive daily " + Quote(folder_ / "missing.xls") +
                     " > /dev/null 2> " + Quote(err)),
            1);
  EXPECT_NE(ReadFile(err).find("No such file"), std::string::npos) << ReadFile(err);
  EXPECT_EQ(RunShell(kCli + " report archive weekly " + Quote(file_) + " > /dev/null 2>&1"), 2);
}

}  // namespace
}  // namespace flovir
