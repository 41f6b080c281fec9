// flovir-cli modem-setup: prepares the modem at the meter's site, cabled
// directly to the port, with a list of AT commands.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/commands.h"
#include "cli/line.h"
#include "cli/line_options.h"
#include "connection/remote_modem_setup.h"
#include "workbook/platform_files.h"

namespace flovir::cli {

namespace {

const char* const kUsage = "[--commands FILE] [OPTIONS]";

void PrintHelp() {
  std::printf(
      "usage: flovir-cli modem-setup [--commands FILE] [OPTIONS]\n"
      "Sends AT commands, one a line, to a modem cabled directly to the port: first\n"
      "it finds the modem's speed and format, then sends each command and stops at\n"
      "the first one the modem does not accept. Without --commands the list is\n"
      "AT&F, AT&S1, ATS0=1, AT&D0, AT+IPR=9600, ATE0, AT&W (answer on the first ring,\n"
      "9600 baud, echo off, stored). Blank lines are left out; at most %zu commands.\n"
      "With --demo the simulated modem is on the line. Progress goes to standard\n"
      "error; the exit status is 0 when every command was accepted.\n\noptions:\n%s",
      RemoteModemSetup::kMaxCommands, kLineOptionsHelp);
}

// The list from the file, or the default one.
bool LoadCommands(const std::string& path, RemoteModemSetup& setup) {
  if (path.empty()) return true;
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "flovir-cli: %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  std::string error;
  if (!setup.SetCommands(SplitCommandLines(text), error)) {
    std::fprintf(stderr, "flovir-cli: %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  return true;
}

int Apply(const LineOptions& options, const RemoteModemSetup& setup) {
  const auto line = CliLine::Open(options, CliLine::Use::RemoteModem);
  if (!line) return kExitFailed;
  line->GetView().SetEcho(true);
  const RemoteSetupOutcome outcome = setup.Apply(line->GetConnection(), line->GetView());
  line->GetView().SetEcho(false);
  return outcome == RemoteSetupOutcome::Done || outcome == RemoteSetupOutcome::NothingToSend
             ? kExitOk
             : kExitFailed;
}

int ModemSetup(const std::vector<std::string>& args) {
  LineOptions options;
  std::vector<std::string> words;
  if (std::string error = ParseLineOptions(args, options, words); !error.empty()) {
    return UsageError(error);
  }
  if (options.help) {
    PrintHelp();
    return kExitOk;
  }
  if (options.settings.type != ConnectionType::Direct) {
    return UsageError("modem-setup talks to a modem on a direct cable: leave out --line");
  }
  std::string file;
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--commands" && i + 1 < words.size()) {
      file = words[++i];
    } else if (words[i].starts_with("--commands=")) {
      file = words[i].substr(11);
    } else {
      return UsageError("modem-setup: unexpected '" + words[i] + "'");
    }
  }
  RemoteModemSetup setup;
  if (!LoadCommands(file, setup)) return kExitFailed;
  return Apply(options, setup);
}

const CommandRegistration kModemSetup({"modem-setup", kUsage, ModemSetup});

}  // namespace

}  // namespace flovir::cli
