// The chart of a 31-day hourly download (744 rows, all eight series shown,
// gaps and events among them) as the window shows it after the download:
// the rows taken from the read-back workbook, the series built and the
// chart painted. A 1 ms timer runs meanwhile; the longest gap between its
// ticks is the stall of the event loop the user would feel.
//
//   QT_QPA_PLATFORM=offscreen flovir_chart_bench
//
// Last line: charts: rows=744 stall_ms=N (median of five rounds) max_ms=N

#include <unistd.h>

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "operations/archive_workbook.h"
#include "ui/charts/archive_chart.h"
#include "workbook/serial_date.h"

namespace {

using namespace flovir;

constexpr int kHours = 31 * 24;

// Entries like a working meter's, with a stopped hour now and then (no
// data) and events.
ArchiveRecord EntryAt(int hour) {
  ArchiveRecord r;
  const bool stopped = hour % 50 == 7;
  for (size_t n = 0; n < kChannelCount; ++n) {
    r.volume[n] =
        stopped ? 0 : static_cast<uint32_t>(1200 + (hour * 37 + static_cast<int>(n) * 11) % 900);
    r.operating_time[n] = stopped ? 0 : 10000;
  }
  r.mains_time = 10000;
  r.event_word_a = hour % 29 == 0 ? 0x5u : 0;
  return r;
}

WorkbookModel DownloadedWorkbook(const std::string& folder) {
  WorkbookModel xls = WorkbookModel::MakeArchiveWorkbook();
  const VolumeScales scales = {VolumeScaleOf(3), VolumeScaleOf(3), VolumeScaleOf(2),
                               VolumeScaleOf(1)};
  const double start = EncodeDate(2024, 1, 1);
  const double end = start + 31;
  ArchiveSheet sheet = BeginArchiveSheet(xls, ArchiveKind::Hourly, start, end, end, 1, folder);
  for (int h = 0; h < kHours; ++h) {
    AddRecordRow(xls, sheet, ArchiveKind::Hourly, EntryAt(h), start + h / 24.0, scales);
  }
  AddTotalsRow(xls, sheet, ArchiveKind::Hourly, scales);
  AddIntegratorLabel(xls, sheet);
  AddIntegratorRow(xls, sheet, ArchiveKind::Hourly, EntryAt(0), start, scales);
  AddIntegratorRow(xls, sheet, ArchiveKind::Hourly, EntryAt(1), end, scales);
  xls.SaveWorkbook();
  WorkbookModel read_back;
  read_back.SetFileName(xls.FileName());
  read_back.LoadWorkbook();
  return read_back;
}

// The longest gap between ticks of a 1 ms timer while the chart follows a
// download and paints, in ms.
double OneRound(QApplication& app, const WorkbookModel& workbook) {
  QWidget page;
  page.resize(1200, 600);
  auto* chart = new ArchiveChart(ReportKind::Hourly, &page);
  chart->resize(1200, 600);
  for (size_t s = 0; s < kChartSeriesCount; ++s) chart->SeriesBox(s)->setChecked(true);
  page.show();
  app.processEvents();

  QElapsedTimer clock;
  clock.start();
  double last = 0, longest = 0;
  QTimer ticker;
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const double now = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    longest = std::max(longest, now - last);
    last = now;
  });
  ticker.start();
  QTimer::singleShot(50, [&] { chart->ShowWorkbook(workbook); });
  while (clock.elapsed() < 1000) app.processEvents(QEventLoop::AllEvents, 5);
  ticker.stop();
  if (chart->Data().rows.size() != kHours) std::fprintf(stderr, "rows missing\n");
  return longest;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const std::string folder = (std::filesystem::temp_directory_path() /
                              ("flovir-chart-bench-" + std::to_string(::getpid())))
                                 .string();
  std::filesystem::create_directories(folder);
  const WorkbookModel workbook = DownloadedWorkbook(folder);

  std::vector<double> stalls;
  for (int round = 0; round < 5; ++round) {
    stalls.push_back(OneRound(app, workbook));
    std::printf("round %d: longest stall %.1f ms\n", round + 1, stalls.back());
  }
  std::filesystem::remove_all(folder);
  std::sort(stalls.begin(), stalls.end());
  // Stalls grow with the machine's load; say what it was.
  double load[1] = {0};
  if (getloadavg(load, 1) == 1) std::printf("load average: %.2f\n", load[0]);
  std::printf("charts: rows=%d stall_ms=%.1f max_ms=%.1f\n", kHours, stalls[2], stalls.back());
  return 0;
}
