#pragma once
// A port that hands every frame straight to the simulated meter and answers
// at once, without line timing. A test may hold a read until it releases
// it, to act while the exchange thread waits for a reply.

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "link/port.h"
#include "tools/meter-sim/simulated_meter.h"

namespace flovir::testing {

class MeterPort : public Port {
 public:
  explicit MeterPort(sim::SimulatedMeter& meter) : meter_(meter) {}
  bool IsOpen() const override { return true; }
  LineSettings GetLineSettings() override { return {}; }
  bool SetLineSettings(const LineSettings&) override { return true; }
  bool SetTimeouts(const PortTimeouts&) override { return true; }
  PortTimeouts GetTimeouts() const override { return {}; }
  void Purge() override { reply_.clear(); }
  uint32_t Write(const uint8_t* data, size_t count) override {
    reply_ = meter_.HandleFrame(data, count);
    return transferred_ = static_cast<uint32_t>(count);
  }
  uint32_t Read(uint8_t* data, size_t capacity, const ReadComplete&) override {
    {
      std::unique_lock lock(mutex_);
      ++reads_;
      changed_.notify_all();
      changed_.wait(lock, [this] { return !hold_; });
    }
    const size_t count = std::min(capacity, reply_.size());
    // A meter whose line is cut has no reply at all, and no buffer to copy from.
    if (count > 0) std::memcpy(data, reply_.data(), count);
    reply_.clear();
    return transferred_ = static_cast<uint32_t>(count);
  }
  uint32_t BytesTransferred() const override { return transferred_; }

  // Reads wait while held.
  void Hold(bool hold) {
    std::lock_guard lock(mutex_);
    hold_ = hold;
    changed_.notify_all();
  }
  // Waits until `count` reads have begun.
  void WaitForReads(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return reads_ >= count; });
  }

 private:
  sim::SimulatedMeter& meter_;
  std::vector<uint8_t> reply_;
  uint32_t transferred_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool hold_ = false;
  int reads_ = 0;
};

}  // namespace flovir::testing
