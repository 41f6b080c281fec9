#include "ui/window_ports.h"

#include <system_error>

#include "tools/meter-sim/demo_line.h"
#include "tools/meter-sim/simulated_meter.h"

namespace flovir::ui {

WindowPorts::WindowPorts() = default;

WindowPorts::~WindowPorts() {
  StopDemo();
}

void WindowPorts::StopDemo() {
  demo_line_.reset();
}

std::unique_ptr<Port> WindowPorts::Open(const std::string& name) {
  if (name != kDemoPortName) return serial_.Open(name);
  StopDemo();
  try {
    // One meter for the whole run, so its clock and parameters persist
    // between connections; a fresh line for each.
    if (!meter_) meter_ = std::make_unique<sim::SimulatedMeter>();
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
