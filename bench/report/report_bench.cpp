// The hourly table of seven years of hours: 61,000 entries exported into
// the archive workbook and saved, then timed as a download's end does it:
// the file loaded, the table built and written as its text file.
//
//   flovir_report_bench [FOLDER]    (default: a fresh folder under /tmp)
//
// Last line: report: load_s=N table_s=N lines=N

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "operations/archive_workbook.h"
#include "operations/register_map.h"
#include "operations/report_files.h"
#include "reports/archive_table.h"
#include "workbook/serial_date.h"

namespace {

using namespace flovir;
using Clock = std::chrono::steady_clock;

constexpr int kHours = 61000;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Deterministic entries that look like a working meter's.
ArchiveRecord EntryAt(int hour) {
  ArchiveRecord r;
  for (size_t n = 0; n < kChannelCount; ++n) {
    r.volume[n] = static_cast<uint32_t>(1200 + (hour * 37 + static_cast<int>(n) * 11) % 900);
    r.operating_time[n] = hour % 50 == 0 ? 0 : 10000;
  }
  r.mains_time = hour % 24 == 3 ? 6000 : 10000;
  r.event_word_a = hour % 97 == 0 ? 0x5u : 0;
  return r;
}

void WriteWorkbook(const std::string& folder, double start) {
  WorkbookModel xls = WorkbookModel::MakeArchiveWorkbook();
  const VolumeScales scales = {VolumeScaleOf(3), VolumeScaleOf(3), VolumeScaleOf(2),
                               VolumeScaleOf(1)};
  const double end = start + kHours / 24.0;
  ArchiveSheet sheet = BeginArchiveSheet(xls, ArchiveKind::Hourly, start, end, end, 1, folder);
  for (int h = 0; h < kHours; ++h) {
    AddRecordRow(xls, sheet, ArchiveKind::Hourly, EntryAt(h), start + h / 24.0, scales);
  }
  AddTotalsRow(xls, sheet, ArchiveKind::Hourly, scales);
  AddIntegratorLabel(xls, sheet);
  AddIntegratorRow(xls, sheet, ArchiveKind::Hourly, EntryAt(0), start, scales);
  AddIntegratorRow(xls, sheet, ArchiveKind::Hourly, EntryAt(1), end, scales);
  xls.SaveWorkbook();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1]
                                      : (std::filesystem::temp_directory_path() /
                                         ("flovir-report-bench-" + std::to_string(::getpid())))
                                            .string();
  std::filesystem::create_directories(folder);
  const std::string workbook_path = folder + "/" + kArchiveWorkbookName;

  auto t = Clock::now();
  WriteWorkbook(folder, EncodeDate(2017, 1, 1));
  std::printf("export and save of %d hourly rows: %.3f s (%ju bytes)\n", kHours, Seconds(t),
              static_cast<uintmax_t>(std::filesystem::file_size(workbook_path)));

  WorkbookModel xls = WorkbookModel::MakeArchiveWorkbook();
  xls.SetFileName(workbook_path);
  t = Clock::now();
  xls.LoadWorkbook();
  const double load_s = Seconds(t);

  t = Clock::now();
  const std::vector<std::string> lines = ArchiveTableLines(ReportKind::Hourly, xls);
  const double table_s = Seconds(t);

  t = Clock::now();
  WriteReportFile(folder + "/" + kHourlyReportFile, lines);
  std::printf("text file written: %.3f s\n", Seconds(t));
  std::printf("goal: load + table under 1 s: %s\n", load_s + table_s < 1.0 ? "met" : "MISSED");

  if (argc <= 1) std::filesystem::remove_all(folder);
  std::printf("report: load_s=%.3f table_s=%.3f lines=%zu\n", load_s, table_s, lines.size());
  return 0;
}
