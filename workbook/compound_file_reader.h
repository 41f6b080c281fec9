#pragma once
// Reads streams out of an OLE2 compound file (the container of Excel 5.0 and
// Excel 97 workbooks). The whole file is held in memory; every sector
// number, chain and size is checked against the file, so a damaged or hostile
// file ends in a WorkbookError instead of a crash, a hang or a huge
// allocation.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace flovir {

// True when the bytes start with the compound-file signature.
bool IsCompoundFile(std::span<const uint8_t> file);

class CompoundFileReader {
 public:
  // Parses the header, the allocation tables and the directory; throws
  // WorkbookError ("Damaged compound file: ...") when they do not hold together.
  explicit CompoundFileReader(std::span<const uint8_t> file);

  // Names of the streams directly in the root storage.
  const std::vector<std::string>& RootStreamNames() const { return root_stream_names_; }
  // Compares names without regard to ASCII case, as the container does.
  bool HasStream(std::string_view name) const;
  // The stream's bytes; throws WorkbookError when it is missing or damaged.
  std::vector<uint8_t> ReadStream(std::string_view name) const;
  // The same bytes without a copy when the stream lies in one run of
  // sectors (as writers usually place large streams); otherwise they are
  // copied into scratch. The span lives as long as the file and scratch.
  std::span<const uint8_t> StreamBytes(std::string_view name, std::vector<uint8_t>& scratch) const;

 private:
  struct DirectoryEntry {
    std::string name;  // UTF-8
    uint8_t type = 0;  // 1 storage, 2 stream, 5 root
    uint32_t left = 0, right = 0, child = 0;
    uint32_t start = 0;
    uint64_t size = 0;
  };

  const DirectoryEntry& StreamEntry(std::string_view name) const;
  void ReadHeader();
  void ReadFat();
  void ReadDirectory();
  void ReadMiniStream();
  void CollectRootStreams();
  std::vector<uint32_t> Chain(uint32_t start, const std::vector<uint32_t>& table,
                              size_t limit) const;
  std::span<const uint8_t> Sector(uint32_t index) const;
  std::vector<uint8_t> ReadChain(uint32_t start, uint64_t size) const;
  std::vector<uint8_t> ReadMiniChain(uint32_t start, uint64_t size) const;

  std::span<const uint8_t> file_;
  uint32_t sector_size_ = 512;
  uint32_t mini_sector_size_ = 64;
  uint32_t mini_cutoff_ = 4096;
  uint32_t sector_count_ = 0;  // sectors present in the file
  uint32_t first_directory_ = 0, first_mini_fat_ = 0, first_difat_ = 0;
  uint32_t fat_sector_count_ = 0, difat_sector_count_ = 0;
  std::vector<uint32_t> fat_;
  std::vector<uint32_t> mini_fat_;
  std::vector<uint8_t> mini_stream_;
  std::vector<DirectoryEntry> entries_;
  std::vector<std::string> root_stream_names_;
  std::vector<uint32_t> root_stream_ids_;
};

}  // namespace flovir
