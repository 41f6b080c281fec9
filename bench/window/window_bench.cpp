// The window's benchmark: the time from process start to the window shown,
// the longest stall of the event loop during a 31-day hourly download from
// the simulated meter at 9600 baud (its page and chart on screen), the
// time to show a 65,000-row hourly table in Memo4, and the longest stall
// while the hourly chart shows the download again (744 points per series
// for 31 days). Goals: start under 1 s, no stall over 100 ms, the table
// under 1 s. Runs on the platform Qt picks (QT_QPA_PLATFORM=offscreen
// without a display).
//
// flovir_window_bench [--days N]   (31 by default)

#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QDate>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "operations/archive_download.h"
#include "ui/charts/archive_charts.h"
#include "ui/form1.h"

namespace {

// Seconds since this process started, from its start time in /proc.
double SecondsSinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // Field 22 (starttime, clock ticks after boot) comes after the command's ")".
  size_t at = text.rfind(')');
  for (int field = 2; field < 22 && at != std::string::npos; ++field) at = text.find(' ', at + 1);
  const double start = std::stod(text.substr(at + 1)) / static_cast<double>(sysconf(_SC_CLK_TCK));
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - start;
}

// Runs the event loop until done(), recording the longest gap between the
// ticks of a 1 ms timer beyond its period, and when it ended (ms from the
// start).
double RunMeasuringStalls(const std::function<bool()>& done, qint64& worst_at) {
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0;
  qint64 worst = 0;
  QTimer ticker;
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    if (now - last - 1 > worst) {
      worst = now - last - 1;
      worst_at = now;
    }
    last = now;
  });
  ticker.start();
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return static_cast<double>(worst);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int days = 31;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--days") days = std::stoi(argv[i + 1]);
  }
  QTemporaryDir dir;
  flovir::ui::WindowOptions options;
  options.demo = true;
  options.folder = dir.path().toStdString();
  options.settings_file = dir.filePath("settings.ini");
  flovir::ui::TForm1 window(options);
  window.show();
  while (!window.windowHandle() || !window.windowHandle()->isExposed()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  }
  const double start_s = SecondsSinceProcessStart();
  std::printf("window shown %.3f s after process start\n", start_s);

  window.Button1->click();
  if (!window.GetConnection().Connected()) {
    std::fprintf(stderr, "no connection to the simulated meter\n");
    return 1;
  }
  window.MonthCalendar1->setSelectedDate(QDate::currentDate().addDays(-days));
  window.MonthCalendar2->setSelectedDate(QDate::currentDate().addDays(-1));
  // The hourly page, so that its table and chart are drawn when they come.
  window.pages_->setCurrentIndex(1);
  qobject_cast<QTabWidget*>(window.pages_->widget(1))->setCurrentIndex(1);
  QElapsedTimer download;
  download.start();
  window.Button5->click();
  qint64 stall_at = 0;
  const double stall_ms =
      RunMeasuringStalls([&] { return !window.GetDispatcher().Busy(); }, stall_at);
  std::printf(
      "%d-day hourly download at 9600 baud: %.1f s, %s, longest stall %.0f ms, ended at %.1f s\n",
      days, static_cast<double>(download.elapsed()) / 1000.0,
      window.GetDispatcher().LastStatusText().c_str(), stall_ms,
      static_cast<double>(stall_at) / 1000.0);

  // The chart alone: shown again from the downloaded workbook, from hidden.
  flovir::ArchiveChart* chart = window.Charts()->Chart(flovir::ReportKind::Hourly);
  bool chart_done = false;
  QTimer::singleShot(50, [&] {
    chart->Clear();
    chart->ShowWorkbook(window.GetDispatcher().Archive().Workbook());
  });
  QTimer::singleShot(1000, [&] { chart_done = true; });
  qint64 chart_stall_at = 0;
  const double chart_stall_ms = RunMeasuringStalls([&] { return chart_done; }, chart_stall_at);
  const size_t chart_rows = chart->Data().rows.size();
  std::printf("hourly chart of %zu rows shown again: longest stall %.0f ms\n", chart_rows,
              chart_stall_ms);

  // A 65,000-row table of the hourly layout's width.
  std::vector<std::string> lines;
  lines.reserve(65000);
  for (int i = 0; i < 65000; ++i) {
    char row[160];
    std::snprintf(row, sizeof row,
                  "%02d.%02d.%04d|%02d:00|%12.3f|%12.3f|%12.3f|%12.3f|%6d|%6d|%6d|%6d|%6d|    ",
                  1 + i % 28, 1 + i / 720 % 12, 2020 + i / 8760, i % 24, i * 0.125, i * 0.5,
                  i * 0.25, i * 1.5, 60, 60, 60, 60, 60);
    lines.emplace_back(row);
  }
  QElapsedTimer table;
  table.start();
  window.SetReport(flovir::ReportKind::Hourly, lines);
  window.Memo4->repaint();
  QCoreApplication::processEvents();
  const double table_s = static_cast<double>(table.elapsed()) / 1000.0;
  std::printf("65,000-row table in Memo4: %.3f s (%d lines)\n", table_s,
              window.Memo4->blockCount());

  window.Button2->click();
  std::printf(
      "window: start_s=%.3f max_stall_ms=%.0f table_s=%.3f chart_rows=%zu chart_stall_ms=%.0f\n",
      start_s, stall_ms, table_s, chart_rows, chart_stall_ms);
  return 0;
}
