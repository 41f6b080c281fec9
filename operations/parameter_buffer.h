#pragma once
// The meter's parameter block: registers 400 to 911 as 1024 bytes, each
// register a little-endian 16-bit word, read as 256 float32 values. Value i
// has its low 16 bits in register 400 + 2i and its high 16 bits in 401 + 2i.
// The test poll reads into the same buffer.
//
// The buffer the grid shows belongs to the main thread: the exchange thread
// never reads or writes it. Operations give the thread a staging copy and
// publish it on the main thread in their completion hook (the read, the test
// poll), or take a snapshot when they start (the write);
// parameters/parameter_operations.h says more.

#include <array>
#include <cstdint>
#include <cstring>

namespace flovir {

inline constexpr size_t kParameterBytes = 1024;
inline constexpr size_t kParameterValueCount = 256;
inline constexpr uint16_t kParameterFirstRegister = 400;
inline constexpr uint16_t kParameterRegisterCount = 512;

struct ParameterBuffer {
  std::array<uint8_t, kParameterBytes> bytes{};

  float ParameterValue(size_t index) const {
    float value;
    std::memcpy(&value, bytes.data() + 4 * index, sizeof value);
    return value;
  }
  void SetParameterValue(size_t index, float value) {
    std::memcpy(bytes.data() + 4 * index, &value, sizeof value);
  }
  void Clear() { bytes.fill(0); }
};

}  // namespace flovir
