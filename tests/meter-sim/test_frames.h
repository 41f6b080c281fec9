#pragma once
// Request frames and reply decoding for the simulated meter's tests.

#include <cstdint>
#include <vector>

#include "tools/meter-sim/modbus_frame.h"
#include "tools/meter-sim/simulated_meter.h"

namespace flovir::sim::test {

inline std::vector<uint8_t> ReadFrame(uint8_t address, uint16_t start, uint16_t count) {
  std::vector<uint8_t> frame{address,
                             3,
                             static_cast<uint8_t>(start >> 8),
                             static_cast<uint8_t>(start),
                             static_cast<uint8_t>(count >> 8),
                             static_cast<uint8_t>(count)};
  AppendCrc(frame);
  return frame;
}

inline std::vector<uint8_t> WriteFrame(uint8_t address, uint16_t start,
                                       const std::vector<uint16_t>& values) {
  const auto count = static_cast<uint16_t>(values.size());
  std::vector<uint8_t> frame{address,
                             16,
                             static_cast<uint8_t>(start >> 8),
                             static_cast<uint8_t>(start),
                             static_cast<uint8_t>(count >> 8),
                             static_cast<uint8_t>(count),
                             static_cast<uint8_t>(2 * count)};
  for (uint16_t v : values) {
    frame.push_back(static_cast<uint8_t>(v >> 8));
    frame.push_back(static_cast<uint8_t>(v));
  }
  AppendCrc(frame);
  return frame;
}

// The three selector registers: year%100 and month, day and hour, value type and kind.
inline std::vector<uint16_t> Selector(int year, int month, int day, int hour, int kind, int type) {
  return {static_cast<uint16_t>((year % 100) << 8 | month), static_cast<uint16_t>(day << 8 | hour),
          static_cast<uint16_t>(type << 8 | kind)};
}

// The registers of a function 3 reply (empty unless it is one, CRC included).
inline std::vector<uint16_t> RegistersOf(const std::vector<uint8_t>& reply) {
  if (reply.size() < 5 || reply[1] != 3 || reply.size() != 5u + reply[2] ||
      !HasValidCrc(reply.data(), reply.size())) {
    return {};
  }
  std::vector<uint16_t> regs;
  for (size_t i = 3; i + 2 < reply.size(); i += 2) regs.push_back(BigEndianWord(&reply[i]));
  return regs;
}

inline uint32_t U32(const std::vector<uint16_t>& regs, size_t at) {
  return regs.at(at) | static_cast<uint32_t>(regs.at(at + 1)) << 16;
}

// An entry as registers 200-225 show it.
inline std::vector<uint16_t> WindowOf(const ArchiveEntry& entry) {
  const auto regs = entry.Registers();
  return {regs.begin(), regs.end()};
}

inline TimeSource FixedClock(MeterDateTime t) {
  return [t] { return t; };
}

}  // namespace flovir::sim::test
