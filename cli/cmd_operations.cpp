// flovir-cli current, archive and test: the meter's operations through the
// dispatcher, as the window runs them. Reports and the final status text go
// to standard output, progress texts to standard error. Ctrl-C cancels a
// running operation after its current try.

#include <CLI/CLI.hpp>
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
#include "cli/machine_output.h"
#include "cli/status_line.h"
#include "operations/clock.h"
#include "operations/dispatcher.h"
#include "workbook/platform_files.h"
#include "workbook/serial_date.h"

namespace flovir::cli {

namespace {

std::atomic<bool> interrupted{false};
// --format: csv and json replace the text report on standard output.
collect::OutputFormat output_format = collect::OutputFormat::Text;
bool TextOutput() {
  return output_format == collect::OutputFormat::Text;
}

void OnInterrupt(int) {
  interrupted = true;
}

// Prints what the window would show.
class TerminalView : public View {
 public:
  explicit TerminalView(Dispatcher*& dispatcher) : dispatcher_(dispatcher) {}
  void ShowStatus(const std::string& text) override { status_.Show(text); }
  void EnableOperationButtons(bool, bool) override {}
  void ShowMessage(const std::string& title, const std::string& text, MessageIcon) override {
    status_.End();
    std::string flat = text;
    for (char& c : flat) c = c == '\r' ? ' ' : c;
    std::fprintf(stderr, "%s: %s\n", title.c_str(), flat.c_str());
  }
  void SetReport(ReportKind, const std::vector<std::string>& lines) override {
    status_.End();
    if (!TextOutput()) return;
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
  void AppendTestLine(const std::string& line) override {
    status_.End();
    if (!TextOutput()) return;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
  void ProcessPendingEvents() override {
    if (interrupted && dispatcher_ != nullptr) dispatcher_->Cancel();
  }
  void EndStatusLine() { status_.End(); }

 private:
  Dispatcher*& dispatcher_;
  StatusLine status_;
};

// The options of these commands besides the global ones.
struct OperationOptions {
  std::string from, to;
  unsigned long ticks = 1;
  unsigned long interval_ms = 1000;
};

bool ParseDate(const std::string& text, double& date) {
  int day = 0, month = 0, year = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%2d.%2d.%4d%c", &day, &month, &year, &tail) != 3) return false;
  if (year < 1900 || year > 9999 || month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, month)) return false;
  date = EncodeDate(year, month, day);
  return true;
}

// The line, the dispatcher on it and the terminal as its view.
class Session {
 public:
  explicit Session(const GlobalOptions& options) : view_(self_), session_(view_, clock_) {
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
    session_.Open(options.line, options.folder);
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
    view_.EndStatusLine();
    if (TextOutput()) {
      session_.PrintStatus();
    } else {
      std::fprintf(stderr, "%s\n", GetDispatcher().LastStatusText().c_str());
    }
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

void CatchInterrupt() {
  interrupted = false;
  std::signal(SIGINT, OnInterrupt);
}

int Current(const GlobalOptions& global) {
  Session session(global);
  if (!session.Open()) return kExitFailed;
  CatchInterrupt();
  const int status = session.Finish(session.GetDispatcher().StartCurrentValues());
  if (status == kExitOk && !TextOutput()) {
    PrintCurrentValues(output_format, session.GetDispatcher());
  }
  return status;
}

int Archive(const GlobalOptions& global, const std::string& kind_name,
            const OperationOptions& options) {
  OperationKind kind;
  if (kind_name == "hourly") {
    kind = OperationKind::HourlyArchive;
  } else if (kind_name == "daily") {
    kind = OperationKind::DailyArchive;
  } else if (kind_name == "monthly") {
    kind = OperationKind::MonthlyArchive;
  } else {
    return UsageError("archive: '" + kind_name + "' is not hourly, daily or monthly");
  }
  const double today = static_cast<double>(static_cast<long>(SystemClock().Now()));
  double from = today, to = today;
  if (!options.from.empty() && !ParseDate(options.from, from)) {
    return UsageError("--from: '" + options.from + "' is not a date DD.MM.YYYY");
  }
  if (!options.to.empty() && !ParseDate(options.to, to)) {
    return UsageError("--to: '" + options.to + "' is not a date DD.MM.YYYY");
  }
  Session session(global);
  if (!session.Open()) return kExitFailed;
  CatchInterrupt();
  const int status = session.Finish(session.GetDispatcher().StartArchive(kind, from, to));
  if (status == kExitOk && !TextOutput()) {
    PrintArchive(output_format, session.GetDispatcher(),
                 static_cast<ArchiveKind>(static_cast<int>(kind) - 1));
  }
  return status;
}

int Test(const GlobalOptions& global, const OperationOptions& options) {
  Session session(global);
  if (!session.Open()) return kExitFailed;
  CatchInterrupt();
  TestPollOutput output(output_format, session.GetDispatcher());
  for (unsigned long tick = 0; tick < options.ticks && !interrupted; ++tick) {
    const auto next =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.interval_ms);
    session.Wait(session.GetDispatcher().TestTick());
    if (session.GetDispatcher().LastSucceeded() && !TextOutput()) output.Poll();
    if (!session.GetDispatcher().LastSucceeded() || tick + 1 == options.ticks) break;
    while (!interrupted && std::chrono::steady_clock::now() < next) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  output.Finish();
  return session.Report();
}

OperationOptions options;

// --format of the commands that print values.
void AddFormatOption(CLI::App& command) {
  cli::AddFormatOption(command, output_format,
                       "the report as text, or the values the meter sent as CSV or JSON");
}

void SetUpCurrent(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  AddFormatOption(command);
  command.callback([&] { exit_status = Current(global); });
}

void SetUpArchive(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  static std::string kind;
  AddFormatOption(command);
  command.add_option("KIND", kind, "hourly, daily or monthly")->required()->type_name("");
  command.add_option("--from", options.from, "the first day, DD.MM.YYYY")
      ->type_name("DATE")
      ->default_str("today");
  command.add_option("--to", options.to, "the last day, DD.MM.YYYY")
      ->type_name("DATE")
      ->default_str("today");
  command.callback([&] { exit_status = Archive(global, kind, options); });
}

void SetUpTest(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  AddFormatOption(command);
  command.add_option("--ticks", options.ticks, "how many polls")
      ->check(CLI::Range(1ul, 1000000ul))
      ->type_name("N")
      ->capture_default_str();
  command
      .add_option("--interval", options.interval_ms,
                  "milliseconds from the start of one poll to the next")
      ->check(CLI::Range(0ul, 3600000ul))
      ->type_name("MS")
      ->capture_default_str();
  command.callback([&] { exit_status = Test(global, options); });
}

const CommandRegistration kCurrent(
    {"current", "reads the current values, prints the report and saves текущие.txt", SetUpCurrent});
const CommandRegistration kArchive(
    {"archive",
     "downloads an archive for the dates, saves temp.xls and the archive's text file\n"
     "and prints the table (archive hourly|daily|monthly --from DD.MM.YYYY --to DD.MM.YYYY)",
     SetUpArchive});
const CommandRegistration kTest(
    {"test", "polls registers 880 on as the test page does, --ticks times, one line of values each",
     SetUpTest});

}  // namespace

}  // namespace flovir::cli
