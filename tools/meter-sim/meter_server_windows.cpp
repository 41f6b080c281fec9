// The simulated meter serves a pseudo-terminal, which Windows lacks: there
// flovir-meter-sim runs on the Linux side of a COM port (see the README), and
// the line devices are used in memory only.

#include <system_error>

#include "tools/meter-sim/meter_server.h"

namespace flovir::sim {

namespace {

[[noreturn]] void NoPseudoTerminal() {
  throw std::system_error(std::make_error_code(std::errc::function_not_supported),
                          "the simulated meter needs a pseudo-terminal, which Windows lacks");
}

}  // namespace

class MeterServer::PtyLine {};

MeterServer::MeterServer(SimulatedMeter& meter, ServerOptions options)
    : own_device_(std::make_unique<MeterLineDevice>(meter, options.turnaround)),
      device_(*own_device_),
      options_(std::move(options)) {
  NoPseudoTerminal();
}

MeterServer::MeterServer(LineDevice& device, ServerOptions options)
    : device_(device), options_(std::move(options)) {
  NoPseudoTerminal();
}

MeterServer::~MeterServer() = default;

LineFormat MeterServer::Format() const {
  return {0, false, false};
}

void MeterServer::Stop() {}

}  // namespace flovir::sim
