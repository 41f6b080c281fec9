// flovir-cli: the meter's operations from a terminal, for scripts and tests.

#include <CLI/CLI.hpp>
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

int UsageError(const std::string& message) {
  std::fprintf(stderr, "flovir-cli: %s\n", message.c_str());
  return kExitUsage;
}

namespace {

// The global options, on the application and on every command, so that they
// stand before or after the command's name and every --help lists them.
void AddGlobalOptions(CLI::App& app, GlobalOptions& global) {
  app.add_option("--folder", global.folder,
                 "the program's folder: temp.xls, the auto-save folder\n"
                 "and the files of the operations go there")
      ->type_name("DIR")
      ->default_str("the program's own");
  app.add_option("--history", global.history,
                 "the meter's history: every reading is kept in this SQLite file,\n"
                 "or on a PostgreSQL server: postgresql://USER@HOST:PORT/DB")
      ->type_name("FILE|URI")
      ->default_str("history.sqlite in the program's folder");
  app.add_flag("--no-history", global.no_history, "keeps nothing in the history");
  app.add_option("--meter", global.meter, "the name the meter is known by in the history")
      ->type_name("NAME")
      ->default_str("the line, port or host, and address");
  AddLineOptions(app, global.line);
}

// CLI11's text for a flag given a value names the flag without its dashes.
std::string ErrorText(const CLI::ParseError& error) {
  std::string text = error.what();
  const std::string override_text = " was given a disallowed flag override";
  if (text.ends_with(override_text)) {
    return "--" + text.substr(0, text.size() - override_text.size()) + " takes no value";
  }
  return text;
}

#ifdef _WIN32
// The words after the program's name, last first, as CLI11 takes them, in
// UTF-8. Windows hands them over in UTF-16 (argv would have lost every letter
// outside the ANSI code page) and its console shows UTF-8 only when told so.
std::vector<std::string> WindowsArguments() {
  static const struct ConsoleCodePage {
    UINT saved = GetConsoleOutputCP();
    ConsoleCodePage() { SetConsoleOutputCP(CP_UTF8); }
    ~ConsoleCodePage() { SetConsoleOutputCP(saved); }
  } console;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> words;
  for (int i = count - 1; i >= 1; --i) words.push_back(flovir::Utf8FromUtf16(wide[i]));
  LocalFree(wide);
  return words;
}
#endif

}  // namespace

}  // namespace flovir::cli

int main(int argc, char** argv) {
  using namespace flovir::cli;
  CLI::App app(
      "The ФЛОВИР flow meter from a terminal: its current values, archives,\n"
      "parameters and clock, over a serial line, a modem call or the network.",
      "flovir-cli");
  app.require_subcommand(1, 1);
  app.set_help_flag("--help", "this text; COMMAND --help describes a command");
  GlobalOptions global;
  AddGlobalOptions(app, global);
  int exit_status = kExitOk;
  for (const Command& command : Commands()) {
    CLI::App* sub = app.add_subcommand(command.name, command.description);
    sub->set_help_flag("--help", "this text");
    AddGlobalOptions(*sub, global);
    command.setup(*sub, global, exit_status);
  }
  if (argc < 2) {
    std::fprintf(stderr, "%s", app.help().c_str());
    return kExitUsage;
  }
  try {
#ifdef _WIN32
    std::vector<std::string> words = WindowsArguments();
    app.parse(words);
#else
    app.parse(argc, argv);
#endif
  } catch (const CLI::CallForHelp&) {
    const CLI::App* asked = &app;
    for (const CLI::App* sub : app.get_subcommands()) asked = sub;
    std::printf("%s", asked->help().c_str());
    return kExitOk;
  } catch (const CLI::ParseError& error) {
    return UsageError(ErrorText(error));
  }
  return exit_status;
}
