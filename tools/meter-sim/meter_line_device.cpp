#include "tools/meter-sim/meter_server.h"

#include <algorithm>

#include "tools/meter-sim/modbus_frame.h"

namespace flovir::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kPendingLimit = 512;  // more than any request; older bytes are dropped

// The length of the complete request at the front of the bytes, or 0 while
// it is incomplete or its CRC is not right. Only functions 3 and 16 have a
// length the meter can know in advance.
size_t CompleteRequestLength(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 2) return 0;
  size_t length = 0;
  if (bytes[1] == kReadHolding) {
    length = 8;
  } else if (bytes[1] == kWriteMultiple && bytes.size() >= 7) {
    length = 9 + size_t{bytes[6]};
  }
  if (length == 0 || bytes.size() < length) return 0;
  return HasValidCrc(bytes.data(), length) ? length : 0;
}

}  // namespace

MeterLineDevice::MeterLineDevice(SimulatedMeter& meter, std::chrono::milliseconds turnaround)
    : meter_(meter), turnaround_(turnaround) {}

void MeterLineDevice::Received(std::span<const uint8_t> bytes, Line& line) {
  const auto now = Clock::now();
  if (!pending_.empty() && now - last_byte_ >= kFrameSilence) AnswerFrame(pending_.size(), line);
  if (pending_.empty()) first_byte_ = now;
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  if (pending_.size() > kPendingLimit) {
    pending_.erase(pending_.begin(), pending_.end() - kPendingLimit);
  }
  last_byte_ = now;
  while (size_t length = CompleteRequestLength(pending_)) AnswerFrame(length, line);
}

void MeterLineDevice::Tick(Line& line) {
  if (!pending_.empty() && Clock::now() - last_byte_ >= kFrameSilence) {
    AnswerFrame(pending_.size(), line);
  }
}

void MeterLineDevice::AnswerFrame(size_t length, Line& line) {
  const std::vector<uint8_t> frame(pending_.begin(), pending_.begin() + length);
  pending_.erase(pending_.begin(), pending_.begin() + length);
  const Reply reply = meter_.Answer(frame.data(), frame.size());
  // The pseudo-terminal hands each byte over as if its last bit had just
  // arrived: a frame cannot end before its first byte plus the wire time of
  // the others. A master whose bytes come paced has spent that time already.
  const auto received = first_byte_ + line.CharacterTime() * static_cast<int64_t>(length - 1);
  first_byte_ = Clock::now();  // whatever still pends arrived during this frame
  if (reply.bytes.empty()) return;
  const auto wire_left = std::max<std::chrono::nanoseconds>(received - Clock::now(), {});
  line.Wait(wire_left + turnaround_ + reply.delay);
  if (!reply.stray.empty()) {
    line.Send(reply.stray);
    line.Wait(reply.stray_gap);
  }
  const std::span<const uint8_t> bytes(reply.bytes);
  if (reply.split_at > 0 && reply.split_at < bytes.size()) {
    line.Send(bytes.first(reply.split_at));
    line.Wait(reply.gap);
    line.Send(bytes.subspan(reply.split_at));
  } else {
    line.Send(bytes);
  }
  if (reply.twice) {
    line.Wait(reply.twice_gap);
    line.Send(bytes);
  }
}

}  // namespace flovir::sim
