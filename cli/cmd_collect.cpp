// flovir-cli collect: reads every meter of a fleet file into OUT/NAME/,
// prints the summary table and writes it as OUT/summary.csv. Progress goes
// to standard error: on a terminal one line that shows every running meter
// with its percentage, otherwise a line per stage; --quiet leaves only the
// summary.

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/collect_command.h"
#include "cli/commands.h"
#include "cli/line_options.h"
#include "collect/fleet.h"
#include "collect/runner.h"
#include "operations/clock.h"
#include "store/history_store.h"
#include "store/server_store.h"
#include "store/spooling_store.h"

namespace flovir::cli {

namespace {

std::atomic<bool> stop_requested{false};

void OnStop(int) {
  stop_requested = true;
}

class TerminalProgress : public collect::CollectProgress {
 public:
  explicit TerminalProgress(bool quiet) : quiet_(quiet), terminal_(isatty(STDERR_FILENO) == 1) {}

  void Update(const std::string& meter, const std::string& stage, int percent) override {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    if (terminal_) {
      running_[meter] = percent < 0 ? stage : stage + " " + std::to_string(percent) + "%";
      Redraw();
    } else if (percent < 0) {
      std::fprintf(stderr, "%s: %s\n", meter.c_str(), stage.c_str());
    }
  }
  void Finished(const collect::MeterResult& r) override {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    running_.erase(r.name);
    if (terminal_) std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "%s: %s (%.1f s)\n", r.name.c_str(), r.status.c_str(), r.seconds);
    if (terminal_) Redraw();
  }

 private:
  void Redraw() {
    std::string line;
    for (const auto& [meter, text] : running_) {
      line += (line.empty() ? "" : "  |  ") + meter + " " + text;
    }
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
  }

  bool quiet_;
  bool terminal_;
  std::mutex mutex_;
  std::map<std::string, std::string> running_;
};

const char* const kCollectHelp =
    "reads every meter of a fleet file: its files go to OUT/NAME/ (the archives\n"
    "only from the day after the last one collected), a summary table is printed\n"
    "and saved as OUT/summary.csv; a meter that fails is tried once more at the\n"
    "end. Exit status 0 when every meter succeeded, 1 otherwise, 2 for a bad\n"
    "fleet file or option (collect FLEET.toml [--out DIR] [--jobs N] [--format F] [--quiet])";

void SetUpCollect(CLI::App& app, const GlobalOptions& global, int& exit_status) {
  static CollectCommand command;
  static std::string format = "csv";
  app.add_option("FLEET", command.fleet_file, "the fleet file (TOML)")->required()->type_name("");
  app.add_option("--out", command.out_dir, "where the files go")
      ->type_name("DIR")
      ->default_str("the current folder");
  app.add_option("--jobs", command.jobs, "meters read at once, on different ports")
      ->check(CLI::Range(1u, 64u))
      ->type_name("N")
      ->capture_default_str();
  app.add_option("--format", format, "the form of the value files: text, csv or json")
      ->check(CLI::IsMember({"text", "csv", "json"}))
      ->type_name("text|csv|json")
      ->capture_default_str();
  app.add_flag("--quiet", command.quiet, "no progress, only the summary");
  app.callback([&] {
    collect::ParseOutputFormat(format, command.format);
    command.history = global.history;
    command.no_history = global.no_history;
    exit_status = RunCollectCommand(command);
  });
}

// --history, else the fleet file's (a file relative to the file's folder, or
// a server's URI), else
// OUT/history.sqlite; --no-history keeps none.
std::string HistoryFile(const CollectCommand& command, const collect::Fleet& fleet) {
  namespace fs = std::filesystem;
  if (command.no_history) return {};
  if (!command.history.empty()) return command.history;
  if (history::IsServerLocation(fleet.history)) return fleet.history;
  if (!fleet.history.empty()) {
    const fs::path named(fleet.history);
    return named.is_absolute() ? named.string()
                               : (fs::path(fleet.path).parent_path() / named).string();
  }
  return (fs::path(command.out_dir) / history::kHistoryFileName).string();
}

constexpr const char* kSpoolFileName = "spool.sqlite";

// Sends OUT/spool.sqlite to the server; the reason when it could not all go.
std::string PushSpool(const std::string& uri, const std::string& spool, bool quiet) {
  if (!std::filesystem::exists(spool)) return {};
  try {
    auto server = history::OpenHistoryStore(uri);
    const history::PushResult pushed = history::PushSpool(spool, *server);
    if (pushed.meters > 0 && !quiet) {
      std::fprintf(stderr, "%s: %lld записей %d приборов отправлено на сервер %s\n", spool.c_str(),
                   static_cast<long long>(pushed.entries), pushed.meters,
                   server->Location().c_str());
    }
    return pushed.error;
  } catch (const std::exception& e) {
    return e.what();
  }
}

const CommandRegistration kCollect({"collect", kCollectHelp, SetUpCollect});

}  // namespace

