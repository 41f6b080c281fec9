#pragma once
// The simulated modem that --demo puts in front of the simulated meter, for
// GSM and dial-up lines and for modem-setup.

#include <memory>
#include <string>

namespace flovir::sim {
class SimulatedMeter;
class MeterLineDevice;
class HayesModem;
class MeterServer;
}  // namespace flovir::sim

namespace flovir::cli {

// The simulated meter behind a simulated modem, on its own pseudo-terminal.
class DemoModemLine {
 public:
  // Throws std::system_error when the pseudo-terminal cannot be made.
  explicit DemoModemLine(sim::SimulatedMeter& meter);
  ~DemoModemLine();
  const std::string& SlavePath() const;

 private:
  std::unique_ptr<sim::MeterLineDevice> meter_line_;
  std::unique_ptr<sim::HayesModem> modem_;
  std::unique_ptr<sim::MeterServer> server_;
};

}  // namespace flovir::cli
