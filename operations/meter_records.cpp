#include "operations/meter_records.h"

#include <algorithm>

#include "workbook/serial_date.h"

namespace flovir {

ChannelValues ChannelValuesOf(const ChannelCounts& volume, const ChannelCounts& operating_time,
                              const VolumeScales& scales) {
  ChannelValues values;
  values.scales = scales;
  values.volume = volume;
  values.operating_time = operating_time;
  for (size_t n = 0; n < kChannelCount; ++n) {
    values.volume_m3[n] = ScaledVolume(volume[n], scales[n]);
    values.operating_time_h[n] = CountToHours(operating_time[n]);
  }
  return values;
}

CurrentValues CurrentValuesOf(std::span<const uint8_t, kCurrentValuesBytes> area) {
  CurrentValues current;
  current.block = DecodeCurrentValues(area);
  const CurrentValuesBlock& b = current.block;
  const DeviceClock& c = b.clock;
  current.clock = EncodeDateTime({2000 + c.year, c.month, c.day, c.hour, c.minutes, c.seconds});
  VolumeScales scales;
  for (size_t n = 0; n < kChannelCount; ++n) {
    scales[n] = VolumeScaleOf(b.volume_scale_code[n]);
    current.flow_valid[n] = FlowValid(b.channel_status[n]);
  }
  current.values = ChannelValuesOf(b.volume, b.operating_time, scales);
  current.mains_time_h = CountToHours(b.mains_time);
  return current;
}

ArchiveEntry ArchiveEntryOf(const ArchiveRecord& record, ArchiveKind kind, double at,
                            const VolumeScales& scales) {
  ArchiveEntry entry;
  entry.at = at;
  entry.values = ChannelValuesOf(record.volume, record.operating_time, scales);
  entry.mains_time = record.mains_time;
  entry.mains_off_h = MainsOffHours(record.mains_time, kind, at);
  entry.events = EventMarksOf(record.event_word_a, record.event_word_b, kind);
  return entry;
}

ArchiveEntry DecodeArchiveEntry(std::span<const uint8_t, kArchiveRecordBytes> registers,
                                ArchiveKind kind, double at, const VolumeScales& scales) {
  ArchiveEntry entry = ArchiveEntryOf(DecodeArchiveRecord(registers), kind, at, scales);
  for (size_t n = 0; n < kChannelCount; ++n) {
    entry.volume_no_data[n] = ReadUint32(registers, 4 * n) >= kNoDataMarker;
    entry.operating_time_no_data[n] =
        ReadUint32(registers, 4 * (kChannelCount + n)) >= kNoDataMarker;
  }
  return entry;
}

bool HoldsNoData(const ArchiveEntry& entry) {
  const auto set = [](bool mark) { return mark; };
  return std::all_of(entry.volume_no_data.begin(), entry.volume_no_data.end(), set) &&
         std::all_of(entry.operating_time_no_data.begin(), entry.operating_time_no_data.end(), set);
}

}  // namespace flovir
