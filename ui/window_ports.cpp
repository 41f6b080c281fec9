#include "ui/window_ports.h"

#include <system_error>

#include "tools/meter-sim/demo_line.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"
#include "tools/meter-sim/tcp_server.h"

namespace flovir::ui {

namespace {
// The loopback answers at once; this only bounds a stuck network stack.
constexpr uint32_t kDemoConnectTimeoutMs = 5000;
}  // namespace

WindowPorts::WindowPorts() = default;

WindowPorts::~WindowPorts() {
  StopDemo();
}

void WindowPorts::StopDemo() {
  demo_line_.reset();
  if (demo_network_) demo_network_->Stop();
  demo_network_.reset();
}

std::unique_ptr<Port> WindowPorts::Open(const std::string& name) {
  if (name != kDemoPortName) return serial_.Open(name);
  StopDemo();
  try {
    // One meter for the whole run, so its clock and parameters persist
    // between connections; a fresh line for each.
    if (!meter_) meter_ = std::make_unique<sim::SimulatedMeter>();
    if (!sim::kServesPseudoTerminals && !demo_modem_) {
      demo_network_ = std::make_unique<sim::TcpMeterServer>(*meter_);
      std::string error;
      return serial_.Connect(demo_network_->HostPort(), kDemoConnectTimeoutMs, error);
    }
    demo_line_ = std::make_unique<sim::DemoLine>(*meter_, demo_modem_);
  } catch (const std::system_error&) {
    return nullptr;
  }
  return serial_.Open(demo_line_->SlavePath());
}

std::unique_ptr<Port> WindowPorts::Connect(const std::string& host_port, uint32_t timeout_ms,
                                           std::string& error) {
  return serial_.Connect(host_port, timeout_ms, error);
}

bool WindowPorts::Close(Port& port) {
  return serial_.Close(port);
}

}  // namespace flovir::ui
