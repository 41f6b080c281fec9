// flovir-cli: the meter's operations from a terminal, for scripts and tests.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/line_options.h"

namespace flovir::cli {

static std::vector<Command>& Table() {
  static std::vector<Command> table;
  return table;
}

CommandRegistration::CommandRegistration(Command command) {
  Table().push_back(std::move(command));
}

const std::vector<Command>& Commands() {
  return Table();
}

static void PrintUsage(FILE* out) {
  std::fprintf(out, "usage: flovir-cli COMMAND [ARGS] [OPTIONS]\n\ncommands:\n");
  for (const Command& c : Commands())
    std::fprintf(out, "  %s %s\n", c.name.c_str(), c.usage.c_str());
}

}  // namespace flovir::cli

int main(int argc, char** argv) {
  using namespace flovir::cli;
  std::vector<std::string> words(argv + 1, argv + argc);
  // Options such as --demo or --port PATH may stand before the command name.
  size_t at = 0;
  while (at < words.size() && words[at].rfind("--", 0) == 0 && words[at] != "--help") {
    at += LineOptionTakesValue(words[at]) ? 2 : 1;
  }
  if (words.empty() || at >= words.size() || words[at] == "--help") {
    PrintUsage(words.empty() || at < words.size() ? stdout : stderr);
    return words.empty() || at < words.size() ? kExitOk : kExitUsage;
  }
  const std::string name = words[at];
  words.erase(words.begin() + static_cast<long>(at));
  for (const Command& c : Commands()) {
    if (c.name == name) return c.run(words);
  }
  std::fprintf(stderr, "flovir-cli: unknown command '%s'\n", name.c_str());
  PrintUsage(stderr);
  return kExitUsage;
}
