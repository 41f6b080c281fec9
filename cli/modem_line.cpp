#include "cli/modem_line.h"

#include "tools/meter-sim/hayes_modem.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"

namespace flovir::cli {

DemoModemLine::DemoModemLine(sim::SimulatedMeter& meter)
    : meter_line_(std::make_unique<sim::MeterLineDevice>(meter, std::chrono::milliseconds(5))) {
  sim::HayesModemOptions options;
  options.guard = std::chrono::milliseconds(500);
  options.dial_delay = std::chrono::milliseconds(300);
  modem_ = std::make_unique<sim::HayesModem>(*meter_line_, options);
  server_ = std::make_unique<sim::MeterServer>(*modem_);
}

DemoModemLine::~DemoModemLine() {
  server_->Stop();
}

const std::string& DemoModemLine::SlavePath() const {
  return server_->SlavePath();
}

}  // namespace flovir::cli
