#pragma once
// The meter's deterministic history: the calendar of its zone-less clock,
// the hourly entry of every hour, the sums that the daily, monthly and
// integrator entries are made of, and the parameter block it starts with.

#include <array>
#include <cstdint>

#include "tools/meter-sim/simulated_meter.h"

namespace flovir::sim {

// Seconds and days of the local epoch, 1970-01-01 00:00 on the meter's clock.
int64_t ToSeconds(const MeterDateTime& t);
MeterDateTime FromSeconds(int64_t seconds);
int64_t DayNumber(int year, int month, int day);
bool IsValidDate(int year, int month, int day);
int DaysInMonth(int year, int month);

inline constexpr int64_t kSecondsPerHour = 3600;
inline constexpr int64_t kSecondsPerDay = 86400;

// Amounts summed over hours, wide enough not to wrap; the registers then
// hold them modulo 2^32.
struct Totals {
  std::array<uint64_t, 4> volume{};
  std::array<uint64_t, 4> operating{};
  uint64_t mains = 0;
  uint32_t marks = 0;  // event bits of all channels, ORed

  void Add(const Totals& other);
  // The entry's registers, with the event bits laid out for the kind.
  ArchiveEntry ToEntry(ArchiveKind kind) const;
};

// The amounts of hour `hour` (hours of the local epoch), from its date and
// hour alone.
Totals HourlyAmounts(int64_t hour);
// The sum of the hourly amounts of hours [first, last).
Totals SumHours(int64_t first, int64_t last);

// The VolumeScale multiplier of a scale code.
float VolumeScale(float code);

// The 256 parameter values the meter starts with.
std::array<float, 256> InitialParameters();

}  // namespace flovir::sim
