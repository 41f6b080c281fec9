// The largest hourly archive sheet (65,000 rows x 12 columns of numbers and
// texts) saved as an Excel 5.0 file, read back by our reader, and read by
// xlrd for comparison. Usage: flovir_workbook_bench [FILE]
// The last line is "workbook: save_s=N load_s=N xlrd_s=N".

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "workbook/serial_date.h"
#include "workbook/workbook.h"

namespace {

using flovir::WorkbookModel;
namespace fs = std::filesystem;

constexpr uint16_t kFirstRow = 8;
constexpr uint16_t kRows = 65000;

// Rows as an hourly download writes them: date, time, four volumes, four
// operating times, the mains-off time and the event marks.
void FillHourlySheet(WorkbookModel& model) {
  const size_t hours = 1;
  const double start = flovir::EncodeDate(2002, 1, 1);
  for (uint16_t i = 0; i < kRows; ++i) {
    const auto row = static_cast<uint16_t>(kFirstRow + i);
    const double t = start + i / 24.0;
    model.SetNumberCell(hours, 0, row, t, 1);
    model.SetNumberCell(hours, 1, row, t, 5);
    for (uint16_t c = 2; c < 6; ++c) model.SetNumberCell(hours, c, row, i * 0.125 + c, 2);
    for (uint16_t c = 6; c < 10; ++c) model.SetNumberCell(hours, c, row, i * 0.0001, 3);
    model.SetNumberCell(hours, 10, row, i % 24 == 0 ? 0.25 : 0, 3);
    model.SetTextCell(hours, 11, row,
                      i % 7 == 0 ? "X <  >   X     X        " : "                         ", 6);
  }
}

template <typename F>
double Seconds(F&& f) {
  const auto begin = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

double BenchSave(const std::string& path) {
  WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  FillHourlySheet(model);
  model.SetFileName(path);
  const double s = Seconds([&] { model.SaveWorkbook(); });
  const double mb = static_cast<double>(fs::file_size(path)) / 1e6;
  std::printf("save: %u rows x 12 columns, %.1f MB in %.3f s, %.1f MB/s\n", kRows, mb, s, mb / s);
  return s;
}

double BenchLoad(const std::string& path) {
  WorkbookModel model = WorkbookModel::MakeArchiveWorkbook();
  model.SetFileName(path);
  const double s = Seconds([&] { model.LoadWorkbook(); });
  const double mb = static_cast<double>(fs::file_size(path)) / 1e6;
  const bool complete = model.GetCellNumber(1, 2, kFirstRow + kRows - 1) == (kRows - 1) * 0.125 + 2;
  std::printf("load: %.1f MB in %.3f s, %.1f MB/s%s\n", mb, s, mb / s,
              complete ? "" : " (cells missing!)");
  return s;
}

// xlrd's time to open the file, measured inside the interpreter. xlrd holds
// Excel 5.0 sheets to the 16,384 rows that Excel 5.0 itself shows, so the
// bench lifts that limit to read the whole sheet.
double BenchXlrd(const std::string& path) {
  const std::string command =
      "/usr/bin/python3 -c \"import sys, time, xlrd, xlrd.sheet\n"
      "init = xlrd.sheet.Sheet.__init__\n"
      "def whole(self, *a, **k):\n"
      "    init(self, *a, **k)\n"
      "    self.utter_max_rows = 65536\n"
      "xlrd.sheet.Sheet.__init__ = whole\n"
      "b = time.time()\n"
      "s = xlrd.open_workbook(sys.argv[1]).sheet_by_index(1)\n"
      "print(s.nrows, time.time() - b)\" '" +
      path + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  int rows = 0;
  double s = -1;
  if (pipe) {
    if (std::fscanf(pipe, "%d %lf", &rows, &s) != 2) s = -1;
    ::pclose(pipe);
  }
  if (s < 0) {
    std::printf("xlrd: failed\n");
    return -1;
  }
  std::printf("xlrd: %d rows in %.3f s\n", rows, s);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path =
      argc > 1 ? argv[1] : (fs::temp_directory_path() / "flovir-workbook-bench.xls").string();
  try {
    const double save_s = BenchSave(path);
    const double load_s = BenchLoad(path);
    const double xlrd_s = BenchXlrd(path);
    std::printf("workbook: save_s=%.3f load_s=%.3f xlrd_s=%.3f\n", save_s, load_s, xlrd_s);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  if (argc <= 1) fs::remove(path);
  return 0;
}
