// flovir-cli current, archive and test: the meter's operations through the
// dispatcher, as the window runs them. Reports and the final status text go
// to standard output, progress texts to standard error. Ctrl-C cancels a
// running operation after its current try.

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cli/command_session.h"
#include "cli/commands.h"
#include "cli/line_options.h"
#include "cli/machine_output.h"
#include "operations/clock.h"
#include "operations/words.h"
#include "workbook/serial_date.h"

namespace flovir::cli {

namespace {

// --format: csv and json replace the text report on standard output.
OutputFormat output_format = OutputFormat::Text;
bool TextOutput() {
  return output_format == OutputFormat::Text;
}

// The options of these commands besides the global ones.
struct OperationOptions {
  std::string from, to;
  unsigned long ticks = 1;
  unsigned long interval_ms = 1000;
  bool missing_only = false;  // --missing-only: stored complete entries from the history
};

// The status text the last operation ended with; the exit status.
int Report(CommandSession& session) {
  session.PrintStatus(TextOutput());
  return session.Get().LastSucceeded() ? kExitOk : kExitFailed;
}

int Current(const GlobalOptions& global) {
  CommandSession session(global);
  if (!session.Open()) return kExitFailed;
  session.GetView().PrintReports(TextOutput());
  session.Run([](Session& s) { return s.StartCurrentValues(); });
  const int status = Report(session);
  if (status == kExitOk && !TextOutput()) {
    PrintCurrentValues(output_format, session.GetDispatcher());
  }
  return status;
}

int Archive(const GlobalOptions& global, const std::string& kind_name,
            const OperationOptions& options) {
  const ArchiveKind* kind = FindWord(kArchiveWords, kind_name);
  if (kind == nullptr) {
    return UsageError("archive: '" + kind_name + "' is not " +
                      WordList(kArchiveWords, ", ", " or "));
  }
  const double today = static_cast<double>(static_cast<long>(SystemClock().Now()));
  double from = today, to = today;
  if (!options.from.empty() && !ParseDate(options.from, from)) {
    return UsageError("--from: '" + options.from + "' is not a date DD.MM.YYYY");
  }
  if (!options.to.empty() && !ParseDate(options.to, to)) {
    return UsageError("--to: '" + options.to + "' is not a date DD.MM.YYYY");
  }
  CommandSession session(global);
  if (!session.Open()) return kExitFailed;
  if (options.missing_only && session.History() != nullptr) {
    session.History()->SetMissingOnly(true);
  }
  session.GetView().PrintReports(TextOutput());
  session.Run([&](Session& s) { return s.StartArchive(*kind, from, to); });
  const int status = Report(session);
  if (status == kExitOk && !TextOutput()) {
    PrintArchive(output_format, session.GetDispatcher(), *kind);
  }
  return status;
}

int Test(const GlobalOptions& global, const OperationOptions& options) {
  CommandSession session(global);
  if (!session.Open()) return kExitFailed;
  session.GetView().PrintReports(TextOutput());
  TestPollOutput output(output_format, session.GetDispatcher());
  for (unsigned long tick = 0; tick < options.ticks && !Interrupted(); ++tick) {
    const auto next =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.interval_ms);
    const bool ok = session.Run([](Session& s) { return s.TestTick(); });
    if (ok && !TextOutput()) output.Poll();
    if (!ok || tick + 1 == options.ticks) break;
    while (!Interrupted() && std::chrono::steady_clock::now() < next) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  output.Finish();
  return Report(session);
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
  command.add_option("KIND", kind, WordList(kArchiveWords, ", ", " or "))
      ->required()
      ->type_name("");
  command.add_option("--from", options.from, "the first day, DD.MM.YYYY")
      ->type_name("DATE")
      ->default_str("today");
  command.add_option("--to", options.to, "the last day, DD.MM.YYYY")
      ->type_name("DATE")
      ->default_str("today");
  command.add_flag("--missing-only", options.missing_only,
                   "takes the complete entries the history holds and reads only the others");
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
     "and prints the table (archive " +
         WordList(kArchiveWords, "|") + " --from DD.MM.YYYY --to DD.MM.YYYY)",
     SetUpArchive});
const CommandRegistration kTest(
    {"test", "polls registers 880 on as the test page does, --ticks times, one line of values each",
     SetUpTest});

}  // namespace

}  // namespace flovir::cli
