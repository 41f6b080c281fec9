// flovir-cli current, archive and test: the meter's operations through the
// dispatcher, as the window runs them. Reports and the final status text go
// to standard output, progress texts to standard error. Ctrl-C cancels a
// running operation after its current try.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/dispatcher_session.h"
#include "cli/line_options.h"
#include "operations/clock.h"
#include "operations/dispatcher.h"
#include "workbook/platform_files.h"
#include "workbook/serial_date.h"

namespace flovir::cli {

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) {
  interrupted = true;
}

// Prints what the window would show.
class TerminalView : public View {
 public:
  explicit TerminalView(Dispatcher*& dispatcher) : dispatcher_(dispatcher) {}
  void ShowStatus(const std::string& text) override {
    if (!text.empty()) std::fprintf(stderr, "%s\n", text.c_str());
  }
  void EnableOperationButtons(bool, bool) override {}
  void ShowMessage(const std::string& title, const std::string& text, MessageIcon) override {
    std::string flat = text;
    for (char& c : flat) c = c == '\r' ? ' ' : c;
    std::fprintf(stderr, "%s: %s\n", title.c_str(), flat.c_str());
  }
  void SetReport(ReportKind, const std::vector<std::string>& lines) override {
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
  void AppendTestLine(const std::string& line) override {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
  void ProcessPendingEvents() override {
    if (interrupted && dispatcher_ != nullptr) dispatcher_->Cancel();
  }

 private:
  Dispatcher*& dispatcher_;
};

// The options of these commands besides the line options.
struct OperationOptions {
  std::string folder;
  std::string from, to;
  unsigned long ticks = 1;
  unsigned long interval_ms = 1000;
};

const char* const kOptionsHelp =
    "  --folder DIR          the program's folder: temp.xls and the folder авто_ go there\n";

bool ParseDate(const std::string& text, double& date) {
  int day = 0, month = 0, year = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%2d.%2d.%4d%c", &day, &month, &year, &tail) != 3) return false;
  if (year < 1900 || year > 9999 || month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, month)) return false;
  date = EncodeDate(year, month, day);
  return true;
}

// Takes --folder, --from, --to, --ticks and --interval out of words.
std::string ParseOperationOptions(std::vector<std::string>& words, OperationOptions& options) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    std::string name = word, value;
    const bool has_equals = word.starts_with("--") && word.find('=') != std::string::npos;
    if (has_equals) {
      name = word.substr(0, word.find('='));
      value = word.substr(word.find('=') + 1);
    }
    const bool known = name == "--folder" || name == "--from" || name == "--to" ||
                       name == "--ticks" || name == "--interval";
    if (!known) {
      if (word.starts_with("--")) return "unknown option " + word;
      rest.push_back(word);
      continue;
    }
    if (!has_equals) {
      if (i + 1 >= words.size()) return name + " needs a value";
      value = words[++i];
    }
    if (name == "--folder") {
      options.folder = value;
    } else if (name == "--from") {
      options.from = value;
    } else if (name == "--to") {
      options.to = value;
    } else if (name == "--ticks") {
      if (!ParseNumber(value, 1, 1000000, options.ticks)) {
        return "--ticks: '" + value + "' is not a number from 1 to 1000000";
      }
    } else if (!ParseNumber(value, 0, 3600000, options.interval_ms)) {
      return "--interval: '" + value + "' is not a number of milliseconds up to 3600000";
    }
  }
  words = std::move(rest);
  return {};
}

// The line, the dispatcher on it and the terminal as its view.
class Session {
 public:
  Session(const LineOptions& line, const OperationOptions& options)
      : view_(self_), session_(view_, clock_) {
    self_ = &session_.GetDispatcher();
    // A folder named on the command line is made when missing, as a user
    // expects of an output folder.
    std::error_code error;
    const std::filesystem::path folder = PathFromUtf8(options.folder);
    if (!options.folder.empty() && !std::filesystem::is_directory(folder) &&
        !std::filesystem::create_directories(folder, error)) {
      std::fprintf(stderr, "Не удалось создать папку %s\n%s\n", options.folder.c_str(),
                   error.message().c_str());
      return;
    }
    session_.Open(line, options.folder);
  }
  ~Session() {
    session_.Close();
    self_ = nullptr;
  }
  bool Open() const { return session_.IsOpen(); }
  Dispatcher& GetDispatcher() { return session_.GetDispatcher(); }

  // Runs the operation that started (if it did) to its end.
  void Wait(bool started) {
    if (!started) return;
    // Wakes every 100 ms to look for Ctrl-C; the operation itself runs on.
    while (!session_.RunUntilIdle(100)) {
      if (interrupted) GetDispatcher().Cancel();
    }
  }
  // Prints the status text the last operation ended with; the exit status.
  int Report() {
    session_.PrintStatus();
    return GetDispatcher().LastSucceeded() ? kExitOk : kExitFailed;
  }
  int Finish(bool started) {
    Wait(started);
    return Report();
  }

