#pragma once
// The computer's clock as the operations see it: local "now" as a date-time
// value (days since 30 December 1899, the time of day as the fraction). The
// archive ranges, the workbook header and the meter's clock setting all read
// it here, so that tests can fix the moment.

namespace flovir {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual double Now() const = 0;
};

// The local time of the computer, to the second.
class SystemClock : public Clock {
 public:
  double Now() const override;
};

// A clock that shows whatever it was set to.
class FixedClock : public Clock {
 public:
  explicit FixedClock(double now) : now_(now) {}
  void Set(double now) { now_ = now; }
  double Now() const override { return now_; }

 private:
  double now_;
};

}  // namespace flovir
