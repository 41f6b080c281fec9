#pragma once
// Builders for crafted workbook files: BIFF record streams and a small
// compound-file packer (version 3, 512-byte sectors, small streams in the
// mini stream) whose layout the tests know, so that they can damage it.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace flovir::test {

// Little-endian field bytes.
class Bytes {
 public:
  Bytes& U8(unsigned v) {
    s_ += static_cast<char>(v & 0xFF);
    return *this;
  }
  Bytes& U16(unsigned v) { return U8(v).U8(v >> 8); }
  Bytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Bytes& F64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return U32(static_cast<uint32_t>(bits)).U32(static_cast<uint32_t>(bits >> 32));
  }
  Bytes& Raw(std::string_view raw) {
    s_ += raw;
    return *this;
  }
  const std::string& str() const { return s_; }
  operator std::string() const { return s_; }
  operator std::string_view() const { return s_; }

 private:
  std::string s_;
};

// A BIFF record stream.
class Stream {
 public:
  Stream& Record(unsigned id, std::string_view data) {
    bytes_.U16(id).U16(static_cast<unsigned>(data.size())).Raw(data);
    return *this;
  }
  // BOF of Excel 5.0 (version 0x0500) or Excel 97 (0x0600).
  Stream& Bof(unsigned version, unsigned type) {
    return Record(0x0809, Bytes().U16(version).U16(type).U16(3515).U16(1998));
  }
  Stream& Eof() { return Record(0x000A, ""); }
  const std::string& str() const { return bytes_.str(); }

 private:
  Bytes bytes_;
};

// Record contents.
inline std::string Number(unsigned row, unsigned col, unsigned xf, double v) {
  return Bytes().U16(row).U16(col).U16(xf).F64(v);
}
inline std::string Label5(unsigned row, unsigned col, unsigned xf, std::string_view cp1251) {
  return Bytes().U16(row).U16(col).U16(xf).U16(static_cast<unsigned>(cp1251.size())).Raw(cp1251);
}
inline std::string BoundSheet5(std::string_view name, unsigned type = 0) {
  return Bytes().U32(0).U8(0).U8(type).U8(static_cast<unsigned>(name.size())).Raw(name);
}
inline std::string BoundSheet8(std::string_view latin1_name) {
  return Bytes().U32(0).U16(0).U8(static_cast<unsigned>(latin1_name.size())).U8(0).Raw(latin1_name);
}

