// The Modbus master over a real pseudo-terminal against a scripted slave:
// framing, tries, zero stripping, validation order and the data area.

#include <gtest/gtest.h>

#include "tests/link/link_fixture.h"

namespace flovir::test {
namespace {

constexpr uint8_t kRead = 3;
constexpr uint8_t kWrite = 16;

uint16_t DataWord(const std::vector<uint8_t>& data, size_t k) {
  return static_cast<uint16_t>(data[2 * k] | data[2 * k + 1] << 8);
}

// The peer answers the first read with this reply and stays silent after.
ScriptedPeer::Responder Answer(Bytes reply) {
  return [reply](const Bytes&) { return PeerReply{reply}; };
}

TEST(ExchangeThreadRead, ReadsRegistersInDataAreaOrderAndTracesBothFrames) {
  RegisterPeer registers(100);
  PtyLink link(std::ref(registers));
  std::vector<uint8_t> data(20, 0xEE);
  EXPECT_EQ(link.Run(kRead, 0, 10, data.data()), ExchangeStatus::Success);
  for (size_t k = 0; k < 10; ++k) EXPECT_EQ(DataWord(data, k), k * 3 + 1);
  EXPECT_EQ(link.request().DataCursor, data.data() + 20);
  const auto lines = link.TraceLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "out: 0x01 0x03 0x00 0x00 0x00 0x0A 0xC5 0xCD (8 байт)");
  EXPECT_TRUE(lines[1].starts_with("in:  0x01 0x03 0x14 0x00 0x01 0x00 0x04 "));
  EXPECT_TRUE(lines[1].ends_with("(25 байт)"));
}

struct ReplyCase {
  const char* name;
  Bytes reply;
  ExchangeStatus status;
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
  *os << c.name;
}

class ReplyValidation : public testing::TestWithParam<ReplyCase> {};

// Read of 2 registers from slave 1: expected reply 9 bytes.
TEST_P(ReplyValidation, GivesTheStatusOfTheFirstFailingCheck) {
  PtyLink link(Answer(GetParam().reply), 300);
  std::vector<uint8_t> data(4, 0xEE);
  EXPECT_EQ(link.Run(kRead, 0, 2, data.data(), 64, 1), GetParam().status);
  if (GetParam().status == ExchangeStatus::Success) {
    EXPECT_EQ(DataWord(data, 0), 0x1234);
    EXPECT_EQ(DataWord(data, 1), 0x5678);
  } else {
    EXPECT_EQ(data, std::vector<uint8_t>(4, 0xEE)) << "a failed frame leaves the data area alone";
    EXPECT_EQ(link.request().DataCursor, data.data());
  }
}

const Bytes kGood = ReadReply(1, {0x1234, 0x5678});

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyValidation,
    testing::Values(
        ReplyCase{"Plain", kGood, ExchangeStatus::Success},
        ReplyCase{"LeadingZeros", Concat({0, 0}, kGood), ExchangeStatus::Success},
        ReplyCase{"TrailingZeros", Concat(kGood, {0, 0, 0}), ExchangeStatus::Success},
        ReplyCase{"OtherFunctionByte", WithCrc({1, 4, 4, 0x12, 0x34, 0x56, 0x78}),
                  ExchangeStatus::UnsupportedFunction},
        ReplyCase{"OtherByteCount", WithCrc({1, 3, 6, 0x12, 0x34, 0x56, 0x78}),
                  ExchangeStatus::DataLost},
        ReplyCase{"ExceptionOfAnotherFunction", WithCrc({1, 0x90, 0x02}),
                  ExchangeStatus::UnsupportedFunction},
        ReplyCase{"Exception2", {0x01, 0x83, 0x02, 0xC0, 0xF1}, ExchangeStatus::IllegalDataAddress},
        ReplyCase{"ExceptionAfterZero",
                  {0x00, 0x01, 0x83, 0x02, 0xC0, 0xF1},
                  ExchangeStatus::IllegalDataAddress},
        ReplyCase{"SixByteException", WithCrc({1, 0x83, 2, 0}), ExchangeStatus::DataLost},
        ReplyCase{"GatewayTargetFailed", WithCrc({1, 0x83, 0x0B}),
                  ExchangeStatus::RemoteNotAnswering},
        ReplyCase{"UnknownExceptionCode", WithCrc({1, 0x83, 0x0C}),
                  ExchangeStatus::RemoteExchangeError},
        ReplyCase{"ExceptionCodeZero", WithCrc({1, 0x83, 0x00}),
                  ExchangeStatus::RemoteExchangeError},
        ReplyCase{"ExceptionCodeNine", WithCrc({1, 0x83, 0x09}),
                  ExchangeStatus::RemoteExchangeError},
        ReplyCase{"OtherAddress", ReadReply(2, {0x1234, 0x5678}), ExchangeStatus::WrongAddress},
        ReplyCase{"BadCrc", Concat(Bytes(kGood.begin(), kGood.end() - 1), {0}),
                  ExchangeStatus::BadCrc},
        ReplyCase{"TooShort", WithCrc({1, 3, 2, 0x12, 0x34}), ExchangeStatus::DataLost},
        ReplyCase{"OneByte", {0x01}, ExchangeStatus::BadCrc},
        ReplyCase{"TwoBytesThatLookLikeACrc", {0xFF, 0xFF}, ExchangeStatus::BadCrc},
        ReplyCase{"OnlyZeros", {0, 0, 0}, ExchangeStatus::Timeout}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExchangeThreadTries, OtherAddressFailsOnEveryTry) {
  PtyLink link(Answer(ReadReply(2, {7})), 300);
  uint8_t data[2];
  EXPECT_EQ(link.Run(kRead, 0, 1, data), ExchangeStatus::WrongAddress);
  EXPECT_EQ(link.peer().RequestCount(), 3u);
}

TEST(ExchangeThreadTries, SilenceGivesThreeEmptyTriesAndTimeout) {
  PtyLink link([](const Bytes&) { return PeerReply{}; }, 150);
  uint8_t data[2];
  EXPECT_EQ(link.Run(kRead, 0, 1, data), ExchangeStatus::Timeout);
  const auto lines = link.TraceLines();
  ASSERT_EQ(lines.size(), 6u);
  for (size_t i = 0; i < 6; i += 2) {
    EXPECT_EQ(lines[i], "out: 0x01 0x03 0x00 0x00 0x00 0x01 0x84 0x0A (8 байт)");
    EXPECT_EQ(lines[i + 1], "in:  (0 байт)");
  }
}

TEST(ExchangeThreadTries, StopRequestedTriesAFailingFrameOnce) {
  PtyLink link([](const Bytes&) { return PeerReply{}; }, 150);
  uint8_t data[2];
  link.request().StopRequested = true;
  EXPECT_EQ(link.Run(kRead, 0, 1, data, 64, 5), ExchangeStatus::Timeout);
  EXPECT_EQ(link.peer().RequestCount(), 1u);
}

TEST(ExchangeThreadTries, ALaterTrySucceeds) {
  int calls = 0;
  PtyLink link(
      [&calls](const Bytes&) { return ++calls < 3 ? PeerReply{} : PeerReply{ReadReply(1, {9})}; },
      150);
  std::vector<uint8_t> data(2);
  EXPECT_EQ(link.Run(kRead, 0, 1, data.data()), ExchangeStatus::Success);
  EXPECT_EQ(DataWord(data, 0), 9);
}

// A gap far above the 50 ms interval, so the cut never depends on timing.
TEST(ExchangeThreadTries, ReplySplitByAGapIsCutAtTheGap) {
  const Bytes reply = ReadReply(1, {1, 2, 3, 4});
  PtyLink link([&](const Bytes&) { return PeerReply{reply, 6, 300}; }, 2000);
  std::vector<uint8_t> data(8);
  EXPECT_EQ(link.Run(kRead, 0, 4, data.data(), 64, 1), ExchangeStatus::BadCrc);
  EXPECT_EQ(link.TraceLines()[1], "in:  " + HexDump(reply.data(), 6));
}

TEST(ExchangeThreadWrite, SendsTheFrameAsBuiltAndAcceptsTheEcho) {
  RegisterPeer registers(10);
  PtyLink link(std::ref(registers));
  std::vector<uint8_t> data = {0x02, 0x01, 0x04, 0x03, 0x06, 0x05};  // 0x0102 0x0304 0x0506
  EXPECT_EQ(link.Run(kWrite, 0, 3, data.data()), ExchangeStatus::Success);
  const Bytes expected = {0x01, 0x10, 0x00, 0x00, 0x00, 0x03, 0x06, 0x01,
                          0x02, 0x03, 0x04, 0x05, 0x06, 0x5C, 0x46};
  ASSERT_EQ(link.peer().Requests().size(), 1u);
  EXPECT_EQ(link.peer().Requests()[0], expected);
  EXPECT_EQ(link.request().DataCursor, data.data() + 6);
  EXPECT_EQ(registers.Value(1), 0x0304);
}

TEST(ExchangeThreadWrite, FailedTriesResendTheSameFrame) {
  PtyLink link([](const Bytes&) { return PeerReply{}; }, 150);
  std::vector<uint8_t> data = {1, 2, 3, 4};
  EXPECT_EQ(link.Run(kWrite, 7, 2, data.data()), ExchangeStatus::Timeout);
  const auto requests = link.peer().Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], requests[2]);
  EXPECT_EQ(link.request().DataCursor, data.data() + 4) << "moved past the failed frame's data";
}

