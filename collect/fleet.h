#pragma once
// The fleet file: the meters a collection reads, in TOML.
//
//   history = "h.sqlite"    # optional: the history store (default OUT/history.sqlite)
//
//   [defaults]              # optional; any meter key but name
//   attempts = 2
//   collect = ["current", "daily"]
//
//   [[meter]]
//   name = "pump-1"         # the folder of its files; letters, digits, . _ -
//   line = "direct"         # direct (default), gsm or dialup
//   port = "/dev/ttyUSB0"   # a port name or path; required
//   address = 1             # 1-247
//   baud = 9600             # parity = "none|odd|even", stop = 1|2
//   timeout = 3000          # answer timeout, ms; attempts, chunk
//   number = "+79001234567" # gsm and dialup: the number to dial (init, pulse)
//   collect = ["current", "hourly", "daily", "monthly", "params"]
//   history_days = 31       # how far back the first run of hourly and daily goes
//   history_months = 12     # the same for the monthly archive
//
// Every mistake is reported with the file, the line and the key.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "operations/settings.h"

namespace flovir::collect {

// What a meter's run reads, in this order.
struct CollectWhat {
  bool current = false;
  bool hourly = false;
  bool daily = false;
  bool monthly = false;
  bool parameters = false;
};

struct MeterConfig {
  std::string name;
  // The line and the requests, as the window's settings page holds them.
  Settings settings;
  CollectWhat collect{true, false, true, false, false};
  int history_days = 31;
  int history_months = 12;
  int line_in_file = 0;  // where its [[meter]] table begins
};

struct Fleet {
  std::string path;
  std::string history;  // the history store the file names; empty: OUT/history.sqlite
  std::vector<MeterConfig> meters;
};

class FleetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads and checks the fleet file. Throws FleetError with a message such as
// "fleet.toml:12: meter 'pump-2': port: missing".
Fleet ReadFleet(const std::string& path);
// The same for text already read; path only names it in messages.
Fleet ParseFleet(std::string_view text, const std::string& path);

}  // namespace flovir::collect
