#include "store/history_views.h"

#include <array>
#include <cmath>
#include <span>

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

// Registers of another length (a damaged store) read as zeros.
std::span<const uint8_t, kArchiveRecordBytes> RegistersOf(const std::vector<uint8_t>& registers) {
  static constexpr std::array<uint8_t, kArchiveRecordBytes> kZeros{};
  if (registers.size() != kArchiveRecordBytes) return kZeros;
  return std::span<const uint8_t, kArchiveRecordBytes>(registers.data(), kArchiveRecordBytes);
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
  ArchiveData& data = sheet.data;
  data.kind = period.kind;
  data.start = period.first;
  data.end =
      LayoutOf(period.kind).step == EntryStep::Hour ? std::floor(period.last) + 1 : period.last;
  if (!entries.empty()) data.scales = ScalesOf(entries.back().scale_codes);
  ArchiveSheet rows = BeginArchiveSheet(sheet.workbook, period.kind, data.start, data.end, now,
                                        static_cast<uint8_t>(address), ".");
  for (const StoredEntry& entry : entries) {
    const auto at = ParseTimeText(entry.at);
    if (!at) continue;
    data.entries.push_back(DecodeArchiveEntry(RegistersOf(entry.registers), period.kind, *at,
                                              ScalesOf(entry.scale_codes)));
    AddRecordRow(sheet.workbook, rows, period.kind, data.entries.back());
  }
  data.totals = TotalsOf(rows, data.scales);
  AddTotalsRow(sheet.workbook, rows, period.kind, *data.totals);
  AddIntegratorLabel(sheet.workbook, rows);
  for (const StoredIntegrator& stored : integrators) {
    const auto at = ParseTimeText(stored.at);
    if (!at) continue;
    const ArchiveRecord record = DecodeArchiveRecord(RegistersOf(stored.registers));
    data.integrators.push_back({.date = *at,
                                .values = ChannelValuesOf(record.volume, record.operating_time,
                                                          ScalesOf(stored.scale_codes))});
    AddIntegratorRow(sheet.workbook, rows, period.kind, data.integrators.back());
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