TEST(ExchangeThreadRequest, NothingToSend) {
  RegisterPeer registers(10);
  PtyLink link(std::ref(registers));
  uint8_t data[2] = {};
  EXPECT_EQ(link.Run(kRead, 0, 0, data), ExchangeStatus::Success);
  EXPECT_EQ(link.Run(kRead, 0, 5, data, 64, 0), ExchangeStatus::ZeroAttemptsOrChunk);
  EXPECT_EQ(link.Run(kRead, 0, 5, data, 0, 3), ExchangeStatus::ZeroAttemptsOrChunk);
  EXPECT_EQ(link.Run(kRead, 0, 0, data, 0, 3), ExchangeStatus::ZeroAttemptsOrChunk);
  EXPECT_EQ(link.Run(5, 0, 1, data), ExchangeStatus::UnsupportedFunction);
  EXPECT_EQ(link.Run(4, 0, 1, data), ExchangeStatus::UnsupportedFunction);
  EXPECT_EQ(link.request().DataCursor, data);
  EXPECT_TRUE(link.TraceLines().empty());
  EXPECT_EQ(link.peer().RequestCount(), 0u);
}

struct Frame {
  uint16_t start;
  uint16_t count;
  bool operator==(const Frame&) const = default;
};

std::vector<Frame> FramesSent(PtyLink& link) {
  std::vector<Frame> frames;
  for (const Bytes& r : link.peer().Requests()) frames.push_back({Word(r, 2), Word(r, 4)});
  return frames;
}

