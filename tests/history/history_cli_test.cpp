// The history store as users see it: flovir-cli and collect against the
// simulated meter, and the store read back with Debian's own sqlite3 client
// and the workbook with xlrd, not with our code.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "operations/clock.h"
#include "store/schema.h"
#include "tests/support/files.h"
#include "tests/support/programs.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"
#include "workbook/serial_date.h"

namespace flovir {
namespace {

using testing::RunCapturing;
using testing::RunCli;
using testing::ScratchFolder;

// A day so many days before today, as the command line takes it.
std::string DaysAgo(int days) {
  const CivilDateTime t = DecodeDateTime(std::floor(SystemClock().Now()) - days);
  char text[16];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", t.day, t.month, t.year);
  return text;
}

// What sqlite3 prints for a query, without the last line end.
std::string Sql(const std::string& db, const std::string& query) {
  // The client waits, as our programs do, while a writer holds the lock.
  std::string out =
      RunCapturing("sqlite3 -cmd '.timeout 10000' '" + db + "' \"" + query + "\"").output;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::vector<std::string> Split(const std::string& text, char at = '\n') {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, at);) parts.push_back(part);
  return parts;
}

// Archive entry reads (function 3 from register 200) in a --trace.
int EntryReads(const std::string& trace) {
  int reads = 0;
  for (const std::string& line : Split(trace)) {
    reads += line.rfind("out: 0x01 0x03 0x00 0xC8 0x00 0x1A", 0) == 0;
  }
  return reads;
}

// A table without its second line, the creation time.
std::vector<std::string> WithoutCreated(const std::string& text) {
  std::vector<std::string> lines = Split(text);
  if (lines.size() > 1) lines.erase(lines.begin() + 1);
  return lines;
}

// 31 days of hourly entries, ending ten days ago: 744 entries.
struct HourlyMonth {
  ScratchFolder folder{"flovir-history"};
  std::string db = folder.Path("history.sqlite");
  std::string range = " --from " + DaysAgo(40) + " --to " + DaysAgo(10);
  std::string Archive(const std::string& extra) const {
    return "archive hourly --demo --baud 115200 --folder " + folder.Path() + range + " " + extra;
  }
  std::string Table() const { return testing::ReadFile(folder / u8"авто_/часовой архив.txt"); }
};

TEST(HistoryCli, TheStoreHoldsTheDownloadAndARepeatReadsOnlyWhatIsMissing) {
  HourlyMonth month;
  ASSERT_EQ(RunCli(month.Archive("")).status, 0);
  EXPECT_EQ(Sql(month.db, "SELECT count(*) FROM archive_entries"), "744");
  EXPECT_EQ(Sql(month.db, "SELECT count(*) FROM integrators"), "2");
  EXPECT_EQ(Sql(month.db, "PRAGMA journal_mode"), "wal");
  EXPECT_EQ(Sql(month.db, "SELECT count(*) FROM archive_entries WHERE complete = 1"), "744");

  // Every stored value is the workbook's cell, to the last bit: xlrd reads
  // the cells, Python's sqlite3 module the doubles as SQLite holds them.
  const testing::ProgramRun compared = RunCapturing(
      testing::kPython + " " + FLOVIR_SOURCE_DIR + "/tests/history/store_matches_workbook.py '" +
      month.db + "' '" + month.folder.Path("temp.xls") + "'");
  EXPECT_EQ(compared.status, 0) << compared.output;
  EXPECT_EQ(compared.output, "744 entries, 2 integrators equal\n");

  // The same again: only the integrators are read, the table is the same.
  const std::string full = month.Table();
  testing::CliRun repeat = RunCli(month.Archive("--missing-only --trace"));
  ASSERT_EQ(repeat.status, 0) << repeat.errors;
  EXPECT_EQ(EntryReads(repeat.errors), 2 + 2);  // two compared, two for the table
  EXPECT_EQ(WithoutCreated(month.Table()), WithoutCreated(full));
  EXPECT_NE(repeat.errors.find("(из истории 743, с прибора 0)"), std::string::npos);

  // Rows deleted behind its back are read again, and only they.
  const std::string deleted =
      Sql(month.db,
          "SELECT group_concat(at) FROM (SELECT at FROM archive_entries ORDER BY random() "
          "LIMIT 30)");
  std::string list;
  for (const std::string& at : Split(deleted, ',')) list += (list.empty() ? "'" : ",'") + at + "'";
  Sql(month.db, "DELETE FROM archive_entries WHERE at IN (" + list + ")");
  ASSERT_EQ(Sql(month.db, "SELECT count(*) FROM archive_entries"), "714");
  repeat = RunCli(month.Archive("--missing-only --trace"));
  ASSERT_EQ(repeat.status, 0);
  EXPECT_EQ(EntryReads(repeat.errors), 30 + 4);
  EXPECT_EQ(Sql(month.db, "SELECT count(*) FROM archive_entries WHERE at IN (" + list + ")"), "30");
  EXPECT_EQ(WithoutCreated(month.Table()), WithoutCreated(full));
  EXPECT_EQ(Sql(month.db, "SELECT from_meter, from_store FROM downloads ORDER BY id"),
            "744|0\n0|744\n30|714");
}

TEST(HistoryCli, AProgramKilledMidDownloadKeepsWhatItRead) {
  HourlyMonth month;
  const std::string pid_file = month.folder.Path("pid");
  // At 9600 baud the month takes over a minute: time to kill it half-way.
  std::string archive = month.Archive("");
  archive.replace(archive.find("115200"), 6, "9600");
  ASSERT_EQ(testing::RunShell(testing::kCli + " " + archive + " >/dev/null 2>&1 & echo $! >'" +
                              pid_file + "'"),
            0);
  const pid_t pid = std::stoi(testing::ReadFile(pid_file));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (std::chrono::steady_clock::now() < deadline &&
         std::atoi(Sql(month.db, "SELECT count(*) FROM archive_entries").c_str()) < 300) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  while (kill(pid, 0) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));

