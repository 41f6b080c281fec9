#pragma once
// Excel records and compound files store every number low-order byte first,
// whatever the computer's own order.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace flovir {

inline uint16_t LoadU16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline uint32_t LoadU32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(LoadU16(bytes, at)) | static_cast<uint32_t>(LoadU16(bytes, at + 2))
                                                         << 16;
}

inline double LoadF64(std::span<const uint8_t> bytes, size_t at) {
  const uint64_t bits = static_cast<uint64_t>(LoadU32(bytes, at)) |
                        static_cast<uint64_t>(LoadU32(bytes, at + 4)) << 32;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline void StoreU16(std::string& out, size_t at, uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}

inline void StoreU32(std::string& out, size_t at, uint32_t v) {
  StoreU16(out, at, static_cast<uint16_t>(v & 0xFFFF));
  StoreU16(out, at + 2, static_cast<uint16_t>(v >> 16));
}

inline void AppendU16(std::string& out, uint16_t v) {
  out.append(2, '\0');
  StoreU16(out, out.size() - 2, v);
}

inline void AppendU32(std::string& out, uint32_t v) {
  out.append(4, '\0');
  StoreU32(out, out.size() - 4, v);
}

}  // namespace flovir
