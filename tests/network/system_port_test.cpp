// The line the system opens, on Linux and on Windows alike: the network port
// against the simulated meter on the loopback. Timeouts are waited out, a
// close from another thread ends a waiting read, and a connection the other
// end drops is found out at once without later reads spinning.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "connection/tcp_port.h"
#include "tools/meter-sim/tcp_server.h"

namespace flovir::test {
namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(SystemPort, ASilentLineTimesOutAndACloseOnAnotherThreadEndsTheWait) {
  sim::SimulatedMeter meter;
  sim::TcpMeterServer server(meter);
  TcpPort port;
  ASSERT_TRUE(port.Open(server.HostPort(), 5000)) << port.LastError();
  uint8_t buffer[16];

  port.SetTimeouts({50, 0, 200, 0, 0});
  const auto start = Clock::now();
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
  EXPECT_GE(MsSince(start), 190);

  port.SetTimeouts({0, 0, 60000, 0, 0});
  auto read = std::async(std::launch::async, [&] { return port.Read(buffer, sizeof buffer); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto closing = Clock::now();
  EXPECT_TRUE(port.Close());
  ASSERT_EQ(read.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(read.get(), 0u);
  EXPECT_LT(MsSince(closing), 5000);
  EXPECT_FALSE(port.Lost());
  EXPECT_FALSE(port.IsOpen());
}

TEST(SystemPort, AConnectionTheOtherEndDropsIsLostAtOnce) {
  sim::SimulatedMeter meter;
  sim::TcpMeterServer server(meter);
  TcpPort port;
  ASSERT_TRUE(port.Open(server.HostPort(), 5000)) << port.LastError();
  port.SetTimeouts({0, 0, 20000, 0, 0});
  uint8_t buffer[16];
  server.Stop();

  auto start = Clock::now();
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
  EXPECT_LT(MsSince(start), 10000);
  EXPECT_TRUE(port.Lost());

  port.SetTimeouts({0, 0, 200, 0, 0});
  start = Clock::now();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
  EXPECT_GE(MsSince(start), 3 * 190) << "each later read waits out its timeout";
  const uint8_t frame[] = {0x01, 0x03, 0x00};
  EXPECT_EQ(port.Write(frame, sizeof frame), 0u);
}

}  // namespace
}  // namespace flovir::test
