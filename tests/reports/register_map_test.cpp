#include "operations/register_map.h"

#include <array>
#include <bit>
#include <vector>

#include <gtest/gtest.h>

namespace flovir {
namespace {

// A data area built the way the exchange thread leaves it: registers as
// little-endian words, 32-bit values low word first.
template <size_t N>
struct Area {
  std::array<uint8_t, N> bytes{};
  void Register(size_t n, uint16_t value) {
    bytes[2 * n] = static_cast<uint8_t>(value);
    bytes[2 * n + 1] = static_cast<uint8_t>(value >> 8);
  }
  void Uint32(size_t n, uint32_t value) {
    Register(n, static_cast<uint16_t>(value));
    Register(n + 1, static_cast<uint16_t>(value >> 16));
  }
  void Float(size_t n, float value) { Uint32(n, std::bit_cast<uint32_t>(value)); }
};

TEST(RegisterMap, LowWordComesFirst) {
  Area<kArchiveRecordBytes> area;
  area.Register(0, 0x1234);
  area.Register(1, 0x0001);
  EXPECT_EQ(DecodeArchiveRecord(area.bytes).volume[0], 70196u);
}

TEST(RegisterMap, CurrentValuesBlockFields) {
  Area<kCurrentValuesBytes> area;
  for (size_t n = 0; n < 4; ++n) {
    area.Uint32(2 * n, 1000 + static_cast<uint32_t>(n));
    area.Uint32(8 + 2 * n, 2000 + static_cast<uint32_t>(n));
    area.Float(40 + 2 * n, 1.5f + static_cast<float>(n));
    area.Float(48 + 2 * n, static_cast<float>(n));
    area.Float(56 + 2 * n, 3.0f);
  }
  area.Uint32(16, 123456);
  area.Register(18, 0x0709);  // day 7, hour 9
  area.Register(19, 0x1803);  // year 24, month 3
  area.Uint32(20, 0xA);
  area.Uint32(22, 0xB);
  area.Register(29, 0x0538);  // minutes 5, seconds 56
  const CurrentValuesBlock b = DecodeCurrentValues(area.bytes);
  EXPECT_EQ(b.volume, (ChannelCounts{1000, 1001, 1002, 1003}));
  EXPECT_EQ(b.operating_time, (ChannelCounts{2000, 2001, 2002, 2003}));
  EXPECT_EQ(b.mains_time, 123456u);
  EXPECT_EQ(b.clock.day, 7);
  EXPECT_EQ(b.clock.hour, 9);
  EXPECT_EQ(b.clock.month, 3);
  EXPECT_EQ(b.clock.year, 24);
  EXPECT_EQ(b.clock.minutes, 5);
  EXPECT_EQ(b.clock.seconds, 56);
  EXPECT_EQ(b.event_word_a, 0xAu);
  EXPECT_EQ(b.event_word_b, 0xBu);
  EXPECT_EQ(b.flow, (ChannelFloats{1.5f, 2.5f, 3.5f, 4.5f}));
  EXPECT_EQ(b.channel_status, (ChannelFloats{0, 1, 2, 3}));
  EXPECT_EQ(b.volume_scale_code, (ChannelFloats{3, 3, 3, 3}));
}

TEST(RegisterMap, NoDataMarkerAppliesToCountsOnly) {
  Area<kArchiveRecordBytes> area;
  area.Uint32(0, 0xFFFF0000u);
  area.Uint32(2, 0xFFFEFFFFu);
  area.Uint32(6, 0xFFFFFFFFu);
  area.Uint32(14, 0xFFFF1234u);
  area.Uint32(16, 0xFFFFFFFFu);  // mains time: taken as it comes
  area.Uint32(20, 0xFFFF0000u);
  const ArchiveRecord r = DecodeArchiveRecord(area.bytes);
  EXPECT_EQ(r.volume, (ChannelCounts{0, 0xFFFEFFFFu, 0, 0}));
  EXPECT_EQ(r.operating_time[3], 0u);
  EXPECT_EQ(r.mains_time, 0xFFFFFFFFu);
  EXPECT_EQ(r.event_word_a, 0xFFFF0000u);
}

TEST(RegisterMap, FlowValidFromOne) {
  EXPECT_TRUE(FlowValid(1.0f));
  EXPECT_FALSE(FlowValid(0.999f));
  EXPECT_FALSE(FlowValid(std::bit_cast<float>(0x7FC00000u)));  // NaN
}

TEST(VolumeScale, RoundedCodeSelectsMultiplierAndDecimals) {
  struct Case {
    float code;
    float multiplier;
    int decimals;
  };
  const Case cases[] = {
      {0, 10, 0},      {1, 1, 1},         {2, 0.1f, 2},    {3, 0.01f, 3},
      {4, 0.001f, 4},  {5, 10, 5},        {7, 10, 7},      {2.6f, 0.01f, 3},
      {2.5f, 0.1f, 2}, {3.5f, 0.001f, 4}, {1.5f, 0.1f, 2}, {0.5f, 10, 0},
      {258, 0.1f, 2},  {-1, 10, 255},     {-254, 0.1f, 2}, {1e30f, 10, 0},
  };
  for (const Case& c : cases) {
    const VolumeScale s = VolumeScaleOf(c.code);
    EXPECT_EQ(s.multiplier, c.multiplier) << "code " << c.code;
    EXPECT_EQ(s.decimals, c.decimals) << "code " << c.code;
  }
  EXPECT_EQ(VolumeScaleOf(std::bit_cast<float>(0x7FC00000u)).multiplier, 10.0f);
}

TEST(VolumeScale, ProductIsFormedInDouble) {
  // 0.1f is slightly above a tenth: the workbook keeps that.
  EXPECT_EQ(ScaledVolume(12345, VolumeScaleOf(2)), 12345 * 0.100000001490116119384765625);
  EXPECT_EQ(ScaledVolume(4294967295u, VolumeScaleOf(3)), 4294967295.0 * 0.01f);
  EXPECT_LT(ScaledVolume(4294967295u, VolumeScaleOf(3)), 42949672.0);
}

TEST(EventMarks, BitsPerChannelAndWordPerArchive) {
  // Word A: channel 1 X (bit 2), channel 2 < (bit 3). Word B: channel 1 >
  // (bit 1), channel 3 X (bit 8), channel 4 > (bit 10).
  const uint32_t a = 1u << 2 | 1u << 3;
  const uint32_t b = 1u << 1 | 1u << 8 | 1u << 10;
  const EventMarks hourly = EventMarksOf(a, b, ArchiveKind::Hourly);
  EXPECT_TRUE(hourly[0].x && !hourly[0].less && !hourly[0].greater);
  EXPECT_TRUE(!hourly[1].x && hourly[1].less && !hourly[1].greater);
  EXPECT_TRUE(hourly[2].x && !hourly[2].less && !hourly[2].greater);
  EXPECT_TRUE(!hourly[3].x && !hourly[3].less && hourly[3].greater);
  const EventMarks daily = EventMarksOf(a, b, ArchiveKind::Daily);
  EXPECT_TRUE(!daily[0].x && !daily[0].less && daily[0].greater);
  EXPECT_TRUE(!daily[1].x && !daily[1].less && !daily[1].greater);
  EXPECT_TRUE(daily[2].x);
  const EventMarks monthly = EventMarksOf(a, b, ArchiveKind::Monthly);
  EXPECT_TRUE(monthly[0].x && monthly[1].less && monthly[3].greater);
  // Bits 12 and up mean nothing.
  const EventMarks none = EventMarksOf(0xFFFFF000u, 0xFFFFF000u, ArchiveKind::Hourly);
  for (const ChannelMarks& m : none) EXPECT_FALSE(m.x || m.less || m.greater);
}

TEST(Selector, BufferOrderAndFieldsPerKind) {
  const double at = EncodeDateTime({2011, 3, 5, 14, 0, 0});
  EXPECT_EQ(EncodeArchiveSelector(at, ArchiveKind::Hourly, ArchiveValueType::Interval),
            (SelectorBytes{3, 11, 14, 5, 0, 0}));
  EXPECT_EQ(EncodeArchiveSelector(at, ArchiveKind::Daily, ArchiveValueType::Interval),
            (SelectorBytes{3, 11, 0, 5, 1, 0}));
  EXPECT_EQ(EncodeArchiveSelector(at, ArchiveKind::Daily, ArchiveValueType::Integrator),
            (SelectorBytes{3, 11, 0, 5, 1, 1}));
  EXPECT_EQ(EncodeArchiveSelector(at, ArchiveKind::Monthly, ArchiveValueType::Integrator),
            (SelectorBytes{3, 11, 0, 1, 2, 1}));
  const double y2000 = EncodeDateTime({2000, 12, 31, 23, 0, 0});
  EXPECT_EQ(EncodeArchiveSelector(y2000, ArchiveKind::Hourly, ArchiveValueType::Interval),
            (SelectorBytes{12, 0, 23, 31, 0, 0}));
}

TEST(Selector, ClockSetRegisters) {
  const SelectorBytes bytes = EncodeClockSetRequest({2024, 3, 7, 9, 5, 59});
  EXPECT_EQ(bytes, (SelectorBytes{3, 24, 9, 7, 255, 5}));
  // As registers: 6147, 1801, 1535.
  EXPECT_EQ(bytes[0] | bytes[1] << 8, 6147);
  EXPECT_EQ(bytes[2] | bytes[3] << 8, 1801);
  EXPECT_EQ(bytes[4] | bytes[5] << 8, 1535);
}

TEST(MainsOff, IntervalLengthWithLeapYears) {
  EXPECT_EQ(IntervalHours(ArchiveKind::Monthly, EncodeDate(2024, 2, 1)), 696);
  EXPECT_EQ(IntervalHours(ArchiveKind::Monthly, EncodeDate(2023, 2, 1)), 672);
  EXPECT_EQ(IntervalHours(ArchiveKind::Monthly, EncodeDate(2008, 2, 1)), 696);
  EXPECT_EQ(IntervalHours(ArchiveKind::Monthly, EncodeDate(1900, 2, 1)), 672);
  EXPECT_EQ(IntervalHours(ArchiveKind::Monthly, EncodeDate(2023, 12, 1)), 744);
  EXPECT_EQ(MainsOffHours(10000, ArchiveKind::Hourly, EncodeDate(2024, 1, 1)), 0.0);
  EXPECT_EQ(MainsOffHours(15000, ArchiveKind::Hourly, EncodeDate(2024, 1, 1)), -0.5);
  EXPECT_EQ(MainsOffHours(230000, ArchiveKind::Daily, EncodeDate(2024, 1, 1)), 1.0);
  EXPECT_EQ(MainsOffHours(0, ArchiveKind::Monthly, EncodeDate(2024, 2, 1)), 696.0);
  EXPECT_EQ(MainsOffHours(4294967295u, ArchiveKind::Hourly, 0), 1 - 429496.7295);
}

}  // namespace
}  // namespace flovir