int RunCollectCommand(const CollectCommand& command) {
  collect::Fleet fleet;
  try {
    fleet = collect::ReadFleet(command.fleet_file);
  } catch (const collect::FleetError& e) {
    return UsageError(e.what());
  }
  collect::CollectOptions options;
  options.out_dir = command.out_dir;
  options.jobs = command.jobs;
  options.format = command.format;
  // Ctrl-C, or systemd stopping the service: running downloads end after
  // their current try and modem calls are hung up before the program ends.
  options.stop = &stop_requested;
  options.history_file = HistoryFile(command, fleet);
  const bool shared = history::IsServerLocation(options.history_file);
  if (shared && !history::ServerStoresBuiltIn()) {
    return UsageError("--history " + history::WithoutPassword(options.history_file) +
                      ": эта сборка flovir без PostgreSQL; укажите файл истории");
  }
  std::signal(SIGINT, OnStop);
  std::signal(SIGTERM, OnStop);
  std::error_code error;
  std::filesystem::create_directories(options.out_dir, error);
  if (!std::filesystem::is_directory(options.out_dir)) {
    std::fprintf(stderr, "Не удалось создать папку %s\n%s\n", options.out_dir.c_str(),
                 error.message().c_str());
    return kExitFailed;
  }
  // With the history on a server, what an earlier run could not send goes
  // first, and this run's readings wait in the spool if they cannot either.
  std::string spool_error;
  if (shared) {
    options.spool_file = (std::filesystem::path(options.out_dir) / kSpoolFileName).string();
    spool_error = PushSpool(options.history_file, options.spool_file, command.quiet);
  }
  SystemClock clock;
  TerminalProgress progress(command.quiet);
  const std::vector<collect::MeterResult> results =
      collect::RunCollection(fleet, options, clock, progress);
  for (const std::string& line : collect::SummaryTable(results)) std::printf("%s\n", line.c_str());
  for (const collect::MeterResult& r : results) {
    for (const std::string& w : r.warnings)
      std::fprintf(stderr, "%s: %s\n", r.name.c_str(), w.c_str());
  }
  const std::string summary = (std::filesystem::path(options.out_dir) / "summary.csv").string();
  try {
    collect::WriteSummaryCsv(summary, results);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", summary.c_str(), e.what());
    return kExitFailed;
  }
  // The server that could not be reached fails the run: its readings are
  // safe in the spool, but not where the dispatchers look.
  std::string spooled;
  for (const collect::MeterResult& r : results) {
    if (!r.spooled.empty()) spooled = r.spooled;
  }
  if (spooled.empty()) spooled = spool_error;
  if (!spooled.empty()) {
    std::printf(
        "История не записана на сервер %s: %s. Показания ждут в %s и будут отправлены при "
        "следующем запуске\n",
        history::WithoutPassword(options.history_file).c_str(), spooled.c_str(),
        options.spool_file.c_str());
    return kExitFailed;
  }
  for (const collect::MeterResult& r : results) {
    if (!r.succeeded) return kExitFailed;
  }
  return kExitOk;
}

}  // namespace flovir::cli
