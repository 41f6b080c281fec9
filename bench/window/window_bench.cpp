// The window's benchmark: the time from process start to the window shown;
// the longest stall of the event loop during a 31-day hourly download from
// the simulated meter at 9600 baud (its page and chart on screen), once on
// a quiet machine and once with a busy loop on every core beside it, as
// during a virus scan or a build; the time to show a 65,000-row hourly
// table in Memo4; and the longest stall while the hourly chart shows the
// download again (744 points per series for 31 days), and while it shows a
// year of hourly entries (8,760 points in each of the 8 series). Goals:
// start under 0.3 s, the stalls under 50 ms, the table under 0.3 s. Runs on the
// platform Qt picks (QT_QPA_PLATFORM=offscreen without a display).
//
// flovir_window_bench [--days N]   (31 by default)
// flovir_window_bench --chart-only  (the year's chart alone, no downloads)

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
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <qcustomplot.h>

#include "operations/archive_download.h"
#include "ui/charts/archive_charts.h"
#include "ui/main_window.h"
#include "workbook/serial_date.h"

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

// A busy loop on every core while it lives.
class BusyCores {
 public:
  BusyCores() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i) {
      loops_.emplace_back([this] {
        volatile unsigned long spin = 0;
        while (!stop_.load(std::memory_order_relaxed)) spin = spin + 1;
      });
    }
  }
  ~BusyCores() {
    stop_ = true;
    for (std::thread& loop : loops_) loop.join();
  }
  size_t Count() const { return loops_.size(); }

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::thread> loops_;
};

template <typename T>
T* Control(const QWidget& window, const char* name) {
  T* control = window.findChild<T*>(name);
  if (control == nullptr) {
    std::fprintf(stderr, "no control %s\n", name);
    std::exit(1);
  }
  return control;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int days = 31;
  bool chart_only = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--days" && i + 1 < argc) days = std::stoi(argv[i + 1]);
    if (std::string(argv[i]) == "--chart-only") chart_only = true;
  }
  QTemporaryDir dir;
  flovir::ui::WindowOptions options;
  options.demo = true;
  options.folder = dir.path().toStdString();
  options.settings_file = dir.filePath("settings.ini");
  flovir::ui::MainWindow window(options);
  window.show();
  while (!window.windowHandle() || !window.windowHandle()->isExposed()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  }
  const double start_s = SecondsSinceProcessStart();
  std::printf("window shown %.3f s after process start\n", start_s);

  // The hourly page, so that its table and chart are drawn when they come.
  auto* pages = Control<QTabWidget>(window, "PageControl1");
  pages->setCurrentIndex(1);
  qobject_cast<QTabWidget*>(pages->widget(1))->setCurrentIndex(1);
  flovir::ArchiveChart* chart = window.Charts()->Chart(flovir::ReportKind::Hourly);
  double stall_ms = 0;
  double busy_stall_ms = 0;
  if (!chart_only) {
    Control<QPushButton>(window, "Button1")->click();
    if (!window.GetConnection().Connected()) {
      std::fprintf(stderr, "no connection to the simulated meter\n");
      return 1;
    }
    Control<QCalendarWidget>(window, "MonthCalendar1")
        ->setSelectedDate(QDate::currentDate().addDays(-days));
    Control<QCalendarWidget>(window, "MonthCalendar2")
        ->setSelectedDate(QDate::currentDate().addDays(-1));
    auto download = [&](const char* machine) {
      QElapsedTimer clock;
      clock.start();
      Control<QPushButton>(window, "Button5")->click();
      qint64 stall_at = 0;
      const double stall_ms =
          RunMeasuringStalls([&] { return !window.GetDispatcher().Busy(); }, stall_at);
      std::printf(
          "%d-day hourly download at 9600 baud, %s: %.1f s, %s, longest stall %.0f ms at %.1f s\n",
          days, machine, static_cast<double>(clock.elapsed()) / 1000.0,
          window.GetDispatcher().LastStatusText().c_str(), stall_ms,
          static_cast<double>(stall_at) / 1000.0);
      return stall_ms;
    };
    stall_ms = download("quiet machine");
    {
      BusyCores busy;
      char machine[64];
      std::snprintf(machine, sizeof machine, "%zu cores busy", busy.Count());
      busy_stall_ms = download(machine);
    }

    // The chart alone: shown again from the downloaded workbook, from hidden.
    bool chart_done = false;
    QTimer::singleShot(50, [&] {
      chart->Clear();
      chart->ShowWorkbook(window.GetDispatcher().Archive().Workbook(),
                          window.GetDispatcher().Archive().Data().entries);
    });
    QTimer::singleShot(1000, [&] { chart_done = true; });
    qint64 chart_stall_at = 0;
    const double chart_stall_ms = RunMeasuringStalls([&] { return chart_done; }, chart_stall_at);
    std::printf("hourly chart of %zu rows shown again: longest stall %.0f ms\n",
                chart->Data().rows.size(), chart_stall_ms);
  }

  // A year of hourly entries, every series ticked: V1-V4 and B1-B4.
  flovir::ArchiveChartData year;
  year.kind = flovir::ReportKind::Hourly;
  for (int i = 0; i < 8760; ++i) {
    flovir::ArchiveChartRow& row = year.rows.emplace_back();
    row.at = flovir::EncodeDate(2025, 1, 1) + i / 24.0;
    row.date_text = "01.01.2025 0:00";
    for (size_t s = 0; s < flovir::kChartSeriesCount; ++s) {
      if (i % 700 < 5) continue;  // a few hours without data now and then
      row.values[s] = s < flovir::kChartVolumeSeriesCount
                          ? 10 + 5 * static_cast<double>(s) + (i * 37 + static_cast<int>(s)) % 11
                          : static_cast<double>(1 + (i + static_cast<int>(s)) % 2);
      row.texts[s] = "0,000";
    }
    if (i % 300 == 0) row.events = "канал1: X";
  }
  for (size_t s = 0; s < flovir::kChartSeriesCount; ++s) chart->SeriesBox(s)->setChecked(true);
  bool year_done = false;
  qint64 handed_ms = 0;
  QTimer::singleShot(50, [&] {
    QElapsedTimer handing;
    handing.start();
    chart->ShowRows(std::move(year));
    handed_ms = handing.elapsed();
  });
  QTimer::singleShot(1000, [&] { year_done = true; });
  qint64 year_stall_at = 0;
  const double year_stall_ms = RunMeasuringStalls([&] { return year_done; }, year_stall_at);
  std::printf(
      "hourly chart of a year, %zu rows x %zu series: longest stall %.0f ms, "
      "rows handed over in %lld ms, redrawn in %.1f ms\n",
      chart->Data().rows.size(), flovir::kChartSeriesCount, year_stall_ms,
      static_cast<long long>(handed_ms), chart->Plot()->replotTime());

  if (chart_only) return 0;

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
  auto* memo4 = Control<QPlainTextEdit>(window, "Memo4");
  QElapsedTimer table;
  table.start();
  window.SetReport(flovir::ReportKind::Hourly, lines);
  memo4->repaint();
  QCoreApplication::processEvents();
  const double table_s = static_cast<double>(table.elapsed()) / 1000.0;
  std::printf("65,000-row table in Memo4: %.3f s (%d lines)\n", table_s, memo4->blockCount());

  Control<QPushButton>(window, "Button2")->click();
  std::printf(
      "window: start_s=%.3f max_stall_ms=%.0f busy_stall_ms=%.0f table_s=%.3f "
      "year_chart_stall_ms=%.0f\n",
      start_s, stall_ms, busy_stall_ms, table_s, year_stall_ms);
  return 0;
}