TEST(ExchangeThreadSplit, TwoHundredRegistersGoInFramesOf64) {
  RegisterPeer registers(300);
  PtyLink link(std::ref(registers));
  std::vector<uint8_t> data(400);
  EXPECT_EQ(link.Run(kRead, 0, 200, data.data()), ExchangeStatus::Success);
  EXPECT_EQ(FramesSent(link), (std::vector<Frame>{{0, 64}, {64, 64}, {128, 64}, {192, 8}}));
  for (size_t k = 0; k < 200; ++k) ASSERT_EQ(DataWord(data, k), k * 3 + 1) << k;
  EXPECT_EQ(link.request().DataCursor, data.data() + 400);
}

TEST(ExchangeThreadSplit, FailureInTheThirdFrameKeepsTheFirstTwo) {
  RegisterPeer registers(150);  // registers 128 and up answer exception 2
  PtyLink link(std::ref(registers));
  std::vector<uint8_t> data(400);
  EXPECT_EQ(link.Run(kRead, 0, 200, data.data()), ExchangeStatus::IllegalDataAddress);
  // An exception reply is a failed try like any other: tried three times.
  EXPECT_EQ(FramesSent(link),
            (std::vector<Frame>{{0, 64}, {64, 64}, {128, 64}, {128, 64}, {128, 64}}));
  EXPECT_EQ(link.request().DataCursor, data.data() + 256);
  EXPECT_EQ(DataWord(data, 127), 127 * 3 + 1);
}

