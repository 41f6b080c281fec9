// flovir-cli: the meter's operations from a terminal, for scripts and tests.

#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include "workbook/platform_files.h"
#endif

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

static const Command* FindCommand(const std::string& name) {
  for (const Command& c : Commands()) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

// The words after the program's name, as UTF-8 texts. Windows hands them
// over in UTF-16 (argv would have lost every letter outside the ANSI code
// page) and its console shows UTF-8 only when told so.
static std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  static const struct ConsoleCodePage {
    UINT saved = GetConsoleOutputCP();
    ConsoleCodePage() { SetConsoleOutputCP(CP_UTF8); }
    ~ConsoleCodePage() { SetConsoleOutputCP(saved); }
  } console;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> words;
  for (int i = 1; i < count; ++i) words.push_back(flovir::Utf8FromUtf16(wide[i]));
  LocalFree(wide);
  return words;
#else
  return {argv + 1, argv + argc};
#endif
}

}  // namespace flovir::cli

int main(int argc, char** argv) {
  using namespace flovir::cli;
  std::vector<std::string> words = Arguments(argc, argv);
  // Options may stand before the command name (flovir-cli --demo current,
  // --address 2 current): the command is the first word that names one.
  size_t at = 0;
  while (at < words.size() && !FindCommand(words[at])) ++at;
  if (at == words.size()) {
    const bool asked = words.empty() || words[0] == "--help";
    if (!asked) std::fprintf(stderr, "flovir-cli: no command given\n");
    PrintUsage(asked ? stdout : stderr);
    return asked ? kExitOk : kExitUsage;
  }
  const Command* command = FindCommand(words[at]);
  words.erase(words.begin() + static_cast<long>(at));
  return command->run(words);
}
