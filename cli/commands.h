#pragma once
// flovir-cli's command table. Each command family lives in its own source
// file and registers itself with a static CommandRegistration.

#include <string>
#include <vector>

namespace flovir::cli {

// Exit statuses shared by all commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// args holds the words after the command's name (for "raw read 0 10" the
// command "raw" receives {"read", "0", "10"} plus any options).
using CommandFunction = int (*)(const std::vector<std::string>& args);

struct Command {
  std::string name;
  std::string usage;  // one line for --help, after the command name
  CommandFunction run;
};

struct CommandRegistration {
  explicit CommandRegistration(Command command);
};

const std::vector<Command>& Commands();

}  // namespace flovir::cli