 private:
  Dispatcher* self_ = nullptr;
  SystemClock clock_;
  TerminalView view_;
  DispatcherSession session_;
};

void PrintHelp(const char* usage, const char* what) {
  std::printf("usage: flovir-cli %s [OPTIONS]\n%s\n\noptions:\n%s%s", usage, what, kOptionsHelp,
              kLineOptionsHelp);
}

// Parses everything; on success leaves the command's own words in words.
int ParseAll(const std::vector<std::string>& args, LineOptions& line, OperationOptions& options,
             std::vector<std::string>& words) {
  if (std::string error = ParseLineOptions(args, line, words); !error.empty()) {
    return UsageError(error);
  }
  if (std::string error = ParseOperationOptions(words, options); !error.empty()) {
    return UsageError(error);
  }
  return -1;
}

void CatchInterrupt() {
  interrupted = false;
  std::signal(SIGINT, OnInterrupt);
}

const char* const kCurrentUsage = "[OPTIONS]";
const char* const kArchiveUsage = "hourly|daily|monthly --from DD.MM.YYYY --to DD.MM.YYYY";
const char* const kTestUsage = "--ticks N [--interval MS]";

int Current(const std::vector<std::string>& args) {
  LineOptions line;
  OperationOptions options;
  std::vector<std::string> words;
  if (int status = ParseAll(args, line, options, words); status >= 0) return status;
  if (line.help) {
    PrintHelp("current", "Reads the current values, prints the report and saves текущие.txt.");
    return kExitOk;
  }
  if (!words.empty()) return UsageError("current takes no argument '" + words[0] + "'");
  Session session(line, options);
  if (!session.Open()) return kExitFailed;
  CatchInterrupt();
  return session.Finish(session.GetDispatcher().StartCurrentValues());
}

int Archive(const std::vector<std::string>& args) {
  LineOptions line;
  OperationOptions options;
  std::vector<std::string> words;
  if (int status = ParseAll(args, line, options, words); status >= 0) return status;
  if (line.help) {
    PrintHelp("archive hourly|daily|monthly --from DD.MM.YYYY --to DD.MM.YYYY",
              "Downloads an archive for the dates (both today when left out), saves temp.xls\n"
              "and the archive's text file, and prints the table.");
    return kExitOk;
  }
  if (words.size() != 1) return UsageError(std::string("archive ") + kArchiveUsage);
  OperationKind kind;
  if (words[0] == "hourly") {
    kind = OperationKind::HourlyArchive;
  } else if (words[0] == "daily") {
    kind = OperationKind::DailyArchive;
  } else if (words[0] == "monthly") {
    kind = OperationKind::MonthlyArchive;
  } else {
    return UsageError("archive: '" + words[0] + "' is not hourly, daily or monthly");
  }
  const double today = static_cast<double>(static_cast<long>(SystemClock().Now()));
  double from = today, to = today;
  if (!options.from.empty() && !ParseDate(options.from, from)) {
    return UsageError("--from: '" + options.from + "' is not a date DD.MM.YYYY");
  }
  if (!options.to.empty() && !ParseDate(options.to, to)) {
    return UsageError("--to: '" + options.to + "' is not a date DD.MM.YYYY");
  }
  Session session(line, options);
  if (!session.Open()) return kExitFailed;
  CatchInterrupt();
  return session.Finish(session.GetDispatcher().StartArchive(kind, from, to));
}

int Test(const std::vector<std::string>& args) {
  LineOptions line;
  OperationOptions options;
  std::vector<std::string> words;
  if (int status = ParseAll(args, line, options, words); status >= 0) return status;
  if (line.help) {
    PrintHelp("test --ticks N [--interval MS]",
              "Polls registers 880 on as the test page does, N times, one line of values\n"
              "each; --interval is the time from one poll's start to the next (1000).");
    return kExitOk;
  }
  if (!words.empty()) return UsageError("test takes no argument '" + words[0] + "'");
  Session session(line, options);
  if (!session.Open()) return kExitFailed;
  CatchInterrupt();
  for (unsigned long tick = 0; tick < options.ticks && !interrupted; ++tick) {
    const auto next =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.interval_ms);
    session.Wait(session.GetDispatcher().TestTick());
    if (!session.GetDispatcher().LastSucceeded() || tick + 1 == options.ticks) break;
    while (!interrupted && std::chrono::steady_clock::now() < next) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return session.Report();
}

const CommandRegistration kCurrent({"current", kCurrentUsage, Current});
const CommandRegistration kArchive({"archive", kArchiveUsage, Archive});
const CommandRegistration kTest({"test", kTestUsage, Test});

}  // namespace

}  // namespace flovir::cli
