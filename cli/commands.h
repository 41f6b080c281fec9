#pragma once
// flovir-cli's commands, as subcommands of one CLI11 application. Each
// command family lives in its own source file and registers itself with a
// static CommandRegistration; main() builds the application from the table.
//
// Adding a command (see cmd_raw.cpp for a small one):
//
//   void SetUpHello(CLI::App& command, const GlobalOptions& global, int& exit_status) {
//     auto words = std::make_shared<std::vector<std::string>>();
//     command.add_option("WORDS", *words, "what to greet");
//     command.add_option("--times", ...)->default_str("1");  // its own options
//     command.callback([&global, &exit_status, words] { exit_status = Hello(global, *words); });
//   }
//   const CommandRegistration kHello({"hello", "greets the meter", SetUpHello});
//
// The global options (the line, --demo, --trace, --folder) are already on
// every command, before or after its name; a command reads them from
// `global` when its callback runs. Usage errors found by the command itself
// go through UsageError(), which prints "flovir-cli: ..." and gives 2.

#include <string>
#include <vector>

#include "cli/line_options.h"

namespace CLI {
class App;
}  // namespace CLI

namespace flovir::cli {

// Exit statuses shared by all commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The options every command accepts, before or after its name, and ignores
// where they have no use.
struct GlobalOptions {
  LineOptions line;
  std::string folder;  // --folder: the program's folder (empty: the program's own)
  // --history FILE (empty: history.sqlite in the program's folder),
  // --no-history, --meter NAME (empty: named after the line).
  std::string history;
  bool no_history = false;
  std::string meter;
};

// Adds the command's own options and positionals to `command` and sets its
// callback, which runs the command and stores its exit status. Values the
// callback reads must outlive the call: keep them in `global`, in objects
// the callback owns, or in statics.
using CommandSetup = void (*)(CLI::App& command, const GlobalOptions& global, int& exit_status);

struct Command {
  std::string name;
  std::string description;  // one line for flovir-cli --help
  CommandSetup setup;
};

struct CommandRegistration {
  explicit CommandRegistration(Command command);
};

const std::vector<Command>& Commands();

// Prints "flovir-cli: message" on standard error; returns kExitUsage.
int UsageError(const std::string& message);

}  // namespace flovir::cli
