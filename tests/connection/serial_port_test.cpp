// The serial port over real pseudo-terminals: opening, line format, raw
// bytes, the Windows timeout semantics against a monotonic clock, closing
// under a reader, and a port that vanishes.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "connection/serial_port.h"
#include "link/deadline.h"
#include "tests/link/pty_peer.h"

namespace flovir::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kSlowdown = 4;
#else
constexpr int kSlowdown = 1;
#endif

class OpenPort : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(port.Open(pty.SlavePath())) << port.LastError();
    ASSERT_TRUE(port.SetLineSettings(LineSettings{}));
  }
  Bytes ReadWith(PortTimeouts timeouts, size_t capacity, const ReadComplete& complete = {}) {
    port.SetTimeouts(timeouts);
    Bytes buffer(capacity);
    const uint32_t n = port.Read(buffer.data(), capacity, complete);
    EXPECT_EQ(port.BytesTransferred(), n);
    buffer.resize(n);
    return buffer;
  }
  Pty pty;
  SerialPort port;
};

TEST(SerialPortOpen, NamesAndPaths) {
  EXPECT_EQ(SerialPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(SerialPort::DevicePath("/dev/pts/3"), "/dev/pts/3");
  EXPECT_EQ(SerialPort::DevicePath("./ttyX"), "./ttyX");
}

TEST(SerialPortOpen, FailuresLeaveThePortClosedWithTheSystemsReason) {
  SerialPort port;
  EXPECT_FALSE(port.Open("/dev/flovir-no-such-port"));
  EXPECT_EQ(port.LastError(), "No such file or directory");
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.Open(""));

  const std::string file = testing::TempDir() + "flovir-not-a-tty";
  std::ofstream(file) << "x";
  EXPECT_FALSE(port.Open(file));
  EXPECT_FALSE(port.LastError().empty());
  std::filesystem::remove(file);

  uint8_t byte = 0;
  EXPECT_EQ(port.Read(&byte, 1), 0u);
  EXPECT_EQ(port.Write(&byte, 1), 0u);
  EXPECT_FALSE(port.SetTimeouts({}));
  EXPECT_FALSE(port.Close());
}

TEST(SerialPortOpen, APortInUseCannotBeOpenedTwice) {
  Pty pty;
  SerialPort first;
  SerialPort second;
  ASSERT_TRUE(first.Open(pty.SlavePath()));
  EXPECT_FALSE(second.Open(pty.SlavePath()));
  EXPECT_FALSE(second.LastError().empty());
  EXPECT_TRUE(first.Close());
  EXPECT_TRUE(second.Open(pty.SlavePath())) << second.LastError();
}

