#include "operations/current_report.h"

#include <array>

#include "reports/number_format.h"

namespace flovir {

namespace {

struct ChannelLabels {
  const char* flow;
  const char* failure;
  const char* volume;
  const char* operating_time;
};

constexpr std::array<ChannelLabels, kChannelCount> kLabels = {{
    {"объёмный расход F1, м3/час = ", "объёмный расход F1, м3/час = отказ",
     "накопленный объем V1, м3  = ", "время наработки B1, часов = "},
    {"объёмный расход F2, м3/час = ", "объёмный расход F2, м3/час = отказ",
     "накопленный объем V2, м3  = ", "время наработки B2, часов = "},
    {"объёмный расход F3, м3/час = ", "объёмный расход F3, м3/час = отказ",
     "накопленный объем V3, м3  = ", "время наработки B3, часов = "},
    {"объёмный расход F4, м3/час = ", "объёмный расход F4, м3/час = отказ",
     "накопленный объем V4, м3  = ", "время наработки B4, часов = "},
}};

std::string TwoDigits(unsigned value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

}  // namespace

std::string DeviceClockText(const DeviceClock& clock) {
  return std::to_string(clock.day) + "." + std::to_string(clock.month) + ".20" +
         TwoDigits(clock.year) + " " + TwoDigits(clock.hour) + ":" + TwoDigits(clock.minutes) +
         ":" + TwoDigits(clock.seconds);
}

std::vector<std::string> BuildCurrentValuesReport(const CurrentValuesBlock& block) {
  std::vector<std::string> lines;
  for (size_t n = 0; n < kChannelCount; ++n) {
    lines.push_back(FlowValid(block.channel_status[n])
                        ? kLabels[n].flow + FormatFixed(block.flow[n], 10, 3)
                        : kLabels[n].failure);
  }
  for (size_t n = 0; n < kChannelCount; ++n) {
    const VolumeScale scale = VolumeScaleOf(block.volume_scale_code[n]);
    lines.push_back(kLabels[n].volume +
                    FormatFixed(ScaledVolume(block.volume[n], scale), 20, scale.decimals));
  }
  for (size_t n = 0; n < kChannelCount; ++n) {
    lines.push_back(kLabels[n].operating_time +
                    FormatFixed(CountToHours(block.operating_time[n]), 10, 3));
  }
  lines.push_back("время сети, часов         = " +
                  FormatFixed(CountToHours(block.mains_time), 10, 3));
  lines.push_back("дата, время: " + DeviceClockText(block.clock));
  return lines;
}

std::string BuildTestLine(const ParameterBuffer& buffer, uint8_t chunk_size) {
  std::string line;
  for (size_t i = 0; i < chunk_size / 2u; ++i)
    line += FormatGeneral(buffer.ParameterValue(i)) + " ";
  return line;
}

}  // namespace flovir
