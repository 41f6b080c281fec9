// Replies that come after the answer timeout, twice, or from another
// request, on a line where a multi-frame read asks for frames of one size:
// the link must never take one of them for a later request's reply. The
// peer is a scripted slave on a real pseudo-terminal: it answers its
// requests one after another, so a late reply delays the answer to the retry
// that came meanwhile.

#include <gtest/gtest.h>

#include <thread>

#include "tests/link/link_fixture.h"

namespace flovir::test {
namespace {

constexpr uint8_t kRead = 3;
constexpr uint8_t kWrite = 16;
constexpr uint32_t kTimeoutMs = 300;
constexpr uint16_t kRegisters = 512;

// The registers' values as the data area holds them after an exact read.
std::vector<uint8_t> ExactTable() {
  std::vector<uint8_t> data;
  for (uint16_t r = 0; r < kRegisters; ++r) {
    const uint16_t v = static_cast<uint16_t>(r * 3 + 1);
    data.push_back(static_cast<uint8_t>(v & 0xFF));
    data.push_back(static_cast<uint8_t>(v >> 8));
  }
  return data;
}

// What the peer does to the reply of its `nth` request (counting from 1):
// sends it 1.5 answer timeouts late, sends first a stray frame of the same
// length that answers another request (a read of input registers), or sends
// it twice.
enum class Fault { Late, Stray, Twice };

struct Case {
  uint8_t chunk;
  int nth;
  Fault fault;
};

void PrintTo(const Case& c, std::ostream* os) {
  const char* names[] = {"late", "stray", "twice"};
  *os << names[static_cast<int>(c.fault)] << " reply " << c.nth << ", chunk "
      << static_cast<int>(c.chunk);
}

class OneBadReply : public testing::TestWithParam<Case> {};

TEST_P(OneBadReply, GivesTheExactTableOrAFailureNeverShiftedValues) {
  const Case c = GetParam();
  RegisterPeer registers(kRegisters);
  int seen = 0;
  PtyLink link(
      [&](const Bytes& request) {
        // A meter's turnaround: the answer to a retry that waited behind a
        // late reply comes after the master has taken the late one.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PeerReply reply = registers(request);
        if (++seen != c.nth) return reply;
        if (c.fault == Fault::Late) {
          std::this_thread::sleep_for(std::chrono::milliseconds(kTimeoutMs * 3 / 2));
          return reply;
        }
        const size_t length = reply.bytes.size();
        if (c.fault == Fault::Twice) {
          reply.bytes.insert(reply.bytes.end(), reply.bytes.begin(), reply.bytes.end());
          reply.split_at = length;
          reply.gap_ms = 30;
          return reply;
        }
        Bytes stray = reply.bytes;
        stray[1] = 4;
        stray.resize(stray.size() - 2);
        stray = WithCrc(stray);
        reply.split_at = stray.size();
        reply.gap_ms = 20;
        reply.bytes.insert(reply.bytes.begin(), stray.begin(), stray.end());
        return reply;
      },
      kTimeoutMs);
  std::vector<uint8_t> data(2 * kRegisters, 0xEE);
  const ExchangeStatus status = link.Run(kRead, 0, kRegisters, data.data(), c.chunk);
  if (c.fault == Fault::Late) {
    EXPECT_EQ(status, ExchangeStatus::Success) << "the retry answers";
  }
  if (status == ExchangeStatus::Success) {
    EXPECT_EQ(data, ExactTable()) << "success with other values than the peer's";
  }
  // The line is clean for the next request.
  std::vector<uint8_t> again(2 * kRegisters, 0xEE);
  EXPECT_EQ(link.Run(kRead, 0, kRegisters, again.data(), c.chunk), ExchangeStatus::Success);
  EXPECT_EQ(again, ExactTable());
}

INSTANTIATE_TEST_SUITE_P(SameSizeFrames, OneBadReply,
                         testing::Values(Case{64, 3, Fault::Late}, Case{64, 8, Fault::Late},
                                         Case{16, 5, Fault::Late}, Case{125, 1, Fault::Late},
                                         Case{64, 4, Fault::Stray}, Case{64, 2, Fault::Twice},
                                         Case{16, 32, Fault::Twice}));

// A write's echo must repeat its function, start and count (a read's
// function and byte count: see ReplyValidation).
TEST(ReplyMatching, AnotherFunctionOrEchoIsAFailedTry) {
  struct {
    uint8_t function;
    Bytes reply;
    ExchangeStatus status;
  } cases[] = {
      {kWrite, WithCrc({1, 16, 0, 1, 0, 2}), ExchangeStatus::DataLost},
      {kWrite, WithCrc({1, 16, 0, 0, 0, 3}), ExchangeStatus::DataLost},
      {kWrite, WithCrc({1, 6, 0, 0, 0, 2}), ExchangeStatus::UnsupportedFunction},
  };
  for (const auto& c : cases) {
    PtyLink link([&](const Bytes&) { return PeerReply{c.reply}; }, kTimeoutMs);
    std::vector<uint8_t> data(4, 0);
    EXPECT_EQ(link.Run(c.function, 0, 2, data.data(), 64, 2), c.status);
    EXPECT_EQ(link.peer().RequestCount(), 2u) << "a mismatch is retried";
  }
}

}  // namespace
}  // namespace flovir::test
