#include "ui/window_ports.h"

#include <system_error>

#include "tools/meter-sim/hayes_modem.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"

namespace flovir::ui {

WindowPorts::WindowPorts() = default;

WindowPorts::~WindowPorts() {
  StopDemo();
}

void WindowPorts::StopDemo() {
  if (server_) server_->Stop();
  server_.reset();
  modem_.reset();
  meter_line_.reset();
}

std::unique_ptr<Port> WindowPorts::Open(const std::string& name) {
  if (name != kDemoPortName) return serial_.Open(name);
  StopDemo();
  try {
    // One meter for the whole run, so its clock and parameters persist
    // between connections; a fresh line for each.
    if (!meter_) meter_ = std::make_unique<sim::SimulatedMeter>();
    if (demo_modem_) {
      meter_line_ = std::make_unique<sim::MeterLineDevice>(*meter_, std::chrono::milliseconds(5));
      sim::HayesModemOptions options;
      options.guard = std::chrono::milliseconds(500);
      options.dial_delay = std::chrono::milliseconds(300);
      modem_ = std::make_unique<sim::HayesModem>(*meter_line_, options);
      server_ = std::make_unique<sim::MeterServer>(*modem_);
    } else {
      server_ = std::make_unique<sim::MeterServer>(*meter_);
    }
  } catch (const std::system_error&) {
    StopDemo();
    return nullptr;
  }
  return serial_.Open(server_->SlavePath());
}

std::unique_ptr<Port> WindowPorts::Connect(const std::string& host_port, uint32_t timeout_ms,
                                           std::string& error) {
  return serial_.Connect(host_port, timeout_ms, error);
}

bool WindowPorts::Close(Port& port) {
  return serial_.Close(port);
}

}  // namespace flovir::ui
