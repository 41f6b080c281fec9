#include "operations/register_map.h"

#include <bit>
#include <cmath>

namespace flovir {

namespace {

uint16_t ReadWord(std::span<const uint8_t> area, size_t offset) {
  return static_cast<uint16_t>(area[offset] | area[offset + 1] << 8);
}

ChannelCounts ReadCounts(std::span<const uint8_t> area, size_t offset) {
  ChannelCounts counts;
  for (size_t n = 0; n < kChannelCount; ++n) counts[n] = ReadUint32(area, offset + 4 * n);
  return counts;
}

ChannelFloats ReadFloats(std::span<const uint8_t> area, size_t offset) {
  ChannelFloats values;
  for (size_t n = 0; n < kChannelCount; ++n) values[n] = ReadFloat32(area, offset + 4 * n);
  return values;
}

// Byte offsets of the quantities, register number x 2.
constexpr size_t kVolumeAt = 0;
constexpr size_t kOperatingTimeAt = 16;
constexpr size_t kMainsTimeAt = 32;
constexpr size_t kClockDayHourAt = 36;
constexpr size_t kClockYearMonthAt = 38;
constexpr size_t kEventWordAAt = 40;
constexpr size_t kEventWordBAt = 44;
constexpr size_t kClockMinutesSecondsAt = 58;
constexpr size_t kFlowAt = 80;
constexpr size_t kChannelStatusAt = 96;

}  // namespace

uint32_t ReadUint32(std::span<const uint8_t> area, size_t offset) {
  if (offset + 4 > area.size()) return 0;
  return ReadWord(area, offset) | static_cast<uint32_t>(ReadWord(area, offset + 2)) << 16;
}

float ReadFloat32(std::span<const uint8_t> area, size_t offset) {
  return std::bit_cast<float>(ReadUint32(area, offset));
}

CurrentValuesBlock DecodeCurrentValues(std::span<const uint8_t, kCurrentValuesBytes> area) {
  CurrentValuesBlock block;
  block.volume = ReadCounts(area, kVolumeAt);
  block.operating_time = ReadCounts(area, kOperatingTimeAt);
  block.mains_time = ReadUint32(area, kMainsTimeAt);
  block.clock.hour = area[kClockDayHourAt];
  block.clock.day = area[kClockDayHourAt + 1];
  block.clock.month = area[kClockYearMonthAt];
  block.clock.year = area[kClockYearMonthAt + 1];
  block.clock.seconds = area[kClockMinutesSecondsAt];
  block.clock.minutes = area[kClockMinutesSecondsAt + 1];
  block.event_word_a = ReadUint32(area, kEventWordAAt);
  block.event_word_b = ReadUint32(area, kEventWordBAt);
  block.flow = ReadFloats(area, kFlowAt);
  block.channel_status = ReadFloats(area, kChannelStatusAt);
  block.volume_scale_code = ReadFloats(area, kVolumeScaleOffset);
  return block;
}

uint32_t ApplyNoDataMarker(uint32_t count) {
  return count >= kNoDataMarker ? 0 : count;
}

ArchiveRecord DecodeArchiveRecord(std::span<const uint8_t, kArchiveRecordBytes> area) {
  ArchiveRecord record;
  record.volume = ReadCounts(area, kVolumeAt);
  record.operating_time = ReadCounts(area, kOperatingTimeAt);
  for (uint32_t& v : record.volume) v = ApplyNoDataMarker(v);
  for (uint32_t& b : record.operating_time) b = ApplyNoDataMarker(b);
  record.mains_time = ReadUint32(area, kMainsTimeAt);
  record.event_word_a = ReadUint32(area, kEventWordAAt);
  record.event_word_b = ReadUint32(area, kEventWordBAt);
  return record;
}

EventMarks EventMarksOf(uint32_t event_word_a, uint32_t event_word_b, ArchiveKind kind) {
  const uint32_t low_channels = LayoutOf(kind).events_all_in_word_b ? event_word_b : event_word_a;
  EventMarks marks;
  for (size_t n = 0; n < kChannelCount; ++n) {
    const uint32_t word = n < 2 ? low_channels : event_word_b;
    const unsigned first = static_cast<unsigned>(3 * n);
    marks[n].less = (word >> first) & 1u;
    marks[n].greater = (word >> (first + 1)) & 1u;
    marks[n].x = (word >> (first + 2)) & 1u;
  }
  return marks;
}

SelectorBytes EncodeArchiveSelector(double at, ArchiveKind kind, ArchiveValueType type) {
  const CivilDateTime t = DecodeDateTime(at);
  const EntryStep step = LayoutOf(kind).step;
  const int day = step == EntryStep::Month ? 1 : t.day;
  const int hour = step == EntryStep::Hour ? t.hour : 0;
  return {static_cast<uint8_t>(t.month), static_cast<uint8_t>(((t.year % 100) + 100) % 100),
          static_cast<uint8_t>(hour),    static_cast<uint8_t>(day),
          static_cast<uint8_t>(kind),    static_cast<uint8_t>(type)};
}

SelectorBytes EncodeClockSetRequest(const CivilDateTime& now) {
  return {static_cast<uint8_t>(now.month),
          static_cast<uint8_t>(((now.year % 100) + 100) % 100),
          static_cast<uint8_t>(now.hour),
          static_cast<uint8_t>(now.day),
          kClockSetKind,
          static_cast<uint8_t>(now.minute)};
}

double MainsOffHours(uint32_t mains_time, ArchiveKind kind, double entry_date) {
  return IntervalHours(kind, entry_date) - CountToHours(mains_time);
}

}  // namespace flovir