  EXPECT_EQ(Sql(month.db, "PRAGMA integrity_check"), "ok");
  const int kept = std::atoi(Sql(month.db, "SELECT count(*) FROM archive_entries").c_str());
  EXPECT_GE(kept, 300);
  EXPECT_LT(kept, 744);
  EXPECT_EQ(Sql(month.db, "SELECT count(*) FROM downloads WHERE ended_at IS NULL"), "1");
  // No integrator was reached, so nothing is compared: the rest is read.
  const testing::CliRun resumed = RunCli(month.Archive("--missing-only --trace"));
  ASSERT_EQ(resumed.status, 0);
  EXPECT_EQ(EntryReads(resumed.errors), 744 - kept + 2);
  EXPECT_EQ(Sql(month.db, "SELECT count(*) FROM archive_entries"), "744");
}

TEST(HistoryCli, AnotherMetersHistoryIsNeverUsed) {
  ScratchFolder folder{"flovir-history"};
  const std::string db = folder.Path("history.sqlite");
  // Bound as a value, never spliced into the SQL.
  const std::string name = "Котельная 3'; DROP TABLE meters;--";
  const std::string range = " --from " + DaysAgo(25) + " --to " + DaysAgo(23);
  const std::string common =
      "archive hourly --baud 115200 --meter \"" + name + "\" --folder " + folder.Path() + range;
  ASSERT_EQ(RunCli(common + " --demo").status, 0);
  EXPECT_EQ(Sql(db, "SELECT name FROM meters"), name);

  // The same name on a meter whose archive began 20 days ago: other data.
  sim::SimulatedMeter other({.history_days = 20});
  sim::MeterServer server(other);
  const std::string port = " --port " + server.SlavePath();
  const testing::CliRun run = RunCli(common + port + " --missing-only");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.errors.find("не совпадают с сохранёнными в истории"), std::string::npos)
      << run.errors;
  const std::string used = testing::ReadFile(folder / u8"авто_/часовой архив.txt");
  ASSERT_EQ(RunCli(common + port + " --no-history").status, 0);
  EXPECT_EQ(WithoutCreated(used),
            WithoutCreated(testing::ReadFile(folder / u8"авто_/часовой архив.txt")));
  // The store now holds the second meter's entries: no data at all.
  EXPECT_EQ(Sql(db, "SELECT count(*) FROM archive_entries WHERE v1 IS NULL"), "72");
  EXPECT_EQ(Sql(db, "SELECT count(*) FROM meters"), "1");
}

