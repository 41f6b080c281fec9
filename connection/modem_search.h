#pragma once
// Finding a modem's serial format: the probe "AT&FE0" at the port's present
// format, then every format from 1200 to 57600 baud with each parity and
// stop-bit count. The local modem (connection start) and the remote modem
// (its setup over a direct cable) differ only in timeouts and in how the
// progress is counted.

#include <functional>

#include "link/port.h"
#include "operations/settings.h"

namespace flovir {

// A line format written over base, with 8 data bits and no flags.
LineSettings WithFormat(LineSettings base, const LineFormat& format);

struct ModemSearchPlan {
  PortTimeouts first_probe;
  PortTimeouts (*search_timeouts)(int baud_index);
  int (*percent)(int stop_bits_index, int parity_index, int baud_index);
};

// Local modem: 20/500 ms for the first probe, both shrinking with the speed
// during the search; progress as the stepped 0 to 98 %.
ModemSearchPlan LocalModemSearch();
// Remote modem: 200/2000 ms for the first probe, 500 ms per format during
// the search; progress 0 to 100 %.
ModemSearchPlan RemoteModemSearch();

class ModemSearch {
 public:
  static constexpr int kBaudCount = 7;  // 1200 to 57600; 115200 is never tried
  static constexpr int kParityCount = 3;
  static constexpr int kStopBitsCount = 2;

  ModemSearch(Port& port, const ModemSearchPlan& plan) : port_(port), plan_(plan) {}

  // The probe at the format the port has now.
  bool ProbeAtPresentFormat();
  // Tries all 42 formats; progress gets the percent after each one. A found
  // modem ends the search with the last combination's percent, and the port
  // keeps the format at which it answered.
  bool Search(const std::function<void(int percent)>& progress);

 private:
  bool Probe();

  Port& port_;
  ModemSearchPlan plan_;
};

}  // namespace flovir
