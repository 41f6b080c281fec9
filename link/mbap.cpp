#include "link/mbap.h"

#include <cstring>

#include "link/exchange_request.h"

namespace flovir {

namespace {

// The largest MBAP length: unit id plus the largest PDU (253 bytes).
constexpr size_t kMaxMbapLength = 254;

uint16_t WordAt(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// Calls found(frame, length) for every complete frame at the front of the
// bytes until it returns true; false for malformed when a header that no
// protocol-0 frame has is met.
template <typename Found>
MbapReply Walk(const uint8_t* wire, size_t count, Found found) {
  MbapReply result;
  size_t at = 0;
  while (count - at >= kMbapHeaderSize) {
    const uint8_t* frame = wire + at;
    const size_t length = WordAt(frame + 4);
    if (WordAt(frame + 2) != 0 || length < 2 || length > kMaxMbapLength) {
      result.malformed = true;
      return result;
    }
    if (count - at < 6 + length) break;  // the rest is still on its way
    if (found(frame, length, result)) return result;
    at += 6 + length;
  }
  return result;
}

}  // namespace

size_t MbapFromRtu(uint16_t transaction, const uint8_t* rtu, size_t rtu_length, uint8_t* out) {
  const size_t length = rtu_length - 2;  // unit id and PDU: the RTU frame without its CRC
  out[0] = static_cast<uint8_t>(transaction >> 8);
  out[1] = static_cast<uint8_t>(transaction & 0xFF);
  out[2] = 0;
  out[3] = 0;
  out[4] = static_cast<uint8_t>(length >> 8);
  out[5] = static_cast<uint8_t>(length & 0xFF);
  std::memcpy(out + 6, rtu, length);
  return 6 + length;
}

MbapReply RtuFromMbap(const uint8_t* wire, size_t count, uint16_t transaction, uint8_t* rtu) {
  return Walk(wire, count, [&](const uint8_t* frame, size_t length, MbapReply& result) {
    if (WordAt(frame) != transaction) return false;
    std::memcpy(rtu, frame + 6, length);
    const uint16_t crc = ModbusCrc(rtu, length);
    rtu[length] = static_cast<uint8_t>(crc & 0xFF);
    rtu[length + 1] = static_cast<uint8_t>(crc >> 8);
    result.rtu_length = length + 2;
    return true;
  });
}

bool HasMbapReply(const uint8_t* wire, size_t count, uint16_t transaction) {
  bool found = false;
  Walk(wire, count, [&](const uint8_t* frame, size_t, MbapReply&) {
    return found = WordAt(frame) == transaction;
  });
  return found;
}

}  // namespace flovir
