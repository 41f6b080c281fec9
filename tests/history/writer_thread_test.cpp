// The window's history writes on a thread of its own: a store that another
// program holds locked takes the readings later instead of stalling the
// caller, a read sees every reading handed over before it, and a store that
// fails warns once from the writer.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "operations/clock.h"
#include "store/meter_history.h"
#include "store/sqlite_db.h"
#include "tests/support/files.h"
#include "workbook/serial_date.h"

namespace flovir::history {
namespace {

ArchiveReading Hour(double at) {
  ArchiveReading reading;
  reading.at = at;
  reading.registers[0] = 7;  // V1 = 7 counts
  return reading;
}

int64_t Count(Database& db, const std::string& table) {
  auto count = db.Prepare("SELECT count(*) FROM " + table);
  count.Step();
  const int64_t n = count.Int(0);
  count.Reset();
  return n;
}

// A store in a scratch folder, and a meter's history writing on its own thread.
struct WriterRig {
  testing::ScratchFolder folder{"flovir-writer"};
  std::string path = folder.Path("history.sqlite");
  std::unique_ptr<HistoryStore> store = OpenHistoryStore(path);
  FixedClock clock{EncodeDate(2026, 12, 1)};
  std::atomic<int> warnings = 0;
  std::unique_ptr<MeterHistory> Open() {
    return std::make_unique<MeterHistory>(
        *store, MeterIdentity{"pump-1", "direct", "ttyS0", "", 1}, clock,
        [this](const std::string&) { ++warnings; }, MeterHistory::Writes::OnWriterThread);
  }
};

TEST(HistoryWriterThread, ALockedStoreTakesTheReadingsLaterWithoutStallingTheCaller) {
  WriterRig rig;
  const std::string& path = rig.path;
  const double day = EncodeDate(2026, 11, 1);
  {
    auto opened = rig.Open();
    MeterHistory& history = *opened;
    // Another program holds the write lock while a month of hours arrives.
    Database other(path, 10000);
    other.Execute("BEGIN IMMEDIATE");
    history.DownloadStarted(ArchiveKind::Hourly, day, day + 30 + 23.0 / 24);
    for (int hour = 0; hour < 744; ++hour) history.EntryRead(Hour(day + hour / 24.0));
    history.DownloadEnded("Завершено успешно", 744, 0);
    EXPECT_EQ(Count(other, "archive_entries"), 0);  // every call returned, nothing written yet
    other.Execute("COMMIT");

    // A read waits for the writes before it.
    EXPECT_EQ(history.StoredEntries(ArchiveKind::Hourly, day, day + 31).size(), 744u);
    history.EntryRead(Hour(day + 31));
    history.CurrentValuesRead(std::array<uint8_t, kCurrentValuesBytes>{});
  }  // the rest is written before the history goes
  Database db(path, 10000);
  EXPECT_EQ(Count(db, "archive_entries"), 745);
  EXPECT_EQ(Count(db, "current_values"), 1);
  auto ended = db.Prepare("SELECT status, from_meter FROM downloads");
  ASSERT_TRUE(ended.Step());
  EXPECT_EQ(ended.Text(0), "Завершено успешно");
  EXPECT_EQ(ended.Int(1), 744);
  ended.Reset();
  EXPECT_EQ(rig.warnings, 0);
}

TEST(HistoryWriterThread, AFailingStoreWarnsOnceAndTheReadingsGoOn) {
  WriterRig rig;
  const std::string& path = rig.path;
  auto opened = rig.Open();
  MeterHistory& history = *opened;
  history.SetMissingOnly(true);
  {
    // The table the entries go into is gone: every write fails.
    Database other(path, 10000);
    other.Execute("DROP TABLE archive_entries");
  }
  for (int hour = 0; hour < 24; ++hour)
    history.EntryRead(Hour(EncodeDate(2026, 11, 1) + hour / 24.0));
  history.Drain();
  EXPECT_TRUE(history.Failed());
  EXPECT_EQ(rig.warnings, 1);
  EXPECT_FALSE(history.MissingOnly());
}

}  // namespace
}  // namespace flovir::history
