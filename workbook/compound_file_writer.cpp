#include "workbook/compound_file_writer.h"

#include <cstdint>
#include <vector>

#include "workbook/little_endian.h"
#include "workbook/platform_files.h"
#include "workbook/workbook.h"

namespace flovir {

namespace {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr uint32_t kIdsPerSector = kSectorSize / 4;
constexpr uint32_t kHeaderDifatEntries = 109;
constexpr uint32_t kDirectoryEntrySize = 128;

constexpr uint32_t kDifSect = 0xFFFFFFFC;
constexpr uint32_t kFatSect = 0xFFFFFFFD;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSect = 0xFFFFFFFF;
constexpr uint32_t kNoStream = 0xFFFFFFFF;

constexpr uint8_t kTypeStream = 2;
constexpr uint8_t kTypeRoot = 5;
constexpr uint8_t kBlack = 1;

uint32_t Ceil(uint64_t n, uint32_t unit) {
  return static_cast<uint32_t>((n + unit - 1) / unit);
}

// Where each part of the file goes, in sectors after the header.
struct Layout {
  bool mini = false;
  uint32_t data_sectors = 0;  // the stream itself, or the mini stream
  uint32_t mini_sectors = 0;  // 64-byte sectors of a mini stream
  uint32_t mini_fat_sectors = 0;
  uint32_t fat_sectors = 0;
  uint32_t difat_sectors = 0;
  uint32_t MiniFatStart() const { return data_sectors; }
  uint32_t DirectoryStart() const { return data_sectors + mini_fat_sectors; }
  uint32_t FatStart() const { return DirectoryStart() + 1; }
  uint32_t DifatStart() const { return FatStart() + fat_sectors; }
  uint32_t Total() const { return DifatStart() + difat_sectors; }
};

Layout PlanLayout(uint64_t stream_size) {
  Layout l;
  l.mini = stream_size < kMiniStreamCutoff;
  if (l.mini) {
    l.mini_sectors = Ceil(stream_size, kMiniSectorSize);
    l.data_sectors = Ceil(uint64_t{l.mini_sectors} * kMiniSectorSize, kSectorSize);
    l.mini_fat_sectors = Ceil(uint64_t{l.mini_sectors} * 4, kSectorSize);
  } else {
    l.data_sectors = Ceil(stream_size, kSectorSize);
  }
  // The allocation table must also describe its own sectors and those of
  // the DIFAT that lists it once the header's 109 slots are full.
  for (l.fat_sectors = 1;; ++l.fat_sectors) {
    l.difat_sectors = l.fat_sectors > kHeaderDifatEntries
                          ? Ceil(l.fat_sectors - kHeaderDifatEntries, kIdsPerSector - 1)
                          : 0;
    if (uint64_t{l.fat_sectors} * kIdsPerSector >= l.Total()) break;
  }
  return l;
}

// Appends the ids of a chain of count sectors from first to the table.
void AppendChain(std::vector<uint32_t>& table, uint32_t first, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    table.push_back(i + 1 < count ? first + i + 1 : kEndOfChain);
  }
}

void AppendTable(std::string& out, std::vector<uint32_t> table, uint32_t sectors) {
  table.resize(uint64_t{sectors} * kIdsPerSector, kFreeSect);
  for (uint32_t id : table) AppendU32(out, id);
}

std::string DirectoryEntry(std::string_view name, uint8_t type, uint32_t child, uint32_t start,
                           uint32_t size) {
  std::string e(kDirectoryEntrySize, '\0');
  // Names are ASCII here; stored as UTF-16 with a terminating zero.
  for (size_t i = 0; i < name.size() && i < 31; ++i)
    StoreU16(e, 2 * i, static_cast<uint8_t>(name[i]));
  StoreU16(e, 64, static_cast<uint16_t>(2 * (std::min<size_t>(name.size(), 31) + 1)));
  e[66] = static_cast<char>(type);
  e[67] = static_cast<char>(kBlack);
  StoreU32(e, 68, kNoStream);  // left sibling
  StoreU32(e, 72, kNoStream);  // right sibling
  StoreU32(e, 76, child);
  StoreU32(e, 116, start);
  StoreU32(e, 120, size);
  return e;
}

std::string UnusedDirectoryEntry() {
  std::string e(kDirectoryEntrySize, '\0');
  StoreU32(e, 68, kNoStream);
  StoreU32(e, 72, kNoStream);
  StoreU32(e, 76, kNoStream);
  return e;
}

std::string Header(const Layout& l) {
  std::string h(kSectorSize, '\0');
  h.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  StoreU16(h, 24, 0x003E);  // minor version
  StoreU16(h, 26, 0x0003);  // major version: 512-byte sectors
  StoreU16(h, 28, 0xFFFE);  // little-endian
  StoreU16(h, 30, 9);       // sector size 2^9
  StoreU16(h, 32, 6);       // mini sector size 2^6
  StoreU32(h, 44, l.fat_sectors);
  StoreU32(h, 48, l.DirectoryStart());
  StoreU32(h, 56, kMiniStreamCutoff);
  StoreU32(h, 60, l.mini_fat_sectors ? l.MiniFatStart() : kEndOfChain);
  StoreU32(h, 64, l.mini_fat_sectors);
  StoreU32(h, 68, l.difat_sectors ? l.DifatStart() : kEndOfChain);
  StoreU32(h, 72, l.difat_sectors);
  for (uint32_t i = 0; i < kHeaderDifatEntries; ++i) {
    StoreU32(h, 76 + 4 * i, i < l.fat_sectors ? l.FatStart() + i : kFreeSect);
  }
  return h;
}

std::string DifatSectors(const Layout& l) {
  std::string out;
  uint32_t next_fat = kHeaderDifatEntries;
  for (uint32_t d = 0; d < l.difat_sectors; ++d) {
    for (uint32_t i = 0; i < kIdsPerSector - 1; ++i, ++next_fat) {
      AppendU32(out, next_fat < l.fat_sectors ? l.FatStart() + next_fat : kFreeSect);
    }
    AppendU32(out, d + 1 < l.difat_sectors ? l.DifatStart() + d + 1 : kEndOfChain);
  }
  return out;
}

}  // namespace

