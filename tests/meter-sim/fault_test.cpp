// Faults on request: what each does to a reply, how often it strikes, and
// the text form the program's --fault option takes.

#include <gtest/gtest.h>

#include "tests/meter-sim/test_frames.h"
#include "tools/meter-sim/fault_option.h"

namespace flovir::sim {
namespace {

using test::ReadFrame;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

class FaultTest : public ::testing::Test {
 protected:
  Reply Ask() { return meter.Answer(request.data(), request.size()); }

  SimulatedMeter meter;
  const Bytes request = ReadFrame(1, 400, 4);
  const Bytes clean = meter.HandleFrame(request.data(), request.size());
};

TEST_F(FaultTest, EachFaultChangesTheReplyAsNamed) {
  ASSERT_EQ(clean.size(), 13u);

  meter.SetFaults({{.kind = FaultKind::kLeadingZero}});
  Bytes expected = clean;
  expected.insert(expected.begin(), 0);
  EXPECT_EQ(Ask().bytes, expected);

  meter.SetFaults({{.kind = FaultKind::kTrailingZeros, .count = 3}});
  expected = clean;
  expected.insert(expected.end(), 3, 0);
  EXPECT_EQ(Ask().bytes, expected);

  meter.SetFaults({{.kind = FaultKind::kBadCrc}});
  Bytes reply = Ask().bytes;
  EXPECT_EQ(Bytes(reply.begin(), reply.end() - 2), Bytes(clean.begin(), clean.end() - 2));
  EXPECT_FALSE(HasValidCrc(reply.data(), reply.size()));

  meter.SetFaults({{.kind = FaultKind::kOtherAddress}});
  reply = Ask().bytes;
  EXPECT_EQ(reply[0], 2);
  EXPECT_TRUE(HasValidCrc(reply.data(), reply.size()));
  EXPECT_EQ(Bytes(reply.begin() + 1, reply.end() - 2), Bytes(clean.begin() + 1, clean.end() - 2));

  meter.SetFaults({{.kind = FaultKind::kException, .count = 4}});
  EXPECT_EQ(Ask().bytes, ExceptionReply(1, 3, 4));
  meter.SetFaults({{.kind = FaultKind::kException, .count = 0x0B}});
  EXPECT_EQ(Ask().bytes, ExceptionReply(1, 3, 0x0B));

  meter.SetFaults({{.kind = FaultKind::kNoAnswer}});
  EXPECT_TRUE(Ask().bytes.empty());

  meter.SetFaults({{.kind = FaultKind::kSplitReply, .duration = 70ms}});
  Reply split = Ask();
  EXPECT_EQ(split.bytes, clean);
  EXPECT_EQ(split.split_at, 6u);
  EXPECT_EQ(split.gap, 70ms);

  meter.SetFaults({{.kind = FaultKind::kDelay, .duration = 300ms}});
  EXPECT_EQ(Ask().delay, 300ms);

  // A read of input registers, of the reply's length, before the reply.
  meter.SetFaults({{.kind = FaultKind::kStray, .duration = 40ms}});
  Reply stray = Ask();
  EXPECT_EQ(stray.bytes, clean);
  ASSERT_EQ(stray.stray.size(), clean.size());
  EXPECT_EQ(stray.stray[1], 4);
  EXPECT_TRUE(HasValidCrc(stray.stray.data(), stray.stray.size()));
  EXPECT_EQ(stray.stray_gap, 40ms);

  meter.SetFaults({{.kind = FaultKind::kTwice, .duration = 0ms}});
  Reply twice = Ask();
  EXPECT_EQ(twice.bytes, clean);
  EXPECT_TRUE(twice.twice);

  // A stray echo answers a write to the registers after these.
  meter.SetFaults({{.kind = FaultKind::kStray}});
  const Bytes write = test::WriteFrame(1, 500, {1, 2});
  const Reply echo = meter.Answer(write.data(), write.size());
  ASSERT_EQ(echo.stray.size(), 8u);
  EXPECT_EQ(echo.stray[3], echo.bytes[3] + 2);

  meter.SetFaults({});
  const Reply plain = Ask();
  EXPECT_EQ(plain.bytes, clean);
  EXPECT_EQ(plain.split_at, 0u);
  EXPECT_EQ(plain.delay, 0ms);
}

TEST_F(FaultTest, EveryNthReplyAndALimit) {
  meter.SetFaults({{.kind = FaultKind::kNoAnswer, .every = 3}});
  std::string pattern;
  for (int i = 0; i < 7; ++i) pattern += Ask().bytes.empty() ? 'x' : '.';
  EXPECT_EQ(pattern, "..x..x.");

  meter.SetFaults({{.kind = FaultKind::kNoAnswer, .limit = 2}});
  pattern.clear();
  for (int i = 0; i < 4; ++i) pattern += Ask().bytes.empty() ? 'x' : '.';
  EXPECT_EQ(pattern, "xx..") << "two failed tries, then the meter answers";

  // Frames the meter does not answer are no replies and do not count.
  meter.SetFaults({{.kind = FaultKind::kBadCrc, .every = 2}});
  const Bytes other = ReadFrame(2, 400, 4);
  EXPECT_TRUE(HasValidCrc(Ask().bytes.data(), 13));
  EXPECT_TRUE(meter.HandleFrame(other.data(), other.size()).empty());
  EXPECT_FALSE(HasValidCrc(Ask().bytes.data(), 13));
}

TEST_F(FaultTest, FaultsCombineInAFixedOrder) {
  // Given in any order, the exception is made first, then framed with zeros
  // and given a bad CRC.
  meter.SetFaults({{.kind = FaultKind::kLeadingZero},
                   {.kind = FaultKind::kBadCrc},
                   {.kind = FaultKind::kException, .count = 2}});
  Bytes expected = ExceptionReply(1, 3, 2);
  expected[3] ^= 0xFF;
  expected.insert(expected.begin(), 0);
  EXPECT_EQ(Ask().bytes, expected);
}

TEST(FaultOptionTest, ParsesTheProgramsFaultOption) {
  std::string error;
  auto plan = ParseFaultOption("exception=11/3*2", error);
  ASSERT_TRUE(plan) << error;
  EXPECT_EQ(plan->kind, FaultKind::kException);
  EXPECT_EQ(plan->count, 11u);
  EXPECT_EQ(plan->every, 3u);
  EXPECT_EQ(plan->limit, 2u);

  plan = ParseFaultOption("split", error);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->kind, FaultKind::kSplitReply);
  EXPECT_EQ(plan->duration, 80ms);
  EXPECT_EQ(plan->every, 1u);
  EXPECT_EQ(plan->limit, 0u);

