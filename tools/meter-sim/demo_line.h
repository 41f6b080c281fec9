#pragma once
// The simulated meter as the program's demo shows it: on a pseudo-terminal
// of its own, alone or behind the simulated modem (GSM and dial-up lines,
// modem setup), with the modem's guard time and dialling shortened so that a
// demo call takes a second, not a minute.

#include <memory>
#include <string>

namespace flovir::sim {

class SimulatedMeter;
class MeterLineDevice;
class HayesModem;
class MeterServer;

class DemoLine {
 public:
  // Throws std::system_error when the pseudo-terminal cannot be made (on
  // Windows always).
  DemoLine(SimulatedMeter& meter, bool behind_modem);
  ~DemoLine();
  DemoLine(const DemoLine&) = delete;
  DemoLine& operator=(const DemoLine&) = delete;

  // The path to open as the serial port.
  const std::string& SlavePath() const;

 private:
  std::unique_ptr<MeterLineDevice> meter_line_;
  std::unique_ptr<HayesModem> modem_;
  std::unique_ptr<MeterServer> server_;
};

}  // namespace flovir::sim