TEST_F(OpenPort, LineSettingsReachTheLine) {
  LineSettings settings;
  settings.BaudRate = 19200;
  settings.Parity = Parity::Odd;
  settings.StopBits = StopBits::Two;
  ASSERT_TRUE(port.SetLineSettings(settings));
  termios t{};
  ASSERT_EQ(tcgetattr(pty.Master(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B19200);
  EXPECT_TRUE(t.c_cflag & PARODD);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  const LineSettings back = port.GetLineSettings();
  EXPECT_EQ(back.BaudRate, 19200u);
  EXPECT_EQ(back.StopBits, StopBits::Two);
  EXPECT_EQ(back.DataBits, 8);

  settings.BaudRate = 12345;
  EXPECT_FALSE(port.SetLineSettings(settings)) << "a speed the driver does not know";
}

TEST_F(OpenPort, EveryByteValuePassesUnchangedBothWays) {
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(port.Write(all.data(), all.size()), 256u);
  EXPECT_EQ(port.BytesTransferred(), 256u);
  EXPECT_EQ(pty.Receive(2000), all);
  pty.Send(all);
  EXPECT_EQ(ReadWith({50, 0, 2000, 0, 0}, 256), all);
}

TEST_F(OpenPort, PurgeDiscardsWhatHasArrived) {
  pty.Send({1, 2, 3});
  while (pty.SlaveQueued() < 3) std::this_thread::sleep_for(1ms);
  port.Purge();
  EXPECT_TRUE(ReadWith({50, 0, 100, 0, 0}, 10).empty());
}

TEST_F(OpenPort, ASilentLineReadsNothingAfterTheTotalConstant) {
  const auto start = Clock::now();
  EXPECT_TRUE(ReadWith({50, 0, 300, 0, 0}, 256).empty());
  const long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 299);
  EXPECT_LT(elapsed, 300 + 2000 * kSlowdown);
}

TEST_F(OpenPort, TheTotalTimeoutGrowsWithTheRequestedBytes) {
  const auto start = Clock::now();
  EXPECT_TRUE(ReadWith({0, 10, 100, 0, 0}, 20).empty());  // 10 * 20 + 100
  EXPECT_GE(ElapsedMs(start), 299);
}

TEST_F(OpenPort, AFullBufferEndsTheReadAtOnce) {
  pty.Send({1, 2, 3, 4, 5, 6});
  const auto start = Clock::now();
  EXPECT_EQ(ReadWith({0, 0, 20000, 0, 0}, 4), (Bytes{1, 2, 3, 4}));
  EXPECT_LT(ElapsedMs(start), 10000);
  EXPECT_EQ(ReadWith({0, 0, 20000, 0, 0}, 2), (Bytes{5, 6}));
}

TEST_F(OpenPort, TheCompletionTestEndsTheReadAtOnce) {
  pty.Send({1, 2, 3});
  const auto start = Clock::now();
  const Bytes got =
      ReadWith({0, 0, 20000, 0, 0}, 256, [](const uint8_t*, size_t count) { return count >= 3; });
  EXPECT_EQ(got, (Bytes{1, 2, 3}));
  EXPECT_LT(ElapsedMs(start), 10000);
}

TEST_F(OpenPort, TheImmediateReadReturnsWhatHasArrived) {
  EXPECT_TRUE(ReadWith({UINT32_MAX, 0, 0, 0, 0}, 10).empty());
  pty.Send({7, 8});
  while (pty.SlaveQueued() < 2) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(ReadWith({UINT32_MAX, 0, 0, 0, 0}, 10), (Bytes{7, 8}));
}

// The first part is on the line before the read starts, and the second part
// leaves 60 ms later: the 50 ms interval ends the read in between.
TEST_F(OpenPort, AGapLongerThanTheIntervalCutsTheRead) {
  const int gap_ms = 60 * kSlowdown;
  pty.Send({1, 2, 3});
  while (pty.SlaveQueued() < 3) std::this_thread::sleep_for(1ms);
  const auto start = Clock::now();
  std::thread later([&] {
    std::this_thread::sleep_until(start + std::chrono::milliseconds(gap_ms));
    pty.Send({4, 5});
  });
  const Bytes got = ReadWith({static_cast<uint32_t>(50 * kSlowdown), 0, 5000, 0, 0}, 256);
  const long elapsed = ElapsedMs(start);
  later.join();
  EXPECT_EQ(got, (Bytes{1, 2, 3}));
  EXPECT_LT(elapsed, 5000);
  EXPECT_EQ(ReadWith({50, 0, 2000, 0, 0}, 256), (Bytes{4, 5}))
      << "the rest waits for the next read";
}

TEST_F(OpenPort, AShortPauseDoesNotEndTheRead) {
  std::thread sender([&] {
    pty.Send({1, 2});
    std::this_thread::sleep_for(5ms);
    pty.Send({3, 4});
  });
  const Bytes got = ReadWith({500, 0, 20000, 0, 0}, 256);
  sender.join();
  EXPECT_EQ(got, (Bytes{1, 2, 3, 4}));
}

TEST_F(OpenPort, CloseEndsAReadOnAnotherThreadAndNeverTouchesTheDescriptorAgain) {
  port.SetTimeouts({0, 0, 60000, 0, 0});
  std::atomic<bool> returned{false};
  Clock::time_point start = Clock::now();
  std::thread reader([&] {
    uint8_t buffer[16];
    EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
    returned = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(port.Close());
  reader.join();
  EXPECT_TRUE(returned);
  EXPECT_LT(ElapsedMs(start), 30000);

  // The freed descriptor number goes to the next file opened; the closed port
  // must neither read from nor write to it.
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  ASSERT_EQ(write(pipe_fds[1], "abc", 3), 3);
  uint8_t buffer[16];
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(port.Write(buffer, 3), 0u);
  port.Purge();
  char left[8];
  EXPECT_EQ(read(pipe_fds[0], left, sizeof left), 3);
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

TEST_F(OpenPort, CloseWhileManyReadsAndWritesRun) {
  port.SetTimeouts({0, 0, 60000, 0, 0});
  std::vector<std::thread> users;
  for (int i = 0; i < 4; ++i) {
    users.emplace_back([&] {
      uint8_t buffer[16] = {};
      for (int k = 0; k < 50 && port.IsOpen(); ++k) {
        port.Write(buffer, sizeof buffer);
        port.Read(buffer, sizeof buffer);
      }
    });
  }
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(port.Close());
  for (auto& t : users) t.join();
  EXPECT_FALSE(port.IsOpen());
}

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

TEST_F(OpenPort, AVanishedPortReadsNothingWithoutSpinning) {
  pty.Send({9});
  pty.CloseMaster();  // the converter is pulled out
  port.SetTimeouts({50, 0, 400, 0, 0});
  uint8_t buffer[16];
  const double cpu_before = ThreadCpuMs();
  const auto start = Clock::now();
  uint32_t total = 0;
  for (int i = 0; i < 3; ++i) total += port.Read(buffer, sizeof buffer);
  const long elapsed = ElapsedMs(start);
  EXPECT_LE(total, 1u) << "at most the byte that arrived before";
  EXPECT_GE(elapsed, 2 * 400 - 1) << "each empty read waits out its timeout";
  EXPECT_LT(ThreadCpuMs() - cpu_before, 200.0) << "no busy loop";
  EXPECT_EQ(port.Write(buffer, 4), 0u);
  EXPECT_TRUE(port.Close());
}

TEST(Deadline, RoundsUpAndNeverComes) {
  EXPECT_EQ(Deadline::Never().RemainingMs(), -1);
  EXPECT_FALSE(Deadline::Never().Passed());
  EXPECT_TRUE(Deadline::After(0).Passed());
  EXPECT_EQ(Deadline::After(0).RemainingMs(), 0);
  const int left = Deadline::After(1000).RemainingMs();
  EXPECT_GT(left, 900);
  EXPECT_LE(left, 1000);
  const Deadline soon = Deadline::After(10);
  EXPECT_EQ(Deadline::Earliest(Deadline::Never(), soon).RemainingMs(), soon.RemainingMs());
  EXPECT_LE(Deadline::Earliest(Deadline::After(5000), soon).RemainingMs(), 10);
}

}  // namespace
}  // namespace flovir::test