TEST(ExchangeThreadSplit, WriteFailureInTheThirdFrameHasMovedPastIt) {
  RegisterPeer registers(150);
  PtyLink link(std::ref(registers));
  std::vector<uint8_t> data(400);
  EXPECT_EQ(link.Run(kWrite, 0, 200, data.data()), ExchangeStatus::IllegalDataAddress);
  EXPECT_EQ(link.request().DataCursor, data.data() + 384);
}

TEST(ExchangeThreadSplit, OversizedChunksAreLimitedToWhatAFrameCarries) {
  RegisterPeer registers(400);
  PtyLink link(std::ref(registers));
  std::vector<uint8_t> data(600);
  EXPECT_EQ(link.Run(kRead, 0, 300, data.data(), 200), ExchangeStatus::Success);
  EXPECT_EQ(FramesSent(link), (std::vector<Frame>{{0, 125}, {125, 125}, {250, 50}}));
  EXPECT_EQ(link.Run(kWrite, 0, 300, data.data(), 255), ExchangeStatus::Success);
  const auto frames = FramesSent(link);
  EXPECT_EQ(std::vector<Frame>(frames.begin() + 3, frames.end()),
            (std::vector<Frame>{{0, 123}, {123, 123}, {246, 54}}));
}

TEST(ExchangeThreadEarlyEnd, BothModesReadTheSameReplies) {
  for (bool early : {true, false}) {
    RegisterPeer registers(100);
    PtyLink link([&](const Bytes& r) {
      PeerReply reply = registers(r);
      reply.bytes.insert(reply.bytes.end(), {0, 0});  // zeros that a converter adds
      return reply;
    });
    link.thread().SetEarlyFrameEnd(early);
    std::vector<uint8_t> data(40);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(link.Run(kRead, 10, 20, data.data(), 7), ExchangeStatus::Success) << early;
      EXPECT_EQ(DataWord(data, 19), 29 * 3 + 1);
    }
  }
}

// Stop while a try waits for a silent meter: closing the port ends the read
// at once, no further try starts, and the handler is not called.
TEST(ExchangeThreadStop, ClosingThePortAndTerminatingEndAWaitingRequest) {
  PtyLink link([](const Bytes&) { return PeerReply{}; }, 60000);
  std::vector<uint8_t> data(2);
  link.request().SlaveAddress = 1;
  link.request().FunctionCode = kRead;
  link.request().StartRegister = 0;
  link.request().RegisterCount = 1;
  link.request().ChunkSize = 64;
  link.request().Attempts = 3;
  link.request().DataCursor = data.data();
  link.thread().Wake();
  while (link.peer().RequestCount() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(link.port().Close());
  link.thread().Terminate();
  link.executor().ProcessPendingEvents();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(link.peer().RequestCount(), 1u);
  EXPECT_FALSE(link.Completed()) << "no handler after the stop";
  EXPECT_EQ(link.TraceLines().back(), "in:  (0 байт)");
}

}  // namespace
}  // namespace flovir::test
