#pragma once
// The ports the window opens: serial devices and pseudo-terminals by path,
// and with --demo the built-in simulated meter, behind its simulated modem
// when the connection type is a modem one. Windows has no pseudo-terminal:
// there the demo meter sits behind a converter on the loopback, and has no
// modem.

#include <memory>
#include <string>

#include "connection/connection.h"

namespace flovir::sim {
class SimulatedMeter;
class DemoLine;
class TcpMeterServer;
}  // namespace flovir::sim

namespace flovir::ui {

// The name the port list gives the simulated meter.
inline constexpr const char* kDemoPortName = "demo";

class WindowPorts : public PortProvider {
 public:
  WindowPorts();
  ~WindowPorts() override;

  // Whether the next opening of the demo port puts the modem in front.
  void SetDemoModem(bool modem) { demo_modem_ = modem; }

  std::unique_ptr<Port> Open(const std::string& name) override;
  std::unique_ptr<Port> Connect(const std::string& host_port, uint32_t timeout_ms,
                                std::string& error) override;
  bool Close(Port& port) override;

 private:
  void StopDemo();

  SerialPortProvider serial_;
  bool demo_modem_ = false;
  std::unique_ptr<sim::SimulatedMeter> meter_;
  std::unique_ptr<sim::DemoLine> demo_line_;
  std::unique_ptr<sim::TcpMeterServer> demo_network_;  // Windows: no pseudo-terminal
};

}  // namespace flovir::ui