std::string BuildCompoundFile(std::string_view stream_name, std::string_view stream) {
  if (stream.size() >= 0xFFFFF000u) throw WorkbookError("Workbook too large");
  const Layout l = PlanLayout(stream.size());
  std::string out = Header(l);
  out.reserve(kSectorSize * (uint64_t{l.Total()} + 1));

  // The stream, or the mini stream that holds it, sector by sector.
  out.append(stream);
  const uint64_t data_end = kSectorSize * (uint64_t{l.data_sectors} + 1);
  out.resize(data_end, '\0');

  std::vector<uint32_t> fat;
  AppendChain(fat, 0, l.data_sectors);
  if (l.mini) {
    std::vector<uint32_t> mini_fat;
    AppendChain(mini_fat, 0, l.mini_sectors);
    AppendTable(out, mini_fat, l.mini_fat_sectors);
    AppendChain(fat, l.MiniFatStart(), l.mini_fat_sectors);
  }
  const auto size = static_cast<uint32_t>(stream.size());
  const uint32_t stream_start = size == 0 ? kEndOfChain : 0;
  if (l.mini) {
    const uint32_t mini_bytes = l.mini_sectors * kMiniSectorSize;
    out += DirectoryEntry("Root Entry", kTypeRoot, 1, mini_bytes ? 0 : kEndOfChain, mini_bytes);
  } else {
    out += DirectoryEntry("Root Entry", kTypeRoot, 1, kEndOfChain, 0);
  }
  out += DirectoryEntry(stream_name, kTypeStream, kNoStream, stream_start, size);
  out += UnusedDirectoryEntry();
  out += UnusedDirectoryEntry();
  AppendChain(fat, l.DirectoryStart(), 1);
  fat.insert(fat.end(), l.fat_sectors, kFatSect);
  fat.insert(fat.end(), l.difat_sectors, kDifSect);
  AppendTable(out, fat, l.fat_sectors);
  out += DifatSectors(l);
  return out;
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
  const ReplaceResult result = ReplaceFileContents(path, bytes);
  if (result.error.empty()) return;
  const char* what = result.created ? "Cannot write file" : "Cannot create file";
  throw WorkbookError(std::string(what) + " \"" + path + "\": " + result.error);
}

}  // namespace flovir
