// Our master against the simulated meter on a pseudo-terminal, with the
// faults of real lines played by the meter.

#include <gtest/gtest.h>

#include "tests/link/link_fixture.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"

namespace flovir::test {
namespace {

using sim::FaultKind;
using sim::FaultPlan;
using namespace std::chrono_literals;

class SimulatedMeterLine : public testing::Test {
 protected:
  sim::ServerOptions Unpaced() {
    sim::ServerOptions options;
    options.pacing = false;
    options.turnaround = std::chrono::milliseconds(1);
    return options;
  }
  ExchangeStatus ReadCurrent(uint8_t attempts = 3) {
    return link.Run(3, 0, 64, data.data(), 64, attempts);
  }
  sim::SimulatedMeter meter;
  sim::MeterServer server{meter, Unpaced()};
  PathLink link{server.SlavePath(), 400};
  std::vector<uint8_t> data = std::vector<uint8_t>(1024);
};

TEST_F(SimulatedMeterLine, ZeroBytesAroundTheReplyAreAccepted) {
  meter.SetFaults({FaultPlan{FaultKind::kLeadingZero}});
  EXPECT_EQ(ReadCurrent(1), ExchangeStatus::Success);
  EXPECT_TRUE(link.TraceLines()[1].starts_with("in:  0x00 0x01 0x03 0x80 "));
  for (bool early : {true, false}) {
    link.thread().SetEarlyFrameEnd(early);
    meter.SetFaults({FaultPlan{.kind = FaultKind::kTrailingZeros, .count = 3}});
    EXPECT_EQ(ReadCurrent(1), ExchangeStatus::Success);
    EXPECT_EQ(ReadCurrent(1), ExchangeStatus::Success) << "the zeros left on the line are purged";
  }
}

TEST_F(SimulatedMeterLine, ExceptionReplyOutsideTheBlocks) {
  EXPECT_EQ(link.Run(3, 100, 1, data.data(), 64, 1), ExchangeStatus::IllegalDataAddress);
  EXPECT_EQ(link.TraceLines()[1], "in:  0x01 0x83 0x02 0xC0 0xF1 (5 байт)");
  meter.SetFaults({FaultPlan{.kind = FaultKind::kException, .count = 0x0B}});
  EXPECT_EQ(ReadCurrent(1), ExchangeStatus::RemoteNotAnswering);
  meter.SetFaults({FaultPlan{.kind = FaultKind::kException, .count = 0x20}});
  EXPECT_EQ(ReadCurrent(1), ExchangeStatus::RemoteExchangeError);
}

TEST_F(SimulatedMeterLine, AnotherAddressOnEveryTry) {
  meter.SetFaults({FaultPlan{FaultKind::kOtherAddress}});
  meter.ClearReceivedFrames();
  EXPECT_EQ(ReadCurrent(), ExchangeStatus::WrongAddress);
  EXPECT_EQ(meter.ReceivedFrames().size(), 3u);
}

TEST_F(SimulatedMeterLine, SilenceGivesThreeEmptyTries) {
  meter.SetFaults({FaultPlan{FaultKind::kNoAnswer}});
  EXPECT_EQ(ReadCurrent(), ExchangeStatus::Timeout);
  const auto lines = link.TraceLines();
  ASSERT_EQ(lines.size(), 6u);
  for (size_t i = 1; i < 6; i += 2) EXPECT_EQ(lines[i], "in:  (0 байт)");
}

TEST_F(SimulatedMeterLine, StopRequestedGivesUpAfterOneTry) {
  meter.SetFaults({FaultPlan{FaultKind::kBadCrc}});
  meter.ClearReceivedFrames();
  link.request().StopRequested = true;
  EXPECT_EQ(ReadCurrent(), ExchangeStatus::BadCrc);
  EXPECT_EQ(meter.ReceivedFrames().size(), 1u);
  link.request().StopRequested = false;
}

TEST_F(SimulatedMeterLine, ASplitReplyIsCutAtTheGap) {
  meter.SetFaults({FaultPlan{.kind = FaultKind::kSplitReply, .duration = 300ms}});
  EXPECT_EQ(ReadCurrent(1), ExchangeStatus::BadCrc);
  EXPECT_TRUE(link.TraceLines()[1].ends_with("(66 байт)")) << link.TraceLines()[1];
}

TEST_F(SimulatedMeterLine, EveryOtherReplyFailsAndTheRetriesCarryTheRequest) {
  meter.SetFaults({FaultPlan{.kind = FaultKind::kBadCrc, .every = 2}});
  EXPECT_EQ(link.Run(3, 400, 512, data.data(), 64), ExchangeStatus::Success);
  const auto block = meter.ParameterRegisters();
  for (size_t k = 0; k < 512; ++k) ASSERT_EQ(data[2 * k] | data[2 * k + 1] << 8, block[k]);
}

TEST_F(SimulatedMeterLine, ADelayedReplyWithinTheTimeoutIsAccepted) {
  meter.SetFaults({FaultPlan{.kind = FaultKind::kDelay, .duration = 150ms}});
  EXPECT_EQ(ReadCurrent(1), ExchangeStatus::Success);
}

}  // namespace
}  // namespace flovir::test
