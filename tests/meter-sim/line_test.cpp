// The simulated meter on a real pseudo-terminal: framing, pacing at the
// master's line format, timed faults, the link path, stopping, and a device
// of another kind behind the same server. Times are checked as lower bounds
// only, with margins: the machine may be slow, never faster than the wire.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/meter-sim/pty_client.h"
#include "tests/meter-sim/test_frames.h"
#include "tools/meter-sim/meter_server.h"

namespace flovir::sim {
namespace {

using namespace std::chrono_literals;
using test::Arrival;
using test::PtyClient;
using test::ReadFrame;
using test::RegistersOf;
using test::Selector;
using test::WriteFrame;
using Bytes = std::vector<uint8_t>;

// Milliseconds that `bytes` characters of `bits` bit times take at `baud`.
double WireMs(size_t bytes, unsigned bits, unsigned baud) {
  return 1000.0 * bytes * bits / baud;
}

class LineTest : public ::testing::Test {
 protected:
  SimulatedMeter meter{MeterOptions{.clock = test::FixedClock({2024, 3, 7, 10, 20, 30})}};
};

TEST_F(LineTest, AnswersRequestsOverThePseudoTerminal) {
  MeterServer server(meter);
  PtyClient client(server.SlavePath());
  ASSERT_TRUE(client.IsOpen()) << server.SlavePath();
  const Arrival current = client.Exchange(ReadFrame(1, 0, 64));
  const auto expected = meter.CurrentValues();
  EXPECT_EQ(RegistersOf(current.bytes), std::vector<uint16_t>(expected.begin(), expected.end()));

  EXPECT_EQ(client.Exchange(WriteFrame(1, 0, Selector(2024, 3, 6, 14, 0, 0))).bytes,
            (Bytes{0x01, 0x10, 0x00, 0x00, 0x00, 0x03, 0x80, 0x08}));
  const auto entry =
      meter.Entry(ArchiveKind::kHourly, ArchiveValueType::kInterval, {2024, 3, 6, 14}).Registers();
  EXPECT_EQ(RegistersOf(client.Exchange(ReadFrame(1, 200, 26)).bytes),
            std::vector<uint16_t>(entry.begin(), entry.end()));
  EXPECT_EQ(client.Exchange(ReadFrame(1, 64, 1)).bytes, ExceptionReply(1, 3, 2));
  EXPECT_TRUE(client.Exchange(ReadFrame(2, 0, 1), 300ms).bytes.empty());
}

TEST_F(LineTest, RequestsAreFramedWithoutWaitingForSilence) {
  MeterServer server(meter, {.pacing = false});
  PtyClient client(server.SlavePath());
  // Two requests in one write: both are answered, in order.
  Bytes both = ReadFrame(1, 400, 2);
  const Bytes second = ReadFrame(1, 56, 2);
  both.insert(both.end(), second.begin(), second.end());
  const Arrival replies = client.Exchange(both);
  Bytes expected = meter.HandleFrame(both.data(), 8);
  const Bytes tail = meter.HandleFrame(second.data(), 8);
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(replies.bytes, expected);
}

TEST_F(LineTest, GarbageEndsAtTheSilenceAndTheNextRequestIsAnswered) {
  MeterServer server(meter, {.pacing = false});
  PtyClient client(server.SlavePath());
  Bytes garbled = ReadFrame(1, 0, 10);
  garbled[7] ^= 0x55;
  EXPECT_TRUE(client.Exchange(garbled, 300ms).bytes.empty());
  EXPECT_EQ(RegistersOf(client.Exchange(ReadFrame(1, 0, 10)).bytes).size(), 10u);
  // An unknown function has no known length: it ends at the silence.
  Bytes unknown{1, 0x2B, 0x0E, 0x01, 0x00};
  AppendCrc(unknown);
  EXPECT_EQ(client.Exchange(unknown).bytes, ExceptionReply(1, 0x2B, 1));
}

TEST_F(LineTest, RepliesArePacedAtTheMastersLineFormat) {
  MeterServer server(meter, {.turnaround = 0ms});
  {
    PtyClient client(server.SlavePath(), B9600);
    const Arrival reply = client.Exchange(ReadFrame(1, 200, 26));
    ASSERT_EQ(reply.bytes.size(), 57u);
    EXPECT_EQ(server.Format(), (LineFormat{9600, false, false}));
    // The request takes its wire time too: at least 7 more bytes after its
    // first one.
    EXPECT_GE(reply.At(0), 0.95 * WireMs(7 + 1, 10, 9600));
    EXPECT_GE(reply.At(56), 0.95 * WireMs(7 + 57, 10, 9600));
    // The bytes come one after the other, not in one piece at the end.
    EXPECT_GE(reply.At(56) - reply.At(0), 0.9 * WireMs(56, 10, 9600));
  }
  {
    PtyClient client(server.SlavePath(), B2400, true, true);
    const Arrival reply = client.Exchange(ReadFrame(1, 56, 8));
    ASSERT_EQ(reply.bytes.size(), 21u);
    EXPECT_EQ(server.Format(), (LineFormat{2400, true, true}));
    EXPECT_GE(reply.At(20), 0.95 * WireMs(7 + 21, 12, 2400));
  }
}

TEST_F(LineTest, UnpacedRepliesLeaveAtOnce) {
  MeterServer server(meter, {.pacing = false});
  PtyClient client(server.SlavePath(), B300);
  const Arrival reply = client.Exchange(ReadFrame(1, 0, 64));
  ASSERT_EQ(reply.bytes.size(), 133u);
  EXPECT_LT(reply.At(132), WireMs(133, 10, 300) / 2);
}

TEST_F(LineTest, TurnaroundAndDelayComeBeforeTheFirstByte) {
  MeterServer server(meter, {.turnaround = 100ms, .pacing = false});
  PtyClient client(server.SlavePath());
  Arrival reply = client.Exchange(ReadFrame(1, 0, 2));
  ASSERT_FALSE(reply.bytes.empty());
  EXPECT_GE(reply.At(0), 95.0);

  meter.SetFaults({{.kind = FaultKind::kDelay, .duration = 300ms}});
  reply = client.Exchange(ReadFrame(1, 0, 2));
  ASSERT_FALSE(reply.bytes.empty());
  EXPECT_GE(reply.At(0), 390.0);
}

TEST_F(LineTest, SplitReplyPausesLongerThanAFrameGap) {
  MeterServer server(meter, {.turnaround = 0ms});
  PtyClient client(server.SlavePath());
  meter.SetFaults({{.kind = FaultKind::kSplitReply, .duration = 80ms}});
  const Arrival reply = client.Exchange(ReadFrame(1, 200, 26));
  ASSERT_EQ(reply.bytes.size(), 57u);
  EXPECT_TRUE(HasValidCrc(reply.bytes.data(), reply.bytes.size()));
  // The reader may wake late for the first half on a busy machine, which
  // shortens the pause it sees; half of it is still ten frame gaps.
  EXPECT_GE(reply.At(28) - reply.At(27), 40.0);
}

TEST_F(LineTest, WireFaultsReachTheMaster) {
  MeterServer server(meter, {.pacing = false});
  PtyClient client(server.SlavePath());
  const Bytes request = ReadFrame(1, 0, 4);
  const Bytes clean = client.Exchange(request).bytes;
  meter.SetFaults({{.kind = FaultKind::kLeadingZero}, {.kind = FaultKind::kTrailingZeros}});
  Bytes expected = clean;
  expected.insert(expected.begin(), 0);
  expected.insert(expected.end(), {0, 0});
  EXPECT_EQ(client.Exchange(request).bytes, expected);
  meter.SetFaults({{.kind = FaultKind::kNoAnswer, .limit = 1}});
  EXPECT_TRUE(client.Exchange(request, 300ms).bytes.empty());
  EXPECT_EQ(client.Exchange(request).bytes, clean);
}

TEST_F(LineTest, LinkPointsAtTheLineUntilStop) {
  const std::string link = ::testing::TempDir() + "flovir-sim-link-" + std::to_string(getpid());
  ASSERT_EQ(::symlink("/nonexistent", link.c_str()), 0) << "a stale link is replaced";
  MeterServer server(meter, {.link = link});
  EXPECT_EQ(std::filesystem::read_symlink(link), server.SlavePath());
  PtyClient client(link);
  EXPECT_EQ(RegistersOf(client.Exchange(ReadFrame(1, 0, 2)).bytes).size(), 2u);
  server.Stop();
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST_F(LineTest, LinkOverARegularFileIsRefused) {
  const std::string path = ::testing::TempDir() + "flovir-sim-file-" + std::to_string(getpid());
  { std::ofstream(path) << "keep me"; }
  EXPECT_THROW({ MeterServer server(meter, ServerOptions{.link = path}); }, std::system_error);
  EXPECT_TRUE(std::filesystem::is_regular_file(path));
  std::filesystem::remove(path);
}

TEST_F(LineTest, StoppedServerLeavesTheMastersPortVanished) {
  auto server = std::make_unique<MeterServer>(meter);
  PtyClient client(server->SlavePath());
  ASSERT_FALSE(client.Exchange(ReadFrame(1, 0, 2)).bytes.empty());
  // A reply delayed for long does not hold Stop up.
  meter.SetFaults({{.kind = FaultKind::kDelay, .duration = 60s}});
  client.Write(ReadFrame(1, 0, 2));
  std::this_thread::sleep_for(50ms);
  const auto before = test::SteadyClock::now();
  server->Stop();
  EXPECT_LT(test::SteadyClock::now() - before, 30s);
  Arrival after;
  after.sent = test::SteadyClock::now();
  client.Collect(after, 1000ms, 100ms);
  EXPECT_TRUE(after.bytes.empty());
  EXPECT_NE(after.error, 0) << "the read fails instead of waiting";
  server.reset();
}

// A device of another kind behind the server, as a modem in front of the
// meter will be: it sees the bytes, the ticks and the line format.
class EchoDevice : public LineDevice {
 public:
  // Echoes a line when its carriage return arrives, followed by the baud
  // rate in units of 1200.
  void Received(std::span<const uint8_t> bytes, Line& line) override {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    if (pending_.back() != '\r') return;
    pending_.push_back(static_cast<uint8_t>(line.Format().baud / 1200));
    line.Send(pending_);
    pending_.clear();
  }
  void Tick(Line&) override { ++ticks; }
  std::atomic<int> ticks{0};

 private:
  Bytes pending_;
};

TEST(LineDeviceTest, ServerCarriesAnyDevice) {
  EchoDevice device;
  MeterServer server(device);
  PtyClient client(server.SlavePath(), B19200);
  EXPECT_EQ(client.Exchange({'A', 'T', '\r'}).bytes, (Bytes{'A', 'T', '\r', 16}));
  std::this_thread::sleep_for(100ms);
  EXPECT_GT(device.ticks.load(), 0);
}

}  // namespace
}  // namespace flovir::sim
