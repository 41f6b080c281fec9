#include "operations/current_report.h"

#include <limits>

#include <gtest/gtest.h>

namespace flovir {
namespace {

TEST(CurrentValuesReport, FourteenLinesCharacterForCharacter) {
  CurrentValuesBlock b;
  b.flow = {12.5f, 3.0f, -0.0004f, 7.0f};
  b.channel_status = {1.0f, 0.999f, 2.0f, std::numeric_limits<float>::quiet_NaN()};
  b.volume = {4294967295u, 12345, 5, 1};
  b.volume_scale_code = {3, 2, 0, 7};
  b.operating_time = {0, 12345, 4294967295u, 10000};
  b.mains_time = 250000;
  b.clock = {7, 3, 24, 9, 5, 0};
  const std::vector<std::string> expected = {
      "объёмный расход F1, м3/час = 12,500",      "объёмный расход F2, м3/час = отказ",
      "объёмный расход F3, м3/час = 0,000",       "объёмный расход F4, м3/час = отказ",
      "накопленный объем V1, м3  = 42949671,990", "накопленный объем V2, м3  = 1234,50",
      "накопленный объем V3, м3  = 50",           "накопленный объем V4, м3  = 10,0000000",
      "время наработки B1, часов = 0,000",        "время наработки B2, часов = 1,235",
      "время наработки B3, часов = 429496,730",   "время наработки B4, часов = 1,000",
      "время сети, часов         = 25,000",       "дата, время: 7.3.2024 09:05:00",
  };
  EXPECT_EQ(BuildCurrentValuesReport(b), expected);
}

TEST(CurrentValuesReport, ScaleCodesRoundHalfToEven) {
  CurrentValuesBlock b;
  b.volume = {12345, 12345, 12345, 12345};
  b.volume_scale_code = {2.5f, 3.5f, 2.6f, 1.0f};
  const std::vector<std::string> lines = BuildCurrentValuesReport(b);
  EXPECT_EQ(lines[4], "накопленный объем V1, м3  = 1234,50");
  EXPECT_EQ(lines[5], "накопленный объем V2, м3  = 12,3450");
  EXPECT_EQ(lines[6], "накопленный объем V3, м3  = 123,450");
  EXPECT_EQ(lines[7], "накопленный объем V4, м3  = 12345,0");
}

TEST(CurrentValuesReport, ClockText) {
  EXPECT_EQ(DeviceClockText({1, 1, 5, 0, 0, 0}), "1.1.2005 00:00:00");
  EXPECT_EQ(DeviceClockText({31, 12, 99, 23, 59, 59}), "31.12.2099 23:59:59");
}

TEST(TestPollLine, HalfTheChunkSizeInValues) {
  ParameterBuffer buffer;
  buffer.SetParameterValue(0, 0.1f);
  buffer.SetParameterValue(1, -2.0f);
  buffer.SetParameterValue(2, 1e20f);
  EXPECT_EQ(BuildTestLine(buffer, 1), "");
  EXPECT_EQ(BuildTestLine(buffer, 0), "");
  EXPECT_EQ(BuildTestLine(buffer, 5), "0,100000001490116 -2 ");
  std::string expected = "0,100000001490116 -2 1,00000002004088E20 ";
  for (int i = 3; i < 32; ++i) expected += "0 ";
  EXPECT_EQ(BuildTestLine(buffer, 64), expected);
  EXPECT_EQ(BuildTestLine(buffer, 255).size(), expected.size() + 2 * (127 - 32));
}

}  // namespace
}  // namespace flovir
