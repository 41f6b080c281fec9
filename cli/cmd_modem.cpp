// flovir-cli modem-setup: prepares the modem at the meter's site, cabled
// directly to the port, with a list of AT commands.

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/command_session.h"
#include "cli/commands.h"
#include "cli/line_options.h"
#include "connection/remote_modem_setup.h"
#include "workbook/platform_files.h"

namespace flovir::cli {

namespace {

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

int Apply(const GlobalOptions& global, const RemoteModemSetup& setup) {
  CommandSession command(global);
  if (!command.Open(LineUse::ModemOnCable)) return kExitFailed;
  command.GetView().SetEcho(true);
  const RemoteSetupOutcome outcome = setup.Apply(command.Get().GetConnection(), command.GetView());
  command.GetView().EndStatusLine();
  command.GetView().SetEcho(false);
  return outcome == RemoteSetupOutcome::Done || outcome == RemoteSetupOutcome::NothingToSend
             ? kExitOk
             : kExitFailed;
}

int ModemSetup(const GlobalOptions& global, const std::string& file) {
  if (global.line.settings.type != ConnectionType::Direct) {
    return UsageError("modem-setup talks to a modem on a direct cable: leave out --line");
  }
  RemoteModemSetup setup;
  if (!LoadCommands(file, setup)) return kExitFailed;
  return Apply(global, setup);
}

void SetUpModemSetup(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  static std::string file;
  command
      .add_option("--commands", file,
                  "the AT commands, one a line; blank lines are left out, at most " +
                      std::to_string(RemoteModemSetup::kMaxCommands) +
                      ".\nThe default list answers on the first ring at 9600 baud, echo off, "
                      "stored:\nAT&F, AT&S1, ATS0=1, AT&D0, AT+IPR=9600, ATE0, AT&W")
      ->type_name("FILE")
      ->default_str("the default list");
  command.callback([&] { exit_status = ModemSetup(global, file); });
}

const CommandRegistration kModemSetup(
    {"modem-setup",
     "sends AT commands to a modem cabled directly to the port: finds its speed and\n"
     "format, then sends each command and stops at the first one it does not accept",
     SetUpModemSetup});

}  // namespace

}  // namespace flovir::cli
