// flovir-cli ports: the serial ports of this computer, one per line, each
// beginning with the name that --port accepts.

#include <cstdio>

#include "cli/commands.h"
#include "cli/line_options.h"
#include "connection/port_list.h"

namespace flovir::cli {

namespace {

int Ports(const std::vector<std::string>& args) {
  for (const std::string& word : args) {
    if (word == "--help") {
      std::printf("usage: flovir-cli ports\nLists the serial ports, one per line.\n");
      return kExitOk;
    }
    return UsageError("ports takes no arguments: '" + word + "'");
  }
  const std::vector<std::string> ports = ListSerialPorts();
  if (ports.empty()) std::fprintf(stderr, "Последовательные порты не найдены\n");
  for (const std::string& port : ports) std::printf("%s\n", port.c_str());
  return kExitOk;
}

const CommandRegistration kPorts({"ports", "", Ports});

}  // namespace

}  // namespace flovir::cli
