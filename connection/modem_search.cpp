#include "connection/modem_search.h"

#include <cmath>

#include "connection/modem_command.h"
#include "operations/line_tables.h"

namespace flovir {

namespace {

constexpr uint32_t Div(uint32_t value, int baud_index) {
  return value / static_cast<uint32_t>(baud_index + 1);
}

PortTimeouts LocalSearchTimeouts(int b) {
  return PortTimeouts{Div(20, b), 0, Div(500, b), 0, 0};
}
PortTimeouts RemoteSearchTimeouts(int b) {
  return PortTimeouts{Div(20, b), 0, 500, 0, 0};
}

// Stepped progress in hundredths: a stop-bit count is 50, a parity 16.66
// and a speed 2.38 of 99 steps.
int LocalPercent(int s, int p, int b) {
  const long progress = std::lround((s * 5000 + p * 1666 + b * 238) / 100.0);
  return static_cast<int>(progress * 100 / 99);
}

int RemotePercent(int s, int p, int b) {
  return 100 * (b + 7 * p + 21 * s) / 41;
}

}  // namespace

LineSettings WithFormat(LineSettings base, const LineFormat& format) {
  base.BaudRate = format.baud_rate;
  base.DataBits = 8;
  base.parity = format.parity;
  base.stopBits = format.stop_bits;
  base.Flags = 0;
  return base;
}

ModemSearchPlan LocalModemSearch() {
  return ModemSearchPlan{PortTimeouts{20, 0, 500, 0, 0}, LocalSearchTimeouts, LocalPercent};
}

ModemSearchPlan RemoteModemSearch() {
  return ModemSearchPlan{PortTimeouts{200, 0, 2000, 0, 0}, RemoteSearchTimeouts, RemotePercent};
}

bool ModemSearch::Probe() {
  std::string reply = ModemCommand(port_, "AT&FE0\r");
  return StripModemReply(reply);
}

bool ModemSearch::ProbeAtPresentFormat() {
  port_.SetTimeouts(plan_.first_probe);
  return Probe();
}

bool ModemSearch::Search(const std::function<void(int percent)>& progress) {
  for (int s = 0; s < kStopBitsCount; ++s) {
    for (int p = 0; p < kParityCount; ++p) {
      for (int b = 0; b < kBaudCount; ++b) {
        port_.SetTimeouts(plan_.search_timeouts(b));
        port_.SetLineSettings(WithFormat(port_.GetLineSettings(), *LineFormatOf(b, p, s)));
        if (Probe()) {
          progress(plan_.percent(kStopBitsCount - 1, kParityCount - 1, kBaudCount - 1));
          return true;
        }
        progress(plan_.percent(s, p, b));
      }
    }
  }
  return false;
}

}  // namespace flovir
