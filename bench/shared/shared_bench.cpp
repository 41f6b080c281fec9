// The history on a shared PostgreSQL server (one the bench starts, as the
// tests do): the entries it stores per second from one collector and from
// four at once, each download a transaction of a month of hours; and the
// time to collect 200 simulated meters on the loopback network with 8 jobs
// into the server, against the same fleet into an SQLite file.
//
//   shared: one=N four=N server_s=N sqlite_s=N none_s=N

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "collect/fleet.h"
#include "collect/runner.h"
#include "operations/clock.h"
#include "store/history_store.h"
#include "tests/support/files.h"
#include "tests/support/postgres.h"
#include "tools/meter-sim/simulated_meter.h"
#include "tools/meter-sim/tcp_server.h"

namespace {

using namespace flovir;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// `collectors` at once, each storing `meters` downloads of 744 hours.
double EntriesPerSecond(const std::string& uri, int collectors, int meters) {
  const auto began = Clock::now();
  std::vector<std::thread> threads;
  for (int c = 0; c < collectors; ++c) {
    threads.emplace_back([&, c] {
      auto store = history::OpenHistoryStore(uri);
      for (int m = 0; m < meters; ++m) {
        const std::string name = "bench " + std::to_string(collectors) + "-" + std::to_string(c) +
                                 "-" + std::to_string(m);
        const int64_t id = store->Meter({name, "tcp", "", "127.0.0.1:1", 1}, "2026-12-01T00:00:00");
        const int64_t download = store->BeginDownload(
            id,
            {ArchiveKind::Hourly, "2026-12-01T00:00:00", "2026-10-01T00:00", "2026-10-31T23:00"});
        history::StoredEntry entry;
        entry.events = std::string(25, ' ');
        entry.complete = true;
        entry.downloaded_at = "2026-12-01T00:00:00";
        entry.registers.assign(52, 7);
        entry.scale_codes = {3, 3, 2, 1};
        for (int h = 0; h < 744; ++h) {
          char at[32];
          std::snprintf(at, sizeof at, "2026-10-%02dT%02d:00", 1 + h / 24, h % 24);
          entry.at = at;
          entry.volume = {h * 0.5, h * 0.25, 1.0, std::nullopt};
          entry.hours = {1.0, 1.0, 1.0, 0.0};
          store->PutEntry(id, entry);
        }
        store->EndDownload(download, "2026-12-01T00:01:00", "Завершено успешно", 744, 0);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  return collectors * meters * 744 / Seconds(began);
}

class Quiet : public collect::CollectProgress {
 public:
  void Update(const std::string&, const std::string&, int) override {}
  void Finished(const collect::MeterResult&) override {}
};

// The fleet of every meter, two days of hours each, into `history`.
double CollectSeconds(const std::string& fleet_file, const std::string& out,
                      const std::string& history, bool shared) {
  const collect::Fleet fleet = collect::ReadFleet(fleet_file);
  collect::CollectOptions options;
  options.out_dir = out;
  options.jobs = 8;
  options.history_file = history;
  if (shared) options.spool_file = out + "/spool.sqlite";
  SystemClock clock;
  Quiet quiet;
  const auto began = Clock::now();
  const auto results = collect::RunCollection(fleet, options, clock, quiet);
  const double seconds = Seconds(began);
  int failed = 0;
  for (const auto& r : results) failed += !r.succeeded || !r.spooled.empty();
  if (failed > 0) std::fprintf(stderr, "%d meters failed or spooled\n", failed);
  return seconds;
}

}  // namespace

int main() {
  testing::PostgresServer server;
  if (!server.Started()) {
    std::fprintf(stderr, "%s\n", server.Why().c_str());
    return 1;
  }
  const double one = EntriesPerSecond(server.Uri(), 1, 8);
  const double four = EntriesPerSecond(server.Uri(), 4, 8);
  std::printf("entries/s into the server: one collector %.0f, four collectors %.0f\n", one, four);

  testing::ScratchFolder folder{"flovir-shared-bench"};
  constexpr int kMeters = 200;
  std::vector<std::unique_ptr<sim::SimulatedMeter>> meters;
  std::vector<std::unique_ptr<sim::TcpMeterServer>> servers;
  {
    std::ofstream fleet(folder / "fleet.toml");
    fleet << "[defaults]\ncollect = [\"hourly\"]\nhistory_days = 2\ntimeout = 1000\n";
    for (int i = 0; i < kMeters; ++i) {
      meters.push_back(std::make_unique<sim::SimulatedMeter>());
      servers.push_back(std::make_unique<sim::TcpMeterServer>(*meters.back()));
      fleet << "\n[[meter]]\nname = \"meter-" << i << "\"\nline = \"tcp\"\nhost = \""
            << servers.back()->HostPort() << "\"\n";
    }
  }
  const double server_s =
      CollectSeconds(folder.Path("fleet.toml"), folder.Path("server"), server.Uri(), true);
  const double sqlite_s = CollectSeconds(folder.Path("fleet.toml"), folder.Path("sqlite"),
                                         folder.Path("sqlite/history.sqlite"), false);
  // The same fleet without any history: what the meters and lines alone cost.
  const double none_s = CollectSeconds(folder.Path("fleet.toml"), folder.Path("none"), "", false);
  std::printf(
      "%d meters, 8 jobs: %.1f s into the server, %.1f s into SQLite, %.1f s without a history "
      "(%s entries on the server)\n",
      kMeters, server_s, sqlite_s, none_s,
      server
          .Psql("SELECT count(*) FROM archive_entries WHERE "
                "meter_id IN (SELECT id FROM meters WHERE "
                "name LIKE 'meter-%')")
          .c_str());
  std::printf("shared: one=%.0f four=%.0f server_s=%.1f sqlite_s=%.1f none_s=%.1f\n", one, four,
              server_s, sqlite_s, none_s);
  return 0;
}
