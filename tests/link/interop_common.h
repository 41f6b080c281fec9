#pragma once
// Our master against an independent slave: every chunk size over a block
// of registers, reads and writes, and the slave's exceptions.

#include <gtest/gtest.h>

#include "tests/link/link_fixture.h"

namespace flovir::test {

inline uint16_t Pattern(unsigned chunk, unsigned r) {
  return static_cast<uint16_t>(chunk * 977 + r * 31);
}

// Writes the block with the chunk's pattern, then reads it back, for every
// chunk size from 1 to 125 (writes carry at most 123 registers a frame).
template <typename Link>
void SweepChunkSizes(Link& link, uint16_t block_size, unsigned first = 1, unsigned last = 125) {
  std::vector<uint8_t> data(2u * block_size);
  for (unsigned chunk = first; chunk <= last; ++chunk) {
    for (unsigned r = 0; r < block_size; ++r) {
      data[2 * r] = Pattern(chunk, r) & 0xFF;
      data[2 * r + 1] = Pattern(chunk, r) >> 8;
    }
    ASSERT_EQ(link.Run(16, 0, block_size, data.data(), static_cast<uint8_t>(chunk)),
              ExchangeStatus::Success)
        << "write, chunk " << chunk;
    std::fill(data.begin(), data.end(), 0);
    ASSERT_EQ(link.Run(3, 0, block_size, data.data(), static_cast<uint8_t>(chunk)),
              ExchangeStatus::Success)
        << "read, chunk " << chunk;
    for (unsigned r = 0; r < block_size; ++r) {
      ASSERT_EQ(data[2 * r] | data[2 * r + 1] << 8, Pattern(chunk, r))
          << "chunk " << chunk << " register " << r;
    }
    link.ClearTrace();
  }
}

// Exception 2 for registers outside the block, in both directions, and the
// exception frame as the slave sent it in the trace (RTU framing; a Modbus
// TCP link passes its own text of the reply).
template <typename Link>
void ExpectIllegalAddressOutside(
    Link& link, uint16_t block_size,
    const std::string& exception_reply = "in:  0x01 0x83 0x02 0xC0 0xF1 (5 байт)") {
  std::vector<uint8_t> data(40);
  link.ClearTrace();
  EXPECT_EQ(link.Run(3, block_size - 5, 10, data.data(), 64, 1),
            ExchangeStatus::IllegalDataAddress);
  const auto lines = link.TraceLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], exception_reply);
  EXPECT_EQ(link.Run(16, block_size, 2, data.data(), 64, 1), ExchangeStatus::IllegalDataAddress);
}

}  // namespace flovir::test
