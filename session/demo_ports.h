#pragma once
// The ports of the demo: the simulated meter on a pseudo-terminal of its
// own, behind the simulated modem on a GSM or dial-up line, or behind a
// converter or Modbus TCP gateway on the loopback on a network line. Where
// the system has no pseudo-terminals (Windows) a direct line goes to the
// converter instead. One meter serves every connection of a run, so its
// clock and parameters persist; each connection gets a fresh line.

#include <memory>
#include <string>

#include "connection/connection.h"
#include "operations/settings.h"

namespace flovir::sim {
class SimulatedMeter;
class DemoLine;
class TcpMeterServer;
}  // namespace flovir::sim

namespace flovir {

// The port name (or network address) that stands for the simulated meter.
inline constexpr const char* kDemoPortName = "demo";

class DemoPorts {
 public:
  DemoPorts();
  ~DemoPorts();
  DemoPorts(const DemoPorts&) = delete;
  DemoPorts& operator=(const DemoPorts&) = delete;

  // Whether settings name the simulated meter: the port on a serial line,
  // the address on a network line.
  static bool Names(const Settings& settings);

  // Puts the simulated meter on the line the settings ask for and points
  // them at it (the pseudo-terminal's path, the loopback address). A modem
  // cabled to the port (`modem_on_cable`, the remote modem setup) puts the
  // simulated modem in front of the meter on a direct line. False with the
  // reason when the line cannot be made.
  bool Place(Settings& settings, bool modem_on_cable, std::string& error);
  // Ends the line of the last Place (the meter stays).
  void Remove();

 private:
  std::unique_ptr<sim::SimulatedMeter> meter_;
  std::unique_ptr<sim::DemoLine> serial_;
  std::unique_ptr<sim::TcpMeterServer> network_;
};

}  // namespace flovir
