#pragma once
// What the meter sent, as values: decoded once where the reply arrives and
// kept, so that every output (the archive workbook's rows, CSV and JSON, the
// charts) renders from the same numbers instead of reading another output
// back. Plain structs; the functions below make them.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "operations/register_map.h"

namespace flovir {

using ChannelDoubles = std::array<double, kChannelCount>;

// V1-V4 and B1-B4 as the meter counts them and as the reports show them.
struct ChannelValues {
  VolumeScales scales{};              // each channel's volume scale
  ChannelCounts volume{};             // counts
  ChannelDoubles volume_m3{};         // count x the channel's scale, formed in double
  ChannelCounts operating_time{};     // 1/10000 h
  ChannelDoubles operating_time_h{};  // count / 10000
};
ChannelValues ChannelValuesOf(const ChannelCounts& volume, const ChannelCounts& operating_time,
                              const VolumeScales& scales);

// A current-values read (registers 0-63).
struct CurrentValues {
  CurrentValuesBlock block;  // the registers as decoded
  double clock = 0;          // the meter's clock as a date-time
  // Volumes with the scales of the block's codes, operating times.
  ChannelValues values;
  std::array<bool, kChannelCount> flow_valid{};  // false: the report says "отказ"
  double mains_time_h = 0;                       // hours with mains power
};
CurrentValues CurrentValuesOf(std::span<const uint8_t, kCurrentValuesBytes> area);

// One interval entry of an archive.
struct ArchiveEntry {
  double at = 0;         // the entry's local time
  ChannelValues values;  // a count that was the no-data marker is 0 here
  // Which counts were the meter's no-data marker.
  std::array<bool, kChannelCount> volume_no_data{}, operating_time_no_data{};
  uint32_t mains_time = 0;  // time with mains power in 1/10000 h
  double mains_off_h = 0;   // interval length - mains_time / 10000
  EventMarks events{};
};
// The entry at `at` of the kind from registers 200-225 as the meter sent
// them (the no-data marks still in the counts).
ArchiveEntry DecodeArchiveEntry(std::span<const uint8_t, kArchiveRecordBytes> registers,
                                ArchiveKind kind, double at, const VolumeScales& scales);
// An entry from a record whose no-data marks have been applied already.
ArchiveEntry ArchiveEntryOf(const ArchiveRecord& record, ArchiveKind kind, double at,
                            const VolumeScales& scales);
// Every one of the eight counts was the no-data marker: the meter has not
// recorded the interval (yet).
bool HoldsNoData(const ArchiveEntry& entry);

// An integrator reading: the running totals at a day (month).
struct IntegratorReading {
  double date = 0;
  ChannelValues values;
  // The day is today and the meter has not recorded it yet: the values are
  // zeros, not the meter's.
  bool unrecorded = false;
};

// The totals row of a download: the interval entries' counts summed modulo
// 2^32 and their mains-off hours summed in single precision.
struct ArchiveTotals {
  ChannelValues values;
  float mains_off_h = 0;
};

// An archive download's values, in the order they were read.
struct ArchiveData {
  ArchiveKind kind = ArchiveKind::Hourly;
  double start = 0, end = 0;  // the range
  VolumeScales scales{};      // the download's scales (those of the totals)
  std::vector<ArchiveEntry> entries{};
  std::optional<ArchiveTotals> totals{};  // once the interval entries are all in
  std::vector<IntegratorReading> integrators{};
};

}  // namespace flovir