// Packs streams into the root storage of a compound file.
inline std::string CompoundFile(const std::vector<std::pair<std::string, std::string>>& streams) {
  constexpr size_t kSector = 512, kMini = 64, kCutoff = 4096;
  constexpr uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSect = 0xFFFFFFFD;
  const auto sectors = [](size_t bytes, size_t size) { return (bytes + size - 1) / size; };

  std::string mini_stream;
  std::vector<uint32_t> mini_fat;
  std::vector<std::pair<uint32_t, uint32_t>> placed;  // start, size; regular starts are fixed later
  std::vector<bool> in_mini;
  size_t regular_sectors = 0;
  for (const auto& [name, data] : streams) {
    if (data.size() < kCutoff && !data.empty()) {
      const auto start = static_cast<uint32_t>(mini_fat.size());
      const size_t n = sectors(data.size(), kMini);
      for (size_t k = 0; k < n; ++k) {
        mini_fat.push_back(k + 1 < n ? start + static_cast<uint32_t>(k) + 1 : kEnd);
      }
      std::string padded = data;
      padded.resize(n * kMini, '\0');
      mini_stream += padded;
      placed.emplace_back(start, static_cast<uint32_t>(data.size()));
      in_mini.push_back(true);
    } else {
      placed.emplace_back(0, static_cast<uint32_t>(data.size()));
      in_mini.push_back(false);
      regular_sectors += sectors(data.size(), kSector);
    }
  }
  const size_t dir_sectors = sectors((streams.size() + 1) * 128, kSector);
  const size_t mini_fat_sectors = sectors(mini_fat.size() * 4, kSector);
  const size_t mini_stream_sectors = sectors(mini_stream.size(), kSector);
  const size_t data_sectors =
      dir_sectors + mini_fat_sectors + mini_stream_sectors + regular_sectors;
  size_t fat_sectors = 1;
  while (fat_sectors * 128 < data_sectors + fat_sectors) ++fat_sectors;

  std::vector<uint32_t> fat(fat_sectors * 128, kFree);
  uint32_t next = 0;
  for (size_t k = 0; k < fat_sectors; ++k) fat[next++] = kFatSect;
  const auto chain = [&](size_t count) {
    const uint32_t start = count ? next : kEnd;
    for (size_t k = 0; k < count; ++k, ++next) fat[next] = k + 1 < count ? next + 1 : kEnd;
    return start;
  };
  const uint32_t dir_start = chain(dir_sectors);
  const uint32_t mini_fat_start = chain(mini_fat_sectors);
  const uint32_t mini_stream_start = chain(mini_stream_sectors);
  for (size_t k = 0; k < streams.size(); ++k) {
    if (!in_mini[k]) placed[k].first = chain(sectors(streams[k].second.size(), kSector));
  }

  Bytes header;
  header.Raw("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1").Raw(std::string(16, '\0'));
  header.U16(0x3E).U16(3).U16(0xFFFE).U16(9).U16(6).Raw(std::string(6, '\0'));
  header.U32(0).U32(static_cast<uint32_t>(fat_sectors)).U32(dir_start).U32(0).U32(kCutoff);
  header.U32(mini_fat_sectors ? mini_fat_start : kEnd).U32(static_cast<uint32_t>(mini_fat_sectors));
  header.U32(kEnd).U32(0);
  for (size_t k = 0; k < 109; ++k) header.U32(k < fat_sectors ? static_cast<uint32_t>(k) : kFree);

  const auto entry = [](std::string_view name, unsigned type, uint32_t child, uint32_t right,
                        uint32_t start, uint32_t size) {
    Bytes e;
    for (const char c : name) e.U16(static_cast<unsigned char>(c));
    e.Raw(std::string(64 - 2 * name.size(), '\0'));
    e.U16(static_cast<unsigned>(2 * name.size() + 2)).U8(type).U8(1);
    e.U32(kFree).U32(right).U32(child).Raw(std::string(16 + 4 + 16, '\0'));
    e.U32(start).U32(size).U32(0);
    return e.str();
  };
  std::string directory = entry("Root Entry", 5, streams.empty() ? kFree : 1, kFree,
                                mini_stream.empty() ? kEnd : mini_stream_start,
                                static_cast<uint32_t>(mini_stream.size()));
  // The streams hang off the root as a chain of right siblings.
  for (size_t k = 0; k < streams.size(); ++k) {
    const uint32_t right = k + 1 < streams.size() ? static_cast<uint32_t>(k + 2) : kFree;
    directory += entry(streams[k].first, 2, kFree, right,
                       streams[k].second.empty() ? kEnd : placed[k].first, placed[k].second);
  }
  directory.resize(dir_sectors * kSector, '\0');

  std::string file = header.str();
  for (const uint32_t v : fat) file += Bytes().U32(v).str();
  file += directory;
  std::string mini_fat_bytes;
  for (const uint32_t v : mini_fat) mini_fat_bytes += Bytes().U32(v).str();
  mini_fat_bytes.resize(mini_fat_sectors * kSector, '\xFF');
  file += mini_fat_bytes;
  mini_stream.resize(mini_stream_sectors * kSector, '\0');
  file += mini_stream;
  for (size_t k = 0; k < streams.size(); ++k) {
    if (in_mini[k]) continue;
    std::string data = streams[k].second;
    data.resize(sectors(data.size(), kSector) * kSector, '\0');
    file += data;
  }
  return file;
}

inline std::vector<uint8_t> AsBytes(std::string_view s) {
  return {s.begin(), s.end()};
}

}  // namespace flovir::test
