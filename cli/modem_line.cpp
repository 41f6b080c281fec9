#include "cli/modem_line.h"

#include <algorithm>
#include <cstdio>

#include "operations/line_tables.h"
#include "tools/meter-sim/hayes_modem.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"

namespace flovir::cli {

namespace {

std::string Lines(std::string text) {
  std::replace(text.begin(), text.end(), '\r', '\n');
  return text;
}

}  // namespace

void StderrView::ShowStatus(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

void StderrView::ShowMessage(const std::string& title, const std::string& text, MessageIcon) {
  std::fprintf(stderr, "%s:\n%s\n", title.c_str(), Lines(text).c_str());
}

Settings ModemSettings(const LineOptions& options) {
  Settings s;
  s.type = options.line_type;
  s.port_name = options.port;
  s.line = LineFormat{options.line.BaudRate, options.line.parity, options.line.stopBits};
  s.number = options.number;
  s.init_string = options.init;
  s.dial_mode = options.pulse ? DialMode::Pulse : DialMode::Tone;
  s.answer_timeout_ms = options.timeout_ms;
  return s;
}

bool CallModem(Port& port, const LineOptions& options) {
  StderrView view;
  const Settings settings = ModemSettings(options);
  return ModemDialogue(port, view, settings, ConnectionTiming{}).Call();
}

bool HangUpModem(Port& port, const LineOptions& options) {
  StderrView view;
  const Settings settings = ModemSettings(options);
  view.ShowStatus("Закрытие соединения...");
  const bool hung_up = ModemDialogue(port, view, settings, ConnectionTiming{}).HangUp();
  view.ShowMessage(kModemBoxTitle,
                   hung_up ? "Соединение прервано" : "Не удалось разорвать соединение!",
                   hung_up ? MessageIcon::Warning : MessageIcon::Error);
  return hung_up;
}

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
