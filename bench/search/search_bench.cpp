// The search for the meter over a pseudo-terminal, against the simulated
// meter at the wire's pace:
//   1. a meter at 9600 8N1, address 1, found by the default search;
//   2. one line format (9600 8N1, addresses 1-247) with nothing answering;
//   3. the whole default search with nothing answering: its probes' waits
//      added up, plus the overhead per probe measured in 2; with --full it
//      is run as well (several minutes).
//
// usage: flovir-bench-search [--full]
// The silent line is a meter set to 300 baud, which no step of the search
// uses, so every probe waits out its timeout.

#include <chrono>
#include <cstdio>
#include <cstring>

#include "connection/meter_search.h"
#include "tools/meter-sim/meter_server.h"

namespace {

using namespace flovir;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Runs the steps against the server; the seconds it took and whether found.
double Time(const sim::MeterServer& server, const std::vector<SearchStep>& steps, bool& found) {
  SerialPortProvider ports;
  Settings settings;
  settings.port_name = server.SlavePath();
  const auto start = Clock::now();
  const SearchResult result = SearchForMeter(ports, settings, steps, {});
  found = !result.found.empty();
  return Seconds(Clock::now() - start);
}

double WaitsOf(const std::vector<SearchStep>& steps) {
  double ms = 0;
  for (const SearchStep& s : steps) ms += ProbeTimeoutMs(s.line);
  return ms / 1000;
}

}  // namespace

int main(int argc, char** argv) {
  const bool full = argc > 1 && std::strcmp(argv[1], "--full") == 0;
  Settings defaults;  // the settings page's: 9600 8N1, address 1

  sim::SimulatedMeter meter;
  sim::MeterServer answering(meter, {.required_format = sim::LineFormat{9600, false, false}});
  bool found = false;
  const double first = Time(answering, SearchOrder(defaults, {}), found);
  std::printf("meter at 9600 8N1 address 1: found %s in %.2f s (goal: under 2 s)\n",
              found ? "yes" : "NO", first);

  sim::SimulatedMeter elsewhere;
  sim::MeterServer silent(elsewhere, {.required_format = sim::LineFormat{300, false, false}});
  const std::vector<SearchStep> one_format =
      SearchOrder(defaults, {.baud = 9600, .parity = Parity::None, .stop_bits = StopBits::One});
  const double one = Time(silent, one_format, found);
  const double overhead = (one - WaitsOf(one_format)) / static_cast<double>(one_format.size());
  std::printf(
      "one line format, %zu addresses, nothing answering: %.1f s (goal: under 30 s); "
      "%.1f ms a probe beyond its wait\n",
      one_format.size(), one, overhead * 1000);

  const std::vector<SearchStep> everything = SearchOrder(defaults, {});
  const double estimate = WaitsOf(everything) + overhead * static_cast<double>(everything.size());
  std::printf(
      "whole default search, %zu probes, nothing answering: %.0f s estimated from the "
      "probes' waits and the overhead above (goal: under 600 s)\n",
      everything.size(), estimate);
  double measured = 0;
  if (full) {
    measured = Time(silent, everything, found);
    std::printf("whole default search measured: %.0f s\n", measured);
  }
  std::printf("summary: found %.2f s, one format %.1f s, whole search %.0f s %s\n", first, one,
              full ? measured : estimate, full ? "measured" : "estimated");
  return 0;
}
