#include "session/demo_ports.h"

#include <system_error>

#include "tools/meter-sim/demo_line.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"
#include "tools/meter-sim/tcp_server.h"

namespace flovir {

DemoPorts::DemoPorts() = default;

DemoPorts::~DemoPorts() {
  Remove();
}

bool DemoPorts::Names(const Settings& settings) {
  return settings.type == ConnectionType::TcpIp ? settings.host == kDemoPortName
                                                : settings.port_name == kDemoPortName;
}

bool DemoPorts::Place(Settings& settings, bool modem_on_cable, std::string& error) {
  Remove();
  try {
    if (!meter_) meter_ = std::make_unique<sim::SimulatedMeter>();
    if (!sim::kServesPseudoTerminals && settings.type == ConnectionType::Direct &&
        !modem_on_cable) {
      // No pseudo-terminal to be the meter's line: a converter on the
      // loopback takes its place.
      settings.type = ConnectionType::TcpIp;
      settings.framing = WireFraming::Rtu;
    }
    if (settings.type == ConnectionType::TcpIp) {
      const sim::TcpFraming framing = settings.framing == WireFraming::ModbusTcp
                                          ? sim::TcpFraming::kModbusTcp
                                          : sim::TcpFraming::kRtu;
      network_ =
          std::make_unique<sim::TcpMeterServer>(*meter_, sim::TcpServerOptions{.framing = framing});
      settings.host = network_->HostPort();
    } else {
      const bool modem = modem_on_cable || settings.type != ConnectionType::Direct;
      serial_ = std::make_unique<sim::DemoLine>(*meter_, modem);
      settings.port_name = serial_->SlavePath();
    }
    return true;
  } catch (const std::system_error& e) {
    error = e.what();
    return false;
  }
}

void DemoPorts::Remove() {
  serial_.reset();
  if (network_) network_->Stop();
  network_.reset();
}

}  // namespace flovir
