#pragma once
// Monotonic deadlines: every blocking wait of a port, and the exchange
// thread's waits for a quiet line or a late reply, ask one of these how long
// they may still wait.

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "link/port.h"

namespace flovir {

class Deadline {
 public:
  using Clock = std::chrono::steady_clock;

  static Deadline Never() { return Deadline(); }
  static Deadline After(uint64_t milliseconds) {
    return Deadline(Clock::now() + std::chrono::milliseconds(milliseconds));
  }

  bool IsNever() const { return never_; }
  bool Passed() const { return !never_ && Clock::now() >= at_; }

  // Milliseconds left, rounded up so that a wait never ends early; -1 for a
  // deadline that never comes (the poll() convention).
  int RemainingMs() const {
    if (never_) return -1;
    const auto left = at_ - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > kMaxWaitMs ? kMaxWaitMs : static_cast<int>(ms);
  }

  // The sooner of two deadlines.
  static Deadline Earliest(const Deadline& a, const Deadline& b) {
    if (a.never_) return b;
    if (b.never_) return a;
    return a.at_ <= b.at_ ? a : b;
  }

 private:
  static constexpr long long kMaxWaitMs = 1 << 30;

  Deadline() : never_(true) {}
  explicit Deadline(Clock::time_point at) : never_(false), at_(at) {}

  bool never_;
  Clock::time_point at_{};
};

// The Windows special case: an interval of MAXDWORD with both total values 0
// returns at once with whatever has arrived.
inline bool ReturnsImmediately(const PortTimeouts& t) {
  return t.ReadInterval == UINT32_MAX && t.ReadMultiplier == 0 && t.ReadConstant == 0;
}

// The total limit of a read or write of count bytes; none when both values
// are 0.
inline Deadline TotalDeadline(uint32_t multiplier, uint32_t constant, size_t count) {
  if (multiplier == 0 && constant == 0) return Deadline::Never();
  return Deadline::After(uint64_t{multiplier} * count + constant);
}

}  // namespace flovir
