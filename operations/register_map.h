#pragma once
// The meter's register blocks and their decoding.
//
// The exchange thread leaves every register in the data area as a 16-bit
// little-endian word, register after register. Every 32-bit quantity of the
// meter spans two registers with the LOW-order word in the lower register;
// unsigned counts and float32 bit patterns alike. None of these functions
// fails: every bit pattern decodes to something.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "reports/archive_layout.h"
#include "workbook/serial_date.h"

namespace flovir {

// Register blocks of the current-values and archive operations.
inline constexpr uint16_t kCurrentValuesFirstRegister = 0;
inline constexpr uint16_t kCurrentValuesRegisterCount = 64;
inline constexpr size_t kCurrentValuesBytes = 128;
// The four volume scale codes (registers 56-63), the last 16 bytes of the
// current-values area.
inline constexpr uint16_t kVolumeScaleFirstRegister = 56;
inline constexpr uint16_t kVolumeScaleRegisterCount = 8;
inline constexpr size_t kVolumeScaleOffset = 112;
// Registers 0-2 written with function 16: an archive selection or a clock set.
inline constexpr uint16_t kSelectorFirstRegister = 0;
inline constexpr uint16_t kSelectorRegisterCount = 3;
inline constexpr size_t kSelectorBytes = 6;
// The window that shows the selected archive entry.
inline constexpr uint16_t kArchiveRecordFirstRegister = 200;
inline constexpr uint16_t kArchiveRecordRegisterCount = 26;
inline constexpr size_t kArchiveRecordBytes = 52;
// The test page's block.
inline constexpr uint16_t kTestFirstRegister = 880;

// Archive volume and operating-time counts at or above this value mean "no
// data" and are taken as 0.
inline constexpr uint32_t kNoDataMarker = 0xFFFF0000u;

enum class ArchiveValueType : uint8_t { Interval = 0, Integrator = 1 };
// The kind byte of a selector write that sets the clock instead.
inline constexpr uint8_t kClockSetKind = 255;

inline constexpr size_t kChannelCount = 4;
using ChannelCounts = std::array<uint32_t, kChannelCount>;
using ChannelFloats = std::array<float, kChannelCount>;

// The meter's clock; year is within the century (2000 + year).
struct DeviceClock {
  uint8_t day = 0, month = 0, year = 0;
  uint8_t hour = 0, minutes = 0, seconds = 0;
};

// Registers 0-63.
struct CurrentValuesBlock {
  ChannelCounts volume{};          // V1-V4, counts; m3 = count x VolumeScale
  ChannelCounts operating_time{};  // B1-B4 in 1/10000 h
  uint32_t mains_time = 0;         // time with mains power in 1/10000 h
  DeviceClock clock;
  uint32_t event_word_a = 0;
  uint32_t event_word_b = 0;
  ChannelFloats flow{};               // F1-F4 in m3/h
  ChannelFloats channel_status{};     // flow valid when >= 1.0
  ChannelFloats volume_scale_code{};  // see VolumeScaleOf
};

// Registers 200-225 after a selector write.
struct ArchiveRecord {
  ChannelCounts volume{};          // no-data marker already applied
  ChannelCounts operating_time{};  // no-data marker already applied
  uint32_t mains_time = 0;         // interval entries only
  uint32_t event_word_a = 0;
  uint32_t event_word_b = 0;
};

// The 32-bit value of registers n and n + 1 whose first byte is at offset.
uint32_t ReadUint32(std::span<const uint8_t> area, size_t offset);
float ReadFloat32(std::span<const uint8_t> area, size_t offset);

CurrentValuesBlock DecodeCurrentValues(std::span<const uint8_t, kCurrentValuesBytes> area);
// Applies the no-data marker to V1-V4 and B1-B4.
ArchiveRecord DecodeArchiveRecord(std::span<const uint8_t, kArchiveRecordBytes> area);
uint32_t ApplyNoDataMarker(uint32_t count);

// The quantities below are inline so that the reports can show them
// without linking the operations library.

// A channel's flow is valid when its status is at least 1 (NaN is not).
inline bool FlowValid(float channel_status) {
  return channel_status >= 1.0f;
}

// What a volume scale code stands for: the code is rounded half to even and
// its low 8 bits select the multiplier.
struct VolumeScale {
  uint8_t code = 0;       // the rounded code, low 8 bits
  float multiplier = 10;  // 1, 0.1, 0.01, 0.001 or 10, in single precision
  int decimals = 0;       // decimals of the current-values report: the code
};

inline VolumeScale VolumeScaleOf(float code) {
  // Half to even without depending on the floating-point rounding mode; a
  // code that is not a number selects like 0.
  double rounded = 0;
  if (std::isfinite(code)) {
    const double down = std::floor(code);
    const double fraction = code - down;
    rounded = fraction > 0.5 || (fraction == 0.5 && std::fmod(down, 2.0) != 0) ? down + 1 : down;
  }
  // Low 8 bits of the (possibly negative or huge) integer, without overflow.
  double low = std::fmod(rounded, 256.0);
  if (low < 0) low += 256.0;
  VolumeScale scale;
  scale.code = static_cast<uint8_t>(low);
  scale.decimals = scale.code;
  constexpr float kMultipliers[] = {10.0f, 1.0f, 0.1f, 0.01f, 0.001f};
  scale.multiplier = scale.code <= 4 ? kMultipliers[scale.code] : 10.0f;
  return scale;
}

using VolumeScales = std::array<VolumeScale, kChannelCount>;

// count x multiplier, formed in double.
inline double ScaledVolume(uint32_t count, const VolumeScale& scale) {
  return static_cast<double>(count) * static_cast<double>(scale.multiplier);
}

// A count in 1/10000 h as hours.
inline double CountToHours(uint32_t count) {
  return static_cast<double>(count) / 10000.0;
}

// The three marks of one channel.
struct ChannelMarks {
  bool x = false, less = false, greater = false;
};
using EventMarks = std::array<ChannelMarks, kChannelCount>;
// Channel n uses bits 3(n-1) (<), 3(n-1)+1 (>) and 3(n-1)+2 (X). Hourly and
// monthly entries take channels 1-2 from word A and 3-4 from word B; daily
// entries take all four from word B.
EventMarks EventMarksOf(uint32_t event_word_a, uint32_t event_word_b, ArchiveKind kind);

// The six selector bytes in data-area order: month, year mod 100, hour, day,
// kind, value type. The fields the meter expects are derived from the kind:
// only hourly selections carry the hour of at; monthly ones select day 1.
using SelectorBytes = std::array<uint8_t, kSelectorBytes>;
SelectorBytes EncodeArchiveSelector(double at, ArchiveKind kind, ArchiveValueType type);
// The clock-set write: month, year mod 100, hour, day, 255, minutes.
SelectorBytes EncodeClockSetRequest(const CivilDateTime& now);

// Hours without mains power: interval length - mains_time / 10000. Negative
// when the meter reports more powered time than the interval holds.
double MainsOffHours(uint32_t mains_time, ArchiveKind kind, double entry_date);

}  // namespace flovir
