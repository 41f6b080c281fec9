// The history store's speed on this machine, in a fresh file in the
// temporary folder:
//   store:  744 hourly entries put in one by one, as a download puts them,
//           each its own transaction (the month of an hourly download);
//   gaps:   the gaps of a year of hourly entries with 30 missing, as
//           `flovir-cli history gaps` finds them (query and walk);
//   table:  a year of hourly entries (8760) read back and laid out as the
//           archive table, the core of what the history page shows.
// Each figure is the best of five runs.
//
// Last line: history: store_ms=N gaps_ms=N table_ms=N

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "operations/clock.h"
#include "operations/dispatcher.h"
#include "reports/archive_table.h"
#include "store/history_views.h"
#include "store/meter_history.h"
#include "workbook/serial_date.h"

namespace {

using namespace flovir;

double BestMs(const std::function<void()>& run, const std::function<void()>& prepare = {}) {
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    if (prepare) prepare();
    const auto start = std::chrono::steady_clock::now();
    run();
    best = std::min(
        best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                  .count());
  }
  return best;
}

ArchiveReading Entry(double at) {
  ArchiveReading reading;
  reading.at = at;
  for (size_t i = 0; i < 16; ++i) reading.registers[2 * i] = static_cast<uint8_t>(i + 7);
  for (auto& scale : reading.scales) scale = VolumeScaleOf(3);
  return reading;
}

history::MeterIdentity Bench() {
  history::MeterIdentity meter;
  meter.name = "bench";
  return meter;
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path folder =
      fs::temp_directory_path() / ("flovir-history-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  FixedClock clock(EncodeDate(2026, 1, 2));
  const double year = EncodeDate(2025, 1, 1);

  // A fresh file each time, opened (and the meter added) before the clock runs.
  int file = 0;
  std::unique_ptr<history::HistoryStore> month;
  std::unique_ptr<history::MeterHistory> meter;
  const double store_ms = BestMs(
      [&] {
        for (int h = 0; h < 744; ++h) meter->EntryRead(Entry(year + h / 24.0));
      },
      [&] {
        meter.reset();
        month = history::OpenHistoryStore((folder / ("month" + std::to_string(++file))).string());
        meter = std::make_unique<history::MeterHistory>(*month, Bench(), clock,
                                                        history::MeterHistory::Warning{});
        meter->DownloadStarted(ArchiveKind::Hourly, year, year + 31);
      });
  meter.reset();
  month.reset();

  // A year, 30 hours missing.
  auto store = history::OpenHistoryStore((folder / "year").string());
  {
    history::MeterHistory meter(*store, Bench(), clock, {});
    for (int h = 0; h < 8760; ++h) {
      if (h % 292 != 17) meter.EntryRead(Entry(year + h / 24.0));
    }
  }
  const int64_t id = *store->FindMeter("bench");
  const history::Period period =
      history::PeriodOf(ArchiveKind::Hourly, year, EncodeDate(2025, 12, 31));
  size_t gaps = 0;
  const double gaps_ms = BestMs([&] {
    gaps = history::FindGaps(period, store->EntryTimes(id, ArchiveKind::Hourly,
                                                       history::EntryTimeText(period.first),
                                                       history::EntryTimeText(period.last), true))
               .size();
  });
  size_t lines = 0;
  const double table_ms = BestMs([&] {
    const auto entries =
        store->Entries(id, ArchiveKind::Hourly, history::EntryTimeText(period.first),
                       history::EntryTimeText(period.last));
    const history::StoredSheet sheet = history::BuildStoredSheet(period, entries, {}, 1, year);
    lines = ArchiveTableLines(ReportKind::Hourly, sheet.workbook).size();
  });
  fs::remove_all(folder);
  std::printf("744 entries stored one by one: %.1f ms\n", store_ms);
  std::printf("gaps of a year of hours: %zu gaps in %.1f ms\n", gaps, gaps_ms);
  std::printf("a year of hours as the archive table: %zu lines in %.1f ms\n", lines, table_ms);
  std::printf("history: store_ms=%.1f gaps_ms=%.1f table_ms=%.1f\n", store_ms, gaps_ms, table_ms);
  return 0;
}
