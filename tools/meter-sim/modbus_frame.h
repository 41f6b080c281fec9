#pragma once
// Frame helpers of the simulated meter. The simulator keeps its own CRC
// routine rather than the link's, so that a fault in one is not hidden by
// the same fault in the other when the two talk.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flovir::sim {

// The two functions the meter answers.
inline constexpr uint8_t kReadHolding = 3;
inline constexpr uint8_t kWriteMultiple = 16;

// CRC-16/MODBUS: initial 0xFFFF, reflected polynomial 0xA001, no final XOR.
uint16_t Crc16(const uint8_t* data, size_t count);
// True when the frame's last two bytes are the CRC (low byte first) of the rest.
bool HasValidCrc(const uint8_t* frame, size_t length);
// Appends the CRC of the bytes so far, low byte first.
void AppendCrc(std::vector<uint8_t>& frame);
// address, function | 0x80, code, CRC.
std::vector<uint8_t> ExceptionReply(uint8_t address, uint8_t function, uint8_t code);

inline uint16_t BigEndianWord(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

}  // namespace flovir::sim
