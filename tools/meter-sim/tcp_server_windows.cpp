// The simulated meter on the network is served from the Linux side: on
// Windows flovir-cli and the tests connect to a flovir-meter-sim --tcp that
// runs there.

#include <system_error>

#include "tools/meter-sim/tcp_server.h"

namespace flovir::sim {

TcpMeterServer::TcpMeterServer(SimulatedMeter& meter, TcpServerOptions options)
    : meter_(meter), options_(std::move(options)) {
  throw std::system_error(std::make_error_code(std::errc::function_not_supported),
                          "the simulated meter serves the network from Linux only");
}

TcpMeterServer::~TcpMeterServer() = default;

std::string TcpMeterServer::HostPort() const {
  return {};
}

void TcpMeterServer::Stop() {}

}  // namespace flovir::sim
