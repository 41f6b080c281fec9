#include "workbook/compound_file_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "workbook/little_endian.h"
#include "workbook/reader_text.h"
#include "workbook/workbook.h"

namespace flovir {

namespace {

constexpr std::array<uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kHeaderSize = 512;
constexpr size_t kHeaderDifatEntries = 109;
constexpr size_t kDirectoryEntrySize = 128;
constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint8_t kStorageObject = 1, kStreamObject = 2, kRootObject = 5;

[[noreturn]] void Damaged(const std::string& what) {
  throw WorkbookError("Damaged compound file: " + what);
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

}  // namespace

bool IsCompoundFile(std::span<const uint8_t> file) {
  return file.size() >= kSignature.size() &&
         std::equal(kSignature.begin(), kSignature.end(), file.begin());
}

CompoundFileReader::CompoundFileReader(std::span<const uint8_t> file) : file_(file) {
  ReadHeader();
  ReadFat();
  ReadDirectory();
  ReadMiniStream();
  CollectRootStreams();
}

void CompoundFileReader::ReadHeader() {
  if (!IsCompoundFile(file_)) Damaged("no signature");
  if (file_.size() < kHeaderSize) Damaged("the header is truncated");
  if (LoadU16(file_, 28) != 0xFFFE) Damaged("unknown byte order");
  const uint16_t sector_shift = LoadU16(file_, 30);
  const uint16_t mini_shift = LoadU16(file_, 32);
  // Version 3 files use 512-byte sectors, version 4 files 4096-byte ones;
  // anything else is not a layout any writer produces.
  if (sector_shift != 9 && sector_shift != 12) Damaged("unsupported sector size");
  if (mini_shift == 0 || mini_shift >= sector_shift) Damaged("unsupported mini sector size");
  sector_size_ = 1u << sector_shift;
  mini_sector_size_ = 1u << mini_shift;
  fat_sector_count_ = LoadU32(file_, 44);
  first_directory_ = LoadU32(file_, 48);
  mini_cutoff_ = LoadU32(file_, 56);
  first_mini_fat_ = LoadU32(file_, 60);
  first_difat_ = LoadU32(file_, 68);
  difat_sector_count_ = LoadU32(file_, 72);
  // Sector n lies at (n + 1) * sector size; the first sector holds the header.
  // A last sector cut short by the writer still counts; its missing tail reads as zeros.
  const uint64_t body = file_.size() > sector_size_ ? file_.size() - sector_size_ : 0;
  sector_count_ = static_cast<uint32_t>(
      std::min<uint64_t>((body + sector_size_ - 1) / sector_size_, kMaxRegularSector));
}

std::span<const uint8_t> CompoundFileReader::Sector(uint32_t index) const {
  if (index >= sector_count_) Damaged("a sector lies outside the file");
  const size_t at = (static_cast<size_t>(index) + 1) * sector_size_;
  return file_.subspan(at, std::min<size_t>(sector_size_, file_.size() - at));
}

void CompoundFileReader::ReadFat() {
  // The FAT sectors are listed in the header's 109 slots, then in a chain of
  // DIFAT sectors. Entries past the sectors the file holds would describe
  // nothing, so no more FAT sectors are read than the file can use.
  const uint32_t entries_per_sector = sector_size_ / 4;
  const size_t useful = (sector_count_ + entries_per_sector - 1) / entries_per_sector;
  const size_t wanted = std::min<size_t>(fat_sector_count_, useful);
  std::vector<uint32_t> fat_sectors;
  for (size_t k = 0; k < kHeaderDifatEntries && fat_sectors.size() < wanted; ++k) {
    const uint32_t s = LoadU32(file_, 76 + 4 * k);
    if (s == kFreeSector || s == kEndOfChain) break;
    fat_sectors.push_back(s);
  }
  uint32_t difat = first_difat_;
  size_t difat_read = 0;
  while (fat_sectors.size() < wanted && difat != kEndOfChain && difat != kFreeSector) {
    if (++difat_read > sector_count_) Damaged("the DIFAT chain loops");
    const std::span<const uint8_t> sector = Sector(difat);
    if (sector.size() < sector_size_) Damaged("a DIFAT sector is truncated");
    for (uint32_t k = 0; k + 1 < entries_per_sector && fat_sectors.size() < wanted; ++k) {
      const uint32_t s = LoadU32(sector, 4 * k);
      if (s == kFreeSector || s == kEndOfChain) break;
      fat_sectors.push_back(s);
    }
    difat = LoadU32(sector, sector_size_ - 4);
  }
  fat_.assign(fat_sectors.size() * entries_per_sector, kFreeSector);
  size_t at = 0;
  for (const uint32_t s : fat_sectors) {
    const std::span<const uint8_t> sector = Sector(s);
    for (size_t k = 0; k + 4 <= sector.size(); k += 4) fat_[at + k / 4] = LoadU32(sector, k);
    at += entries_per_sector;
  }
}

std::vector<uint32_t> CompoundFileReader::Chain(uint32_t start, const std::vector<uint32_t>& table,
                                                size_t limit) const {
  std::vector<uint32_t> chain;
  for (uint32_t s = start; s != kEndOfChain;) {
    if (s >= limit || s >= table.size()) Damaged("a sector chain leaves the file");
    if (chain.size() >= limit) Damaged("a sector chain loops");
    chain.push_back(s);
    s = table[s];
  }
  return chain;
}

std::vector<uint8_t> CompoundFileReader::ReadChain(uint32_t start, uint64_t size) const {
  if (size == 0) return {};
  const std::vector<uint32_t> chain = Chain(start, fat_, sector_count_);
  if (size > static_cast<uint64_t>(chain.size()) * sector_size_) Damaged("a stream is truncated");
  std::vector<uint8_t> out(static_cast<size_t>(size), 0);
  size_t at = 0;
  for (const uint32_t s : chain) {
    if (at >= out.size()) break;
    const std::span<const uint8_t> sector = Sector(s);
    const size_t n = std::min(sector.size(), out.size() - at);
    std::memcpy(out.data() + at, sector.data(), n);
    at += sector_size_;
  }
  return out;
}

std::vector<uint8_t> CompoundFileReader::ReadMiniChain(uint32_t start, uint64_t size) const {
  if (size == 0) return {};
  const size_t mini_count = mini_stream_.size() / mini_sector_size_;
  const std::vector<uint32_t> chain = Chain(start, mini_fat_, mini_count);
  if (size > static_cast<uint64_t>(chain.size()) * mini_sector_size_) {
    Damaged("a stream is truncated");
  }
  std::vector<uint8_t> out(static_cast<size_t>(size));
  size_t at = 0;
  for (const uint32_t s : chain) {
    if (at >= out.size()) break;
    const size_t n = std::min<size_t>(mini_sector_size_, out.size() - at);
    std::memcpy(out.data() + at, mini_stream_.data() + static_cast<size_t>(s) * mini_sector_size_,
                n);
    at += n;
  }
  return out;
}

void CompoundFileReader::ReadDirectory() {
  const std::vector<uint32_t> chain = Chain(first_directory_, fat_, sector_count_);
  for (const uint32_t s : chain) {
    const std::span<const uint8_t> sector = Sector(s);
    for (size_t at = 0; at + kDirectoryEntrySize <= sector.size(); at += kDirectoryEntrySize) {
      const std::span<const uint8_t> raw = sector.subspan(at, kDirectoryEntrySize);
      DirectoryEntry e;
      const size_t name_bytes = std::min<size_t>(LoadU16(raw, 64), 64);
      // The stored length counts the terminating zero character.
      const size_t chars = name_bytes >= 2 ? name_bytes / 2 - 1 : 0;
      e.name =
          Utf16LeToUtf8(std::string_view(reinterpret_cast<const char*>(raw.data()), chars * 2));
      e.type = raw[66];
      e.left = LoadU32(raw, 68);
      e.right = LoadU32(raw, 72);
      e.child = LoadU32(raw, 76);
      e.start = LoadU32(raw, 116);
      // Version 3 writers may leave garbage in the high half of the size.
      e.size = sector_size_ == 512
                   ? LoadU32(raw, 120)
                   : (static_cast<uint64_t>(LoadU32(raw, 124)) << 32 | LoadU32(raw, 120));
      entries_.push_back(std::move(e));
    }
  }
  if (entries_.empty() || entries_[0].type != kRootObject) Damaged("the root entry is missing");
}

void CompoundFileReader::ReadMiniStream() {
  const DirectoryEntry& root = entries_[0];
  if (root.size == 0) return;
  // The mini stream lives in regular sectors; its size cannot exceed the file.
  if (root.size > file_.size()) Damaged("the mini stream is larger than the file");
  mini_stream_ = ReadChain(root.start, root.size);
  const uint32_t mini_fat_sectors = LoadU32(file_, 64);
  if (mini_fat_sectors == 0 || first_mini_fat_ == kEndOfChain) return;
  for (const uint32_t s : Chain(first_mini_fat_, fat_, sector_count_)) {
    const std::span<const uint8_t> sector = Sector(s);
    for (size_t k = 0; k + 4 <= sector.size(); k += 4) mini_fat_.push_back(LoadU32(sector, k));
  }
}

void CompoundFileReader::CollectRootStreams() {
  // The children of a storage form a tree through the left and right links;
  // visit it once, whatever the links say.
  std::vector<bool> seen(entries_.size(), false);
  std::vector<uint32_t> pending = {entries_[0].child};
  while (!pending.empty()) {
    const uint32_t id = pending.back();
    pending.pop_back();
    if (id == kNoStream) continue;
    if (id >= entries_.size() || seen[id]) Damaged("the directory tree is broken");
    seen[id] = true;
    const DirectoryEntry& e = entries_[id];
    if (e.type == kStreamObject) {
      root_stream_names_.push_back(e.name);
      root_stream_ids_.push_back(id);
    } else if (e.type != kStorageObject) {
      Damaged("the directory tree is broken");
    }
    pending.push_back(e.right);
    pending.push_back(e.left);
  }
}

bool CompoundFileReader::HasStream(std::string_view name) const {
  return std::any_of(root_stream_names_.begin(), root_stream_names_.end(),
                     [&](const std::string& n) { return SameName(n, name); });
}

const CompoundFileReader::DirectoryEntry& CompoundFileReader::StreamEntry(
    std::string_view name) const {
  for (size_t k = 0; k < root_stream_names_.size(); ++k) {
    if (!SameName(root_stream_names_[k], name)) continue;
    const DirectoryEntry& e = entries_[root_stream_ids_[k]];
    if (e.size > file_.size()) Damaged("a stream is larger than the file");
    return e;
  }
  Damaged("no stream \"" + std::string(name) + "\"");
}

std::vector<uint8_t> CompoundFileReader::ReadStream(std::string_view name) const {
  const DirectoryEntry& e = StreamEntry(name);
  return e.size < mini_cutoff_ ? ReadMiniChain(e.start, e.size) : ReadChain(e.start, e.size);
}

std::span<const uint8_t> CompoundFileReader::StreamBytes(std::string_view name,
                                                         std::vector<uint8_t>& scratch) const {
  const DirectoryEntry& e = StreamEntry(name);
  if (e.size >= mini_cutoff_ && e.size > 0) {
    const std::vector<uint32_t> chain = Chain(e.start, fat_, sector_count_);
    bool contiguous = static_cast<uint64_t>(chain.size()) * sector_size_ >= e.size;
    for (size_t k = 1; contiguous && k < chain.size(); ++k)
      contiguous = chain[k] == chain[k - 1] + 1;
    const size_t at = (static_cast<size_t>(e.start) + 1) * sector_size_;
    if (contiguous && at <= file_.size() && file_.size() - at >= e.size) {
      return file_.subspan(at, static_cast<size_t>(e.size));
    }
  }
  scratch = ReadStream(name);
  return scratch;
}

}  // namespace flovir
