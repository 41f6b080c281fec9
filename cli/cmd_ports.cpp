// flovir-cli ports: the serial ports of this computer, one per line, each
// beginning with the name that --port accepts.

#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/commands.h"
#include "cli/line_options.h"
#include "connection/port_list.h"

namespace flovir::cli {

namespace {

int Ports() {
  const std::vector<std::string> ports = ListSerialPorts();
  if (ports.empty()) std::fprintf(stderr, "Последовательные порты не найдены\n");
  for (const std::string& port : ports) std::printf("%s\n", port.c_str());
  return kExitOk;
}

void SetUpPorts(CLI::App& command, const GlobalOptions&, int& exit_status) {
  command.callback([&exit_status] { exit_status = Ports(); });
}

const CommandRegistration kPorts({"ports", "lists the serial ports, one per line", SetUpPorts});

}  // namespace

}  // namespace flovir::cli
