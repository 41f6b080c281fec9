#pragma once
// Monotonic deadlines for the port's timeouts. Every blocking wait of the
// port asks one of these how long it may still wait.

#include <chrono>
#include <cstdint>

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

}  // namespace flovir
