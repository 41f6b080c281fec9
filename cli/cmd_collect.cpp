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

#include "cli/collect_command.h"
#include "cli/commands.h"
#include "cli/line_options.h"
#include "collect/fleet.h"
#include "collect/runner.h"
#include "operations/clock.h"

namespace flovir::cli {

namespace {

std::atomic<bool> stop_requested{false};

void OnStop(int) {
  stop_requested = true;
}

class TerminalProgress : public collect::CollectProgress {
 public:
  explicit TerminalProgress(bool quiet) : quiet_(quiet), terminal_(isatty(STDERR_FILENO) == 1) {}

  void Update(const std::string& meter, const std::string& text) override {
    if (quiet_) return;
    std::lock_guard lock(mutex_);
    if (terminal_) {
      running_[meter] = text;
      Redraw();
    } else if (text.find('%') == std::string::npos) {
      std::fprintf(stderr, "%s: %s\n", meter.c_str(), text.c_str());
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

const char* const kCollectUsage =
    "FLEET.toml [--out DIR] [--jobs N] [--format text|csv|json] [--quiet]";

const char* const kCollectHelp =
    "Reads every meter of the fleet file: its files go to DIR/NAME/ (the archives\n"
    "only from the day after the last one collected), a summary table is printed\n"
    "and saved as DIR/summary.csv. A meter that fails is tried once more at the\n"
    "end. Exit status 0 when every meter succeeded, 1 otherwise, 2 for a bad\n"
    "fleet file or option.\n\n"
    "options:\n"
    "  --out DIR        where the files go (the current folder)\n"
    "  --jobs N         meters read at once, on different ports (1)\n"
    "  --format F       text, csv or json: the form of the value files (csv)\n"
    "  --quiet          no progress, only the summary\n";

int Collect(const std::vector<std::string>& args) {
  CollectCommand command;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    const size_t equals = word.find('=');
    const std::string name = word.starts_with("--") ? word.substr(0, equals) : word;
    const bool valued = name == "--out" || name == "--jobs" || name == "--format";
    std::string value;
    if (valued) {
      if (equals != std::string::npos) {
        value = word.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return UsageError(name + " needs a value");
      }
    }
    if (name == "--help") {
      std::printf("usage: flovir-cli collect %s\n%s", kCollectUsage, kCollectHelp);
      return kExitOk;
    } else if (name == "--quiet") {
      command.quiet = true;
    } else if (name == "--out") {
      command.out_dir = value;
    } else if (name == "--jobs") {
      unsigned long jobs = 0;
      if (!ParseNumber(value, 1, 64, jobs)) {
        return UsageError("--jobs: '" + value + "' is not a number from 1 to 64");
      }
      command.jobs = static_cast<unsigned>(jobs);
    } else if (name == "--format") {
      if (!collect::ParseOutputFormat(value, command.format)) {
        return UsageError("--format: '" + value + "' is not text, csv or json");
      }
    } else if (word.starts_with("--")) {
      return UsageError("collect: unknown option " + word);
    } else {
      rest.push_back(word);
    }
  }
  if (rest.size() != 1) return UsageError(std::string("collect ") + kCollectUsage);
  command.fleet_file = rest[0];
  return RunCollectCommand(command);
}

const CommandRegistration kCollect({"collect", kCollectUsage, Collect});

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
  std::signal(SIGINT, OnStop);
  std::signal(SIGTERM, OnStop);
  std::error_code error;
  std::filesystem::create_directories(options.out_dir, error);
  if (!std::filesystem::is_directory(options.out_dir)) {
    std::fprintf(stderr, "Не удалось создать папку %s\n%s\n", options.out_dir.c_str(),
                 error.message().c_str());
    return kExitFailed;
  }
  SystemClock clock;
  TerminalProgress progress(command.quiet);
  const std::vector<collect::MeterResult> results =
      collect::RunCollection(fleet, options, clock, progress);
  for (const std::string& line : collect::SummaryTable(results)) std::printf("%s\n", line.c_str());
  const std::string summary = (std::filesystem::path(options.out_dir) / "summary.csv").string();
  try {
    collect::WriteSummaryCsv(summary, results);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", summary.c_str(), e.what());
    return kExitFailed;
  }
  for (const collect::MeterResult& r : results) {
    if (!r.succeeded) return kExitFailed;
  }
  return kExitOk;
}

}  // namespace flovir::cli
