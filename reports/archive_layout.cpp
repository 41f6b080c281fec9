#include "reports/archive_layout.h"

#include <cmath>
#include <cstdint>

#include "workbook/serial_date.h"

namespace flovir {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

double SecondsLater(double serial, int64_t seconds) {
  return static_cast<double>(std::llround(serial * kSecondsPerDay) + seconds) / kSecondsPerDay;
}

}  // namespace

int IntervalHours(ArchiveKind kind, double entry_date) {
  switch (LayoutOf(kind).step) {
    case EntryStep::Hour:
      return 1;
    case EntryStep::Day:
      return 24;
    case EntryStep::Month: {
      const CivilDateTime t = DecodeDateTime(entry_date);
      return 24 * DaysInMonth(t.year, t.month);
    }
  }
  return 1;
}

double NextEntryTime(ArchiveKind kind, double at) {
  switch (LayoutOf(kind).step) {
    case EntryStep::Hour:
      return SecondsLater(at, 3600);
    case EntryStep::Day:
      return SecondsLater(at, kSecondsPerDay);
    case EntryStep::Month: {
      const CivilDateTime t = DecodeDateTime(at);
      return t.month == 12 ? EncodeDate(t.year + 1, 1, 1) : EncodeDate(t.year, t.month + 1, 1);
    }
  }
  return at;
}

}  // namespace flovir
