// The history on a PostgreSQL server of the test's own, read back with
// psql, Debian's own client: flovir-cli writes a month into it as into the
// file, and a collector killed half-way leaves no download half-stored.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "operations/clock.h"
#include "tests/support/files.h"
#include "tests/support/postgres.h"
#include "tests/support/programs.h"
#include "workbook/serial_date.h"

namespace flovir {
namespace {

using testing::PostgresServer;
using testing::RunCapturing;
using testing::RunCli;
using testing::ScratchFolder;

std::string DaysAgo(int days) {
  const CivilDateTime t = DecodeDateTime(std::floor(SystemClock().Now()) - days);
  char text[16];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", t.day, t.month, t.year);
  return text;
}

std::string Sqlite(const std::string& db, const std::string& query) {
  std::string out = RunCapturing("sqlite3 '" + db + "' \"" + query + "\"").output;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

int EntryReads(const std::string& trace) {
  int reads = 0;
  size_t at = 0;
  while ((at = trace.find("out: 0x01 0x03 0x00 0xC8 0x00 0x1A", at)) != std::string::npos) {
    ++reads;
    ++at;
  }
  return reads;
}

// Each entry as text both clients print alike: the time, the meter's own
// registers, the marks, and the values to a millionth.
const char* const kRowsPsql =
    "SELECT string_agg(at || '|' || encode(registers, 'hex') || '|' || events || '|' || "
    "complete || '|' || coalesce(to_char(v1, 'FM999999990.000000'), '') || '|' || "
    "coalesce(to_char(b4, 'FM999999990.000000'), ''), ',' ORDER BY at) FROM archive_entries";
const char* const kRowsSqlite =
    "SELECT group_concat(r, ',') FROM (SELECT at || '|' || lower(hex(registers)) || '|' || "
    "events || '|' || complete || '|' || coalesce(printf('%.6f', v1), '') || '|' || "
    "coalesce(printf('%.6f', b4), '') AS r FROM archive_entries ORDER BY at)";

struct Month {
  ScratchFolder folder{"flovir-server"};
  std::string range = " --from " + DaysAgo(40) + " --to " + DaysAgo(10);
  std::string Archive(const std::string& history, const std::string& extra = {}) const {
    return "archive hourly --demo --baud 115200 --meter pump-1 --folder " + folder.Path() + range +
           " --history '" + history + "' " + extra;
  }
};

TEST(SharedServer, AMonthGoesToTheServerAsIntoTheFileAndNoPasswordIsShown) {
  PostgresServer server;
  if (!server.Started()) GTEST_SKIP() << server.Why();
  Month month;
  // The server trusts its socket; the password in the URI must still never
  // be shown.
  const std::string uri = server.Uri("s3cret-word");
  const testing::CliRun run = RunCli(month.Archive(uri));
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(server.Psql("SELECT version FROM schema_version"), "3");
  EXPECT_EQ(server.Psql("SELECT count(*), sum(complete) FROM archive_entries"), "744|744");
  EXPECT_EQ(server.Psql("SELECT count(*) FROM integrators"), "2");
  EXPECT_EQ(server.Psql("SELECT from_meter, from_store, status FROM downloads"),
            "744|0|Завершено успешно");

  // The very rows the file holds after the same download.
  const std::string db = month.folder.Path("h.sqlite");
  ASSERT_EQ(RunCli(month.Archive(db)).status, 0);
  const std::string rows = server.Psql(kRowsPsql);
  EXPECT_EQ(rows.size(), Sqlite(db, kRowsSqlite).size());
  EXPECT_EQ(rows, Sqlite(db, kRowsSqlite));

  // Again with --missing-only: only the compared and the table's integrators.
  const testing::CliRun repeat = RunCli(month.Archive(uri, "--missing-only --trace"));
  ASSERT_EQ(repeat.status, 0) << repeat.errors;
  EXPECT_EQ(EntryReads(repeat.errors), 4);
  EXPECT_EQ(server.Psql("SELECT count(*) FROM archive_entries"), "744");

  const testing::CliRun meters = RunCli("history meters --history '" + uri + "'");
  ASSERT_EQ(meters.status, 0) << meters.errors;
  EXPECT_NE(meters.output.find("collector"), std::string::npos) << meters.output;
  EXPECT_NE(meters.output.find("pump-1"), std::string::npos) << meters.output;
  EXPECT_NE(meters.output.find("100.0%"), std::string::npos) << meters.output;

  // A server that is not there: the reason, without the password, and the
  // reading all the same.
  const testing::CliRun away = RunCli(
      "current --demo --trace --folder " + month.folder.Path() +
      " --history 'postgresql://postgres:s3cret-word@/flovir?host=" + month.folder.Path("nowhere") +
      "'");
  EXPECT_EQ(away.status, 0);
  EXPECT_NE(away.errors.find("postgresql://postgres@/flovir"), std::string::npos) << away.errors;
  for (const testing::CliRun* r : {&run, &repeat, &meters, &away}) {
    EXPECT_EQ((r->output + r->errors).find("s3cret"), std::string::npos) << r->errors;
  }
}

TEST(SharedServer, ACollectorKilledMidDownloadLeavesNoHalfOfIt) {
  PostgresServer server;
  if (!server.Started()) GTEST_SKIP() << server.Why();
  ScratchFolder folder{"flovir-server"};
  // At 9600 baud the month of hours takes over a minute.
  std::ofstream(folder / "fleet.toml") << "[[meter]]\nname = \"pump-1\"\nport = \"demo\"\n"
                                          "baud = 9600\ncollect = [\"hourly\"]\n"
                                          "history_days = 31\n";
  const std::string collect = testing::kCli + " collect " + folder.Path("fleet.toml") +
                              " --quiet --out " + folder.Path("out") + " --history '" +
                              server.Uri() + "' >/dev/null 2>&1";
  const std::string pid_file = folder.Path("pid");
  ASSERT_EQ(testing::RunShell(collect + " & echo $! >'" + pid_file + "'"), 0);
  const pid_t pid = std::stoi(testing::ReadFile(pid_file));
  // Until the download is well under way: its transaction holds rows.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline &&
         server.Psql("SELECT count(*) FROM pg_stat_activity WHERE application_name = 'flovir' "
                     "AND state = 'idle in transaction'") != "1") {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::this_thread::sleep_for(std::chrono::seconds(5));
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  while (kill(pid, 0) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  // The server ends the dead program's transaction: neither half is seen.
  for (int i = 0; i < 50 && server.Psql("SELECT count(*) FROM pg_stat_activity WHERE "
                                        "application_name = 'flovir'") != "0";
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(server.Psql("SELECT count(*) FROM downloads"), "0");
  EXPECT_EQ(server.Psql("SELECT count(*) FROM archive_entries"), "0");

  // The next run, faster, completes it.
  std::ofstream(folder / "fleet.toml") << "[[meter]]\nname = \"pump-1\"\nport = \"demo\"\n"
                                          "baud = 115200\ncollect = [\"hourly\"]\n"
                                          "history_days = 31\n";
  ASSERT_EQ(testing::RunShell(collect), 0);
  EXPECT_EQ(server.Psql("SELECT count(*), sum(complete) FROM archive_entries"), "744|744");
  EXPECT_EQ(server.Psql("SELECT count(*) FROM downloads WHERE status = 'Завершено успешно'"), "1");
}

}  // namespace
}  // namespace flovir
