// The page "История" showing a year of hourly entries (8760 rows) of one
// meter: the entries read from the store, laid out as the archive table and
// drawn on the archive chart, until the page has painted. Run on the
// offscreen platform (QT_QPA_PLATFORM=offscreen); the best of five.
//
// Last line: history_page: show_ms=N rows=N

#include <QApplication>
#include <QDateEdit>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include <unistd.h>

#include "operations/clock.h"
#include "store/meter_history.h"
#include "ui/history_page.h"
#include "workbook/serial_date.h"

int main(int argc, char** argv) {
  using namespace flovir;
  QApplication app(argc, argv);
  namespace fs = std::filesystem;
  const fs::path path =
      fs::temp_directory_path() / ("flovir-history-page-bench-" + std::to_string(getpid()));
  const double year = EncodeDate(2025, 1, 1);
  {
    FixedClock clock(EncodeDate(2026, 1, 2));
    auto store = history::OpenHistoryStore(path.string());
    history::MeterIdentity meter;
    meter.name = "bench";
    history::MeterHistory feed(*store, meter, clock, {});
    for (int h = 0; h < 8760; ++h) {
      ArchiveReading reading;
      reading.at = year + h / 24.0;
      for (size_t i = 0; i < 16; ++i) reading.registers[2 * i] = static_cast<uint8_t>(h + i);
      for (auto& scale : reading.scales) scale = VolumeScaleOf(3);
      feed.EntryRead(reading);
    }
  }
  ui::HistoryPage page;
  page.SetStorePath(path.string());
  page.resize(1200, 900);
  page.show();
  page.findChild<QDateEdit*>("HistoryFrom")->setDate(QDate(2025, 1, 1));
  page.findChild<QDateEdit*>("HistoryTo")->setDate(QDate(2025, 12, 31));
  page.SelectMeter("bench");
  QApplication::processEvents();
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    page.findChild<QPushButton*>("HistoryShow")->click();
    page.repaint();
    QApplication::processEvents();
    best = std::min(
        best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                  .count());
  }
  const long rows = page.TableText().count('\n');
  page.close();
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path.string() + suffix, ignored);
  std::printf("a year of hours on the history page: %.1f ms (%ld table lines)\n", best, rows);
  std::printf("history_page: show_ms=%.1f rows=%ld\n", best, rows);
  return 0;
}
