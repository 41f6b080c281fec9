#include "store/history_views.h"

#include <cmath>

#include "operations/archive_workbook.h"
#include "workbook/serial_date.h"

namespace flovir::history {

namespace {

double NextTime(ArchiveKind kind, double at) {
  switch (LayoutOf(kind).step) {
    case EntryStep::Hour:
      // Whole minutes, so that a year of additions lands on the hour.
      return std::round(at * 1440.0 + 60.0) / 1440.0;
    case EntryStep::Day:
      return std::round(at) + 1;
    case EntryStep::Month: {
      const CivilDateTime t = DecodeDateTime(at);
      return t.month == 12 ? EncodeDate(t.year + 1, 1, 1) : EncodeDate(t.year, t.month + 1, 1);
    }
  }
  return at + 1;
}

double FirstOfMonth(double date) {
  const CivilDateTime t = DecodeDateTime(date);
  return EncodeDate(t.year, t.month, 1);
}

std::array<VolumeScale, kChannelCount> ScalesOf(const std::vector<uint8_t>& codes) {
  std::array<VolumeScale, kChannelCount> scales{};
  for (size_t i = 0; i < kChannelCount && i < codes.size(); ++i) {
    scales[i] = VolumeScaleOf(static_cast<float>(codes[i]));
  }
  return scales;
}

ArchiveRecord RecordOf(const std::vector<uint8_t>& registers) {
  if (registers.size() != kArchiveRecordBytes) return {};
  return DecodeArchiveRecord(
      std::span<const uint8_t, kArchiveRecordBytes>(registers.data(), kArchiveRecordBytes));
}

}  // namespace

Period PeriodOf(ArchiveKind kind, double first_day, double last_day) {
  const double first = std::floor(first_day), last = std::floor(last_day);
  switch (LayoutOf(kind).step) {
    case EntryStep::Hour:
      return {kind, first, last + 23.0 / 24.0};
    case EntryStep::Day:
      return {kind, first, last};
    case EntryStep::Month:
      return {kind, FirstOfMonth(first), FirstOfMonth(last)};
  }
  return {kind, first, last};
}

std::vector<double> IntervalTimes(const Period& period) {
  std::vector<double> times;
  const std::string last = EntryTimeText(period.last);
  for (double at = period.first; EntryTimeText(at) <= last; at = NextTime(period.kind, at)) {
    times.push_back(at);
  }
  return times;
}

std::vector<Gap> FindGaps(const Period& period, const std::vector<std::string>& stored) {
  std::vector<Gap> gaps;
  size_t next = 0;
  bool in_gap = false;  // the interval before this one was missing too
  for (double at : IntervalTimes(period)) {
    const std::string text = EntryTimeText(at);
    while (next < stored.size() && stored[next] < text) ++next;
    const bool have = next < stored.size() && stored[next] == text;
    if (!have && in_gap) {
      gaps.back().last = text;
      ++gaps.back().entries;
    } else if (!have) {
      gaps.push_back({text, text, 1});
    }
    in_gap = !have;
  }
  return gaps;
}

StoredSheet BuildStoredSheet(const Period& period, const std::vector<StoredEntry>& entries,
                             const std::vector<StoredIntegrator>& integrators, int address,
                             double now) {
  StoredSheet sheet;
  if (!entries.empty()) sheet.scales = ScalesOf(entries.back().scale_codes);
  const double end =
      LayoutOf(period.kind).step == EntryStep::Hour ? std::floor(period.last) + 1 : period.last;
  ArchiveSheet rows = BeginArchiveSheet(sheet.workbook, period.kind, period.first, end, now,
                                        static_cast<uint8_t>(address), ".");
  for (const StoredEntry& entry : entries) {
    const auto at = ParseTimeText(entry.at);
    if (!at) continue;
    AddRecordRow(sheet.workbook, rows, period.kind, RecordOf(entry.registers), *at,
                 ScalesOf(entry.scale_codes));
    ++sheet.entries;
  }
  AddTotalsRow(sheet.workbook, rows, period.kind, sheet.scales);
  AddIntegratorLabel(sheet.workbook, rows);
  for (const StoredIntegrator& reading : integrators) {
    const auto at = ParseTimeText(reading.at);
    if (!at) continue;
    AddIntegratorRow(sheet.workbook, rows, period.kind, RecordOf(reading.registers), *at,
                     ScalesOf(reading.scale_codes));
  }
  return sheet;
}

int64_t IntervalsBetween(ArchiveKind kind, const std::string& first, const std::string& last) {
  const auto a = ParseTimeText(first), b = ParseTimeText(last);
  if (!a || !b || *b < *a) return 0;
  switch (LayoutOf(kind).step) {
    case EntryStep::Hour:
      return std::llround((*b - *a) * 24) + 1;
    case EntryStep::Day:
      return std::llround(*b - *a) + 1;
    case EntryStep::Month: {
      const CivilDateTime x = DecodeDateTime(*a), y = DecodeDateTime(*b);
      return (y.year - x.year) * 12 + (y.month - x.month) + 1;
    }
  }
  return 0;
}

}  // namespace flovir::history
