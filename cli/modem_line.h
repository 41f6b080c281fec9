#pragma once
// GSM and dial-up lines for flovir-cli: the call made when a command opens
// its line and hung up when it closes it, with the modem's report printed on
// standard error; and the simulated modem that --demo puts in front of the
// simulated meter.

#include <memory>
#include <string>

#include "cli/line_options.h"
#include "connection/modem_dialogue.h"
#include "link/port.h"
#include "operations/view.h"

namespace flovir::sim {
class SimulatedMeter;
class MeterLineDevice;
class HayesModem;
class MeterServer;
}  // namespace flovir::sim

namespace flovir::cli {

// Status texts as lines, message boxes as their title and text, on standard
// error (the modem's "\r" separated report becomes lines).
class StderrView : public View {
 public:
  void ShowStatus(const std::string& text) override;
  void EnableOperationButtons(bool, bool) override {}
  void ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) override;
  void SetReport(ReportKind, const std::vector<std::string>&) override {}
  void AppendTestLine(const std::string&) override {}
  void ProcessPendingEvents() override {}
};

// The dialogue's settings from the command line's options.
Settings ModemSettings(const LineOptions& options);

// Finds, configures and dials the modem on the open port. False (with the
// reason printed) when no call came up.
bool CallModem(Port& port, const LineOptions& options);
// Escape and "ATH0". False when the modem did not confirm the hang-up.
bool HangUpModem(Port& port, const LineOptions& options);

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
