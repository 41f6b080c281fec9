#pragma once
// Helpers of the workbook writer tests: bytes from hex text and a record
// stream split back into records.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace flovir::test {

// "09 08 08 00" -> the four bytes.
inline std::string Hex(std::string_view text) {
  std::string out;
  int nibbles = 0, value = 0;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') {
      v = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      v = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else {
      continue;
    }
    value = value * 16 + v;
    if (++nibbles == 2) {
      out += static_cast<char>(value);
      nibbles = value = 0;
    }
  }
  return out;
}

struct Record {
  uint16_t id = 0;
  std::string data;
  size_t offset = 0;  // of the record's header in the stream
};

inline uint16_t U16At(std::string_view s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}

inline uint32_t U32At(std::string_view s, size_t at) {
  return U16At(s, at) | static_cast<uint32_t>(U16At(s, at + 2)) << 16;
}

// Splits a stream into records; stops at a truncated record.
inline std::vector<Record> SplitRecords(std::string_view stream) {
  std::vector<Record> records;
  for (size_t at = 0; at + 4 <= stream.size();) {
    const uint16_t length = U16At(stream, at + 2);
    if (at + 4 + length > stream.size()) break;
    records.push_back({U16At(stream, at), std::string(stream.substr(at + 4, length)), at});
    at += 4 + length;
  }
  return records;
}

}  // namespace flovir::test
