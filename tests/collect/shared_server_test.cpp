// Collectors sharing one PostgreSQL server (a server of the test's own, read
// with psql): four at once over overlapping fleets of meters on the
// loopback network, a meter another collector holds, and a server that goes
// away during a run.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/postgres.h"
#include "tests/support/programs.h"
#include "tools/meter-sim/simulated_meter.h"
#include "tools/meter-sim/tcp_server.h"

namespace flovir {
namespace {

using testing::PostgresServer;
using testing::ScratchFolder;
using namespace std::chrono_literals;

constexpr int kMeters = 44;

std::string MeterName(int i) {
  return "m" + std::to_string(100 + i).substr(1);
}

// Meters on the loopback network, each behind a converter of its own.
struct Meters {
  explicit Meters(int count = kMeters, std::chrono::milliseconds turnaround = 5ms) {
    for (int i = 0; i < count; ++i) {
      meters.push_back(std::make_unique<sim::SimulatedMeter>());
      servers.push_back(std::make_unique<sim::TcpMeterServer>(
          *meters.back(), sim::TcpServerOptions{.turnaround = turnaround}));
    }
  }
  // A fleet file of the meters `which`, their hourly archives of two days.
  void Fleet(const std::filesystem::path& file, const std::vector<int>& which,
             const std::string& history = {}) const {
    std::ofstream out(file);
    if (!history.empty()) out << "history = \"" << history << "\"\n";
    out << "[defaults]\ncollect = [\"hourly\"]\nhistory_days = 2\ntimeout = 1000\n";
    for (int i : which) {
      out << "\n[[meter]]\nname = \"" << MeterName(i) << "\"\nline = \"tcp\"\nhost = \""
          << servers[static_cast<size_t>(i)]->HostPort() << "\"\n";
    }
  }
  std::vector<std::unique_ptr<sim::SimulatedMeter>> meters;
  std::vector<std::unique_ptr<sim::TcpMeterServer>> servers;
};

std::string Collect(const ScratchFolder& folder, const std::string& fleet, const std::string& out,
                    const std::string& history) {
  return testing::kCli + " collect " + folder.Path(fleet) + " --quiet --jobs 4 --out " +
         folder.Path(out) + (history.empty() ? "" : " --history '" + history + "'") + " >" +
         folder.Path(out + ".txt") + " 2>" + folder.Path(out + ".err");
}

std::vector<std::string> Lines(const std::string& text) {
  testing::ProgramRun run;
  run.output = text;
  return run.Lines();
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

TEST(SharedCollect, FourCollectorsOverlappingFleetsStoreEveryEntryOnce) {
  PostgresServer server;
  if (!server.Started()) GTEST_SKIP() << server.Why();
  ScratchFolder folder{"shared-collect"};
  Meters meters;
  // Four fleets of 14 or 15 meters; the meters 0-3, 11-13, 22-24 and 33-35
  // are in two fleets, and at the head of both, so that two collectors go
  // for them at the same moment.
  const std::vector<std::vector<int>> fleets = {
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13},
      {11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24},
      {22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35},
      {33, 34, 35, 0, 1, 2, 3, 36, 37, 38, 39, 40, 41, 42, 43}};
  std::string all;
  for (size_t f = 0; f < fleets.size(); ++f) {
    meters.Fleet(folder / ("fleet" + std::to_string(f) + ".toml"), fleets[f]);
    all += "(" +
           Collect(folder, "fleet" + std::to_string(f) + ".toml", "out" + std::to_string(f),
                   server.Uri()) +
           "; echo $? >" + folder.Path("rc" + std::to_string(f)) + ") & ";
  }
  ASSERT_EQ(testing::RunShell(all + "wait"), 0);

  int skipped = 0;
  for (size_t f = 0; f < fleets.size(); ++f) {
    const std::string n = std::to_string(f);
    EXPECT_EQ(testing::ReadFile(folder.Path("rc" + n)), "0\n")
        << testing::ReadFile(folder.Path("out" + n + ".txt"))
        << testing::ReadFile(folder.Path("out" + n + ".err"));
    skipped +=
        Count(testing::ReadFile(folder.Path("out" + n + ".txt")), "read by another collector");
  }
  // Every meter once, each with its 48 hours.
  EXPECT_EQ(server.Psql("SELECT count(*) FROM meters"), std::to_string(kMeters));
  EXPECT_EQ(server.Psql("SELECT count(*) FROM (SELECT meter_id FROM archive_entries WHERE kind = "
                        "'hourly' GROUP BY meter_id HAVING count(*) = 48) x"),
            std::to_string(kMeters));
  EXPECT_EQ(server.Psql("SELECT count(*) FROM archive_entries"), std::to_string(kMeters * 48));
  // A meter's reads never overlap in time, and every place it has in a
  // fleet either read it (a download) or left it to another collector.
  EXPECT_EQ(server.Psql("SELECT count(*) FROM downloads a JOIN downloads b ON a.meter_id = "
                        "b.meter_id AND a.id < b.id AND a.started_at < b.ended_at AND "
                        "b.started_at < a.ended_at"),
            "0");
  EXPECT_EQ(server.Psql("SELECT count(*) FROM downloads WHERE status = 'Завершено успешно'"),
            std::to_string(57 - skipped));
  EXPECT_EQ(server.Psql("SELECT count(*) FROM downloads"), std::to_string(57 - skipped))
      << server.Psql(
             "SELECT m.name, d.status FROM downloads d JOIN meters m ON m.id = d.meter_id "
             "WHERE status IS DISTINCT FROM 'Завершено успешно'");

  // The documented queries run as written; the meter that "was not read
  // for three days" is the one made so.
  server.Psql("UPDATE meters SET last_seen = '2020-01-01T00:00:00' WHERE name = 'm07'");
  const std::string docs = testing::ReadFile(std::string(FLOVIR_SOURCE_DIR) + "/docs/history.md");
  std::vector<std::string> outputs;
  for (size_t at = docs.find("### Queries users ask for");
       at != std::string::npos && (at = docs.find("```sql\n", at)) != std::string::npos;) {
    at += 7;
    std::ofstream(folder / "query.sql") << docs.substr(at, docs.find("```", at) - at);
    const testing::ProgramRun run =
        testing::RunCapturing("psql -X -q -A -t -v ON_ERROR_STOP=1 -h '" + server.Socket() +
                              "' -U postgres -d flovir -f " + folder.Path("query.sql") + " 2>&1");
    EXPECT_EQ(run.status, 0) << run.output;
    outputs.push_back(run.output);
  }
  ASSERT_EQ(outputs.size(), 3u);
  EXPECT_EQ(outputs[1].rfind("m07|2020-01-01T00:00:00|", 0), 0u) << outputs[1];
  EXPECT_EQ(Lines(outputs[1]).size(), 1u);

  // A meter whose lock another program holds is left to it.
  const std::string id = server.Psql("SELECT id FROM meters WHERE name = 'm05'");
  const std::string holder = "psql -X -q -h '" + server.Socket() +
                             "' -U postgres -d flovir -c 'SELECT pg_advisory_lock(73060002, " + id +
                             "), pg_sleep(15)' >/dev/null 2>&1 &";
  ASSERT_EQ(testing::RunShell(holder), 0);
  for (int i = 0; i < 100 && server.Psql("SELECT count(*) FROM pg_locks WHERE locktype = "
                                         "'advisory' AND granted") != "1";
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  meters.Fleet(folder / "one.toml", {5, 6});
  ASSERT_EQ(testing::RunShell(Collect(folder, "one.toml", "again", server.Uri())), 0);
  const std::string summary = testing::ReadFile(folder.Path("again.txt"));
  EXPECT_EQ(Count(summary, "read by another collector"), 1) << summary;
  EXPECT_NE(summary.find("m05"), std::string::npos);
}

std::string Sqlite(const std::string& db, const std::string& query) {
  std::string out = testing::RunCapturing("sqlite3 '" + db + "' \"" + query + "\"").output;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST(SharedCollect, AServerGoneMidRunFillsTheSpoolAndTheNextRunPushesIt) {
  PostgresServer server;
  if (!server.Started()) GTEST_SKIP() << server.Why();
  ScratchFolder folder{"shared-collect"};
  Meters meters(6, 20ms);  // about two seconds a meter
  // The server named in the fleet file, with a password that is never shown.
  meters.Fleet(folder / "fleet.toml", {0, 1, 2, 3, 4, 5}, server.Uri("pw-never-shown"));
  std::string collect = Collect(folder, "fleet.toml", "out", "");
  collect.replace(collect.find("--jobs 4"), 8, "--jobs 1");
  ASSERT_EQ(testing::RunShell("(" + collect + "; echo $? >" + folder.Path("rc") + ") &"), 0);
  // The server stops once the first meter is in: the second one's download
  // is cut, the rest cannot reach it.
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (std::chrono::steady_clock::now() < deadline &&
         server.Psql("SELECT count(*) FROM downloads") != "1") {
    std::this_thread::sleep_for(50ms);
  }
  std::this_thread::sleep_for(700ms);
  server.Stop();
  while (!std::filesystem::exists(folder / "rc")) std::this_thread::sleep_for(100ms);
  const std::string summary = testing::ReadFile(folder.Path("out.txt"));
  EXPECT_EQ(testing::ReadFile(folder.Path("rc")), "1\n") << summary;
  EXPECT_NE(summary.find("spool.sqlite"), std::string::npos) << summary;
  EXPECT_GE(Count(summary, "(spool)"), 5) << summary;
  EXPECT_EQ(Count(summary, "Завершено успешно"), 6) << summary;
  const std::string spool = folder.Path("out/spool.sqlite");
  const int spooled = std::stoi(Sqlite(spool, "SELECT count(*) FROM archive_entries"));
  EXPECT_GE(spooled, 5 * 48);

  // Back again: the next run sends the spool, and reads nothing new.
  ASSERT_TRUE(server.Start());
  ASSERT_EQ(testing::RunShell(collect), 0) << testing::ReadFile(folder.Path("out.err"));
  EXPECT_EQ(server.Psql("SELECT count(*) FROM archive_entries"), std::to_string(6 * 48));
  EXPECT_EQ(server.Psql("SELECT count(DISTINCT meter_id) FROM archive_entries"), "6");
  EXPECT_EQ(Sqlite(spool, "SELECT count(*) FROM archive_entries"), "0");
  EXPECT_EQ(Sqlite(spool, "SELECT count(*) FROM meters"), "0");
  const std::string downloads = server.Psql("SELECT count(*) FROM downloads");
  EXPECT_EQ(downloads, "6");

  // A second push has nothing to send and changes nothing.
  ASSERT_EQ(testing::RunShell(collect), 0);
  EXPECT_EQ(server.Psql("SELECT count(*) FROM archive_entries"), std::to_string(6 * 48));
  EXPECT_EQ(server.Psql("SELECT count(*) FROM downloads"), downloads);
  for (const char* file : {"out.txt", "out.err", "out/summary.csv"}) {
    EXPECT_EQ(testing::ReadFile(folder.Path(file)).find("pw-never-shown"), std::string::npos)
        << file;
  }
  EXPECT_EQ(testing::RunShell("grep -rq pw-never-shown '" + folder.Path("out") + "'"), 1);
}

}  // namespace
}  // namespace flovir
