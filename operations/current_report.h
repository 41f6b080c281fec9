#pragma once
// The current-values report (kind 0) and the test page's line (kind 4).

#include <cstdint>
#include <string>
#include <vector>

#include "operations/parameter_buffer.h"
#include "operations/register_map.h"

namespace flovir {

// The 14 lines: four flows (or their "отказ" lines), four volumes with as
// many decimals as the channel's scale code (at most 18), four operating
// times, the mains time and the meter's clock.
std::vector<std::string> BuildCurrentValuesReport(const CurrentValuesBlock& block);

// The meter's clock as "7.3.2024 09:05:00".
std::string DeviceClockText(const DeviceClock& clock);

// The first chunk_size / 2 parameter values by FormatGeneral, each followed
// by a space; empty for a chunk size below 2.
std::string BuildTestLine(const ParameterBuffer& buffer, uint8_t chunk_size);

}  // namespace flovir
