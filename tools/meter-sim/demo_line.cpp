#include "tools/meter-sim/demo_line.h"

#include "tools/meter-sim/hayes_modem.h"
#include "tools/meter-sim/meter_server.h"

namespace flovir::sim {

DemoLine::DemoLine(SimulatedMeter& meter, bool behind_modem) {
  if (!behind_modem) {
    server_ = std::make_unique<MeterServer>(meter);
    return;
  }
  meter_line_ = std::make_unique<MeterLineDevice>(meter, std::chrono::milliseconds(5));
  HayesModemOptions options;
  options.guard = std::chrono::milliseconds(500);
  options.dial_delay = std::chrono::milliseconds(300);
  modem_ = std::make_unique<HayesModem>(*meter_line_, options);
  server_ = std::make_unique<MeterServer>(*modem_);
}

// The server's line thread calls the modem and the meter's line: it stops
// before they go.
DemoLine::~DemoLine() {
  server_->Stop();
}

const std::string& DemoLine::SlavePath() const {
  return server_->SlavePath();
}

}  // namespace flovir::sim
