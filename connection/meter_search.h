#pragma once
// Finding the meter on a line whose settings nobody remembers: a short probe
// that only this meter answers as it does, tried over line formats and slave
// addresses in the order in which they are likely. Runs on its own port (the
// connection is not started) and on any thread; progress and cancelling go
// through callbacks.
//
//   SearchPlan plan = SearchOrder(settings, scope);
//   SearchResult r = SearchForMeter(ports, settings, plan, callbacks);
//   if (!r.found.empty()) settings.line = r.found[0].line, ...

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "connection/connection.h"
#include "operations/settings.h"

namespace flovir {

// The probe: a read of the volume scale codes of channels 1 and 2
// (registers 56-59), which the meter answers whatever it measures; the
// reply must carry two float codes from 0 to 255.
inline constexpr uint16_t kProbeFirstRegister = 56;
inline constexpr uint16_t kProbeRegisterCount = 4;

// One probe: a line format and an address.
struct SearchStep {
  LineFormat line;
  uint8_t address = 1;
  bool operator==(const SearchStep&) const = default;
};

// What the user fixed; the rest is searched.
struct SearchScope {
  std::optional<uint32_t> baud = {};
  std::optional<Parity> parity = {};
  std::optional<StopBits> stop_bits = {};
  std::optional<uint8_t> address = {};
};

// The likely settings first: the current ones, then 9600 8N1 at address 1,
// then every line format at address 1, then every address at the common
// speeds (9600 to 115200, with no, even or odd parity and one stop bit, and
// no parity with two). On a network line only the addresses are searched
// (the converter keeps the line format); on a modem line only the current
// settings, since every try costs a call. Each step comes once.
std::vector<SearchStep> SearchOrder(const Settings& current, const SearchScope& scope);

// How long a probe waits for its reply on a serial line: the wire time of
// the request and the reply at the line format, plus 50 ms for the meter to
// turn round and four characters for the end of its frame.
uint32_t ProbeTimeoutMs(const LineFormat& line);
// On a network line the wire beyond the converter is unknown.
inline constexpr uint32_t kNetworkProbeTimeoutMs = 500;

struct FoundMeter {
  SearchStep step;
  double reply_ms = 0;
};

struct SearchCallbacks {
  // The step being tried, as text, and how far the search is (0-100).
  std::function<void(const std::string& text, int percent)> progress;
  // The same step as a value, just before its progress.
  std::function<void(const SearchStep& step)> trying;
  // Asked before every probe; true ends the search.
  std::function<bool()> cancelled;
  // True: go on after a meter was found, to list every meter on the line.
  bool all = false;
};

struct SearchResult {
  std::vector<FoundMeter> found;
  bool cancelled = false;
  // The port or the network did not open ("Не удалось открыть порт" and
  // the system's reason), or the port went during the search.
  std::string open_error;
};

// Opens the line of `settings` (a serial port or a network connection),
// runs the steps and closes it again.
SearchResult SearchForMeter(PortProvider& ports, const Settings& settings,
                            const std::vector<SearchStep>& steps, const SearchCallbacks& callbacks);

// Sends one probe on an open port whose line format is set; true when this
// meter answered. `found_address` is the address of the reply, which can be
// another one's when a slow meter's reply to an earlier probe arrives late.
bool ProbeMeter(Port& port, WireFraming framing, uint8_t address, uint32_t timeout_ms,
                uint8_t& found_address, double& reply_ms);

// "19200, чёт, 1 стоп-бит, адрес 17" (on a network line only the address).
std::string SearchStepText(const SearchStep& step, bool network);

}  // namespace flovir