TEST(HistoryCli, CollectAndFlovirCliWriteOneStoreAtOnce) {
  ScratchFolder folder{"flovir-history"};
  const std::string db = folder.Path("shared.sqlite");
  std::ofstream(folder / "fleet.toml") << "history = \"shared.sqlite\"\n"
                                          "[[meter]]\nname = \"pump-1\"\nport = \"demo\"\n"
                                          "baud = 115200\ncollect = [\"current\", \"hourly\"]\n"
                                          "history_days = 3\n";
  const std::string cli = testing::kCli +
                          " archive hourly --demo --baud 115200 --meter cli --history '" + db +
                          "' --folder " + folder.Path("cli") + " --from " + DaysAgo(6) + " --to " +
                          DaysAgo(4) + " >/dev/null 2>&1";
  const std::string collect = testing::kCli + " collect " + folder.Path("fleet.toml") +
                              " --quiet --out " + folder.Path("out") + " >/dev/null 2>&1";
  const int status =
      testing::RunShell("(" + cli + "; echo $? >'" + folder.Path("cli.rc") + "') & " + collect +
                        "; echo $? >'" + folder.Path("collect.rc") + "'; wait");
  ASSERT_EQ(status, 0);
  EXPECT_EQ(testing::ReadFile(folder.Path("cli.rc")), "0\n");
  EXPECT_EQ(testing::ReadFile(folder.Path("collect.rc")), "0\n");
  EXPECT_EQ(Sql(db, "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(Sql(db,
                "SELECT count(*) FROM archive_entries WHERE meter_id = (SELECT id FROM "
                "meters WHERE name = 'cli')"),
            "72");
  EXPECT_GT(std::atoi(Sql(db,
                          "SELECT count(*) FROM archive_entries WHERE meter_id = (SELECT "
                          "id FROM meters WHERE name = 'pump-1')")
                          .c_str()),
            0);
  EXPECT_EQ(Sql(db, "SELECT count(*) FROM current_values"), "1");
  EXPECT_EQ(Sql(db, "SELECT count(*) FROM downloads WHERE status = 'Завершено успешно'"), "2");
}

// A store that cannot be used is said to be so, and costs no file.
TEST(HistoryCli, AStoreThatCannotBeUsedCostsNoFile) {
  struct Case {
    const char* what;
    std::string setup;  // shell commands in the folder; the store is "h"
  } cases[] = {
      {"not SQLite", "echo 'a text file' > h"},
      {"a folder in the way", "mkdir h"},
      {"a newer program's",
       "sqlite3 h 'CREATE TABLE schema_version(version); INSERT INTO "
       "schema_version VALUES (99)'"},
  };
  for (const Case& c : cases) {
    ScratchFolder folder{"flovir-history"};
    ASSERT_EQ(testing::RunShell("cd '" + folder.Path() + "' && " + c.setup), 0) << c.what;
    const testing::CliRun run =
        RunCli("archive daily --demo --baud 115200 --history '" + folder.Path("h") + "' --folder " +
               folder.Path() + " --from " + DaysAgo(3) + " --to " + DaysAgo(2));
    EXPECT_EQ(run.status, 0) << c.what;
    EXPECT_NE(run.errors.find("Не удалось открыть историю"), std::string::npos)
        << c.what << ": " << run.errors;
    EXPECT_TRUE(std::filesystem::exists(folder / "temp.xls")) << c.what;
    EXPECT_TRUE(std::filesystem::exists(folder / u8"авто_/суточный архив.txt")) << c.what;
  }
}

TEST(HistoryCli, AnOlderStoreIsMigratedInPlace) {
  ScratchFolder folder{"flovir-history"};
  const std::string db = folder.Path("old.sqlite");
  {
    std::ofstream script(folder / "v1.sql");
    script << history::SchemaScript(1) << "UPDATE schema_version SET version = 1;\n"
           << "INSERT INTO meters(name) VALUES ('old');\n"
           << "INSERT INTO archive_entries(meter_id, kind, at, v1, complete, downloaded_at) "
              "VALUES (1, 'daily', '2020-01-01T00:00', 1.5, 1, '2020-01-02T00:00:00');\n";
  }
  ASSERT_EQ(testing::RunShell("sqlite3 '" + db + "' < '" + folder.Path("v1.sql") + "'"), 0);
  ASSERT_EQ(
      RunCli("current --demo --meter old --history '" + db + "' --folder " + folder.Path()).status,
      0);
  EXPECT_EQ(Sql(db, "SELECT version FROM schema_version"), std::to_string(history::kSchemaVersion));
  EXPECT_EQ(Sql(db, "SELECT at, v1, registers IS NULL FROM archive_entries"),
            "2020-01-01T00:00|1.5|1");
  EXPECT_EQ(Sql(db, "SELECT count(*) FROM current_values WHERE meter_id = 1 AND v1 > 0"), "1");
  // A parameter read keeps the meter's 1024 bytes.
  ASSERT_EQ(
      RunCli("params read --demo --meter old --history '" + db + "' --folder " + folder.Path())
          .status,
      0);
  EXPECT_EQ(Sql(db, "SELECT source, length(registers) FROM parameter_tables"), "read|1024");
}

}  // namespace
}  // namespace flovir
