// The search for the meter: the order of its steps, and a meter found at a
// speed and parity it was not asked at, over a real pseudo-terminal.

#include <gtest/gtest.h>

#include <set>

#include "connection/meter_search.h"
#include "tools/meter-sim/meter_server.h"

namespace flovir {
namespace {

constexpr LineFormat k9600N1{9600, Parity::None, StopBits::One};

TEST(MeterSearch, TheLikelySettingsComeFirstAndEachStepOnce) {
  Settings current;
  current.line = {19200, Parity::Even, StopBits::One};
  current.address = 17;
  const std::vector<SearchStep> order = SearchOrder(current, {});
  ASSERT_GT(order.size(), 3u);
  EXPECT_EQ(order[0], (SearchStep{current.line, 17}));
  EXPECT_EQ(order[1], (SearchStep{k9600N1, 1}));
  // Then every format at address 1: 8 speeds, 3 parities, 2 stop bit counts.
  for (size_t i = 2; i < 2 + 46; ++i) EXPECT_EQ(order[i].address, 1) << i;
  std::set<std::tuple<uint32_t, int, int, int>> seen;
  for (const SearchStep& s : order) {
    EXPECT_TRUE(
        seen.insert({s.line.baud_rate, int(s.line.parity), int(s.line.stop_bits), s.address})
            .second)
        << "twice: " << SearchStepText(s, false);
  }
  // Then every address at the current format (245 not yet tried), then at
  // 9600..115200 in 8N1, 8E1, 8O1, 8N2 (the current format among them).
  EXPECT_EQ(order.size(), 2 + 47 + 245 + 19 * 246u);

  Settings network = current;
  network.type = ConnectionType::TcpIp;
  EXPECT_EQ(SearchOrder(network, {}).size(), 247u);
  Settings modem = current;
  modem.type = ConnectionType::Gsm;
  EXPECT_EQ(SearchOrder(modem, {}).size(), 1u);

  // What the user fixed is not searched.
  const std::vector<SearchStep> at_9600 = SearchOrder(current, {.baud = 9600, .address = 5});
  EXPECT_EQ(at_9600.size(), 6u);  // 3 parities, 2 stop bit counts
  for (const SearchStep& s : at_9600) EXPECT_TRUE(s.line.baud_rate == 9600 && s.address == 5);
}

TEST(MeterSearch, ProbeTimeoutIsTheWireTimeAndAMargin) {
  // 8 + 13 + 4 characters of 10 bits at 9600 baud: 26 ms, and 50 ms.
  EXPECT_EQ(ProbeTimeoutMs(k9600N1), 77u);
  EXPECT_EQ(ProbeTimeoutMs({1200, Parity::Even, StopBits::Two}), 300u);
  EXPECT_EQ(ProbeTimeoutMs({115200, Parity::None, StopBits::One}), 53u);
}

// The meter at address 3 on 19200 baud with odd parity, which a
// pseudo-terminal tells apart: found with the address given, and nothing at
// the address it does not have.
TEST(MeterSearch, FindsTheSpeedAndParityOfAMeterThatAnswersNothingElse) {
  sim::SimulatedMeter meter({.address = 3});
  sim::MeterServer server(meter, {.required_format = sim::LineFormat{19200, true, false}});
  SerialPortProvider ports;
  Settings settings;
  settings.port_name = server.SlavePath();
  std::vector<std::string> progress;
  SearchCallbacks callbacks;
  callbacks.progress = [&](const std::string& text, int) { progress.push_back(text); };
  SearchResult result =
      SearchForMeter(ports, settings, SearchOrder(settings, {.address = 3}), callbacks);
  ASSERT_EQ(result.found.size(), 1u);
  EXPECT_EQ(result.found[0].step, (SearchStep{{19200, Parity::Odd, StopBits::One}, 3}));
  EXPECT_EQ(progress.back(), "Поиск прибора: 19200, нечет, 1 стоп-бит, адрес 3");

  // Cancelled before the first probe, nothing is tried.
  callbacks.cancelled = [] { return true; };
  result = SearchForMeter(ports, settings, SearchOrder(settings, {}), callbacks);
  EXPECT_TRUE(result.cancelled);
  EXPECT_TRUE(result.found.empty());

  settings.port_name = "/dev/flovir-absent";
  result = SearchForMeter(ports, settings, SearchOrder(settings, {}), {});
  EXPECT_EQ(result.open_error.substr(0, result.open_error.find('\n')), "Не удалось открыть порт");
}

}  // namespace
}  // namespace flovir