  plan = ParseFaultOption("delay=1500", error);
  ASSERT_TRUE(plan);
  EXPECT_EQ(plan->duration, 1500ms);
  EXPECT_EQ(ParseFaultOption("trailing-zeros=4", error)->count, 4u);
  EXPECT_EQ(ParseFaultOption("no-answer/2", error)->every, 2u);
  plan = ParseFaultOption("late=700/20", error);
  ASSERT_TRUE(plan) << error;
  EXPECT_EQ(plan->kind, FaultKind::kDelay);
  EXPECT_EQ(plan->duration, 700ms);
  EXPECT_EQ(ParseFaultOption("stray", error)->kind, FaultKind::kStray);
  EXPECT_EQ(ParseFaultOption("twice=0", error)->duration, 0ms);
  plan = ParseFaultOption("store-other=415", error);
  ASSERT_TRUE(plan) << error;
  EXPECT_EQ(plan->kind, FaultKind::kStoreOther);
  EXPECT_EQ(plan->count, 415u);
  plan = ParseFaultOption("cut+11", error);
  ASSERT_TRUE(plan) << error;
  EXPECT_EQ(plan->kind, FaultKind::kCut);
  EXPECT_EQ(plan->after, 11u);
}

TEST(FaultOptionTest, RejectsMalformedFaultsWithAReason) {
  for (const char* text : {"", "crc", "exception", "exception=0", "exception=256", "exception=x",
                           "delay", "delay=-5", "bad-crc=3", "no-answer/0", "late", "split=80*",
                           "leading-zero/2x", "store-other", "cut+x"}) {
    std::string error;
    EXPECT_FALSE(ParseFaultOption(text, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

}  // namespace
}  // namespace flovir::sim
