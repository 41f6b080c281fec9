#include "workbook/biff_reader.h"

#include <algorithm>
#include <cstring>

#include "workbook/biff_records.h"
#include "workbook/little_endian.h"

namespace flovir {

namespace {

constexpr size_t kColumns = 256;  // A to IV

// The cached result of a FORMULA record: a double, or, when its top word is
// 0xFFFF, a type byte with a boolean or error code.
void ReadFormulaResult(FieldReader& reader, BiffCell& cell) {
  uint8_t raw[8];
  for (uint8_t& b : raw) b = reader.U8();
  cell.value.type = CellType::Formula;
  if (raw[6] == 0xFF && raw[7] == 0xFF) {
    switch (raw[0]) {
      case 0:
        cell.value.result = CellType::Text;
        cell.awaits_string = true;
        return;
      case 1:
        cell.value.result = CellType::Boolean;
        cell.value.code = raw[2] ? 1 : 0;
        return;
      case 2:
        cell.value.result = CellType::Error;
        cell.value.code = raw[2];
        return;
      case 3:  // an empty text
        cell.value.result = CellType::Blank;
        return;
      default:
        break;
    }
  }
  cell.value.result = CellType::Number;
  std::memcpy(&cell.value.number, raw, sizeof cell.value.number);
}

BiffCell Position(FieldReader& reader) {
  BiffCell cell;
  cell.row = reader.U16();
  cell.column = reader.U16();
  return cell;
}

// Row, column and XF index: the head of every cell record from Excel 3.0 on.
BiffCell Head(FieldReader& reader) {
  BiffCell cell = Position(reader);
  cell.value.format = reader.U16();
  return cell;
}

// Excel 2.1 cells: row, column and three attribute bytes. Their XF index
// stays -1, the default cell format.
BiffCell Biff2Head(FieldReader& reader) {
  BiffCell cell = Position(reader);
  reader.Skip(3);
  return cell;
}

void ReadBoolErr(FieldReader& reader, BiffCell& cell) {
  const uint8_t value = reader.U8();
  const bool error = reader.U8() != 0;
  cell.value.type = error ? CellType::Error : CellType::Boolean;
  cell.value.code = error ? value : (value ? 1 : 0);
}

std::string ReadLabel(FieldReader& reader, const CellContext& context) {
  return context.version == BiffVersion::Biff8 ? reader.UnicodeString(2)
                                               : reader.ByteString(2, *context.decoder);
}

bool ReadBiff2Cell(const BiffRecord& record, const CellContext& context, CellSink& sink) {
  FieldReader reader(record.data);
  switch (record.id) {
    case biff::kBlank2: {
      BiffCell cell = Biff2Head(reader);
      cell.value.type = CellType::Blank;
      sink.Cell(cell);
      return true;
    }
    case biff::kInteger2: {
      BiffCell cell = Biff2Head(reader);
      cell.value.type = CellType::Number;
      cell.value.number = reader.U16();
      sink.Cell(cell);
      return true;
    }
    case biff::kNumber2: {
      BiffCell cell = Biff2Head(reader);
      cell.value.type = CellType::Number;
      cell.value.number = reader.F64();
      sink.Cell(cell);
      return true;
    }
    case biff::kLabel2: {
      BiffCell cell = Biff2Head(reader);
      cell.value.type = CellType::Text;
      cell.text = reader.ByteString(1, *context.decoder);
      sink.Cell(cell);
      return true;
    }
    case biff::kBoolErr2: {
      BiffCell cell = Biff2Head(reader);
      ReadBoolErr(reader, cell);
      sink.Cell(cell);
      return true;
    }
    case biff::kFormula: {
      BiffCell cell = Biff2Head(reader);
      ReadFormulaResult(reader, cell);
      sink.Cell(cell);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

bool BiffRecordStream::Next(BiffRecord& record) {
  // A tail shorter than a record header is padding, not a record.
  if (stream_.size() - position_ < 4) return false;
  record.id = LoadU16(stream_, position_);
  const uint16_t length = LoadU16(stream_, position_ + 2);
  if (stream_.size() - position_ - 4 < length) {
    throw RecordError("The record runs past the end of the file");
  }
  record.data = stream_.subspan(position_ + 4, length);
  position_ += 4 + length;
  return true;
}

bool BiffRecordStream::PeekId(uint16_t& id) const {
  if (stream_.size() - position_ < 4) return false;
  id = LoadU16(stream_, position_);
  return true;
}

FieldReader::FieldReader(std::span<const uint8_t> data, bool continued)
    : segment_(data), continued_(continued) {}

FieldReader::FieldReader(std::vector<std::span<const uint8_t>> segments, bool continued)
    : following_(std::move(segments)), continued_(continued) {
  StepToNextSegment();
}

void FieldReader::Exhausted() const {
  if (continued_) throw WorkbookError(kContinueMissing);
  throw RecordError("The record is shorter than its contents");
}

bool FieldReader::StepToNextSegment() {
  if (next_ >= following_.size()) return false;
  segment_ = following_[next_++];
  offset_ = 0;
  return true;
}

void FieldReader::NextSegmentIfDone() {
  while (LeftInSegment() == 0 && StepToNextSegment()) {
  }
}

std::span<const uint8_t> FieldReader::Take(size_t count) {
  const std::span<const uint8_t> out = segment_.subspan(offset_, count);
  offset_ += count;
  return out;
}

size_t FieldReader::Remaining() const {
  size_t left = LeftInSegment();
  for (size_t k = next_; k < following_.size(); ++k) left += following_[k].size();
  return left;
}

void FieldReader::Skip(size_t count) {
  if (count > Remaining()) Exhausted();
  while (count > 0) {
    NextSegmentIfDone();
    const size_t n = std::min(count, LeftInSegment());
    Take(n);
    count -= n;
  }
}

// A little-endian field, read straight from the segment when it lies within
// one (the common case), byte by byte across a CONTINUE boundary otherwise.
template <typename T>
T FieldReader::Little() {
  T value = 0;
  if (LeftInSegment() >= sizeof(T)) {
    const uint8_t* p = segment_.data() + offset_;
    for (size_t k = 0; k < sizeof(T); ++k) value |= static_cast<T>(static_cast<T>(p[k]) << (8 * k));
    offset_ += sizeof(T);
    return value;
  }
  for (size_t k = 0; k < sizeof(T); ++k) value |= static_cast<T>(static_cast<T>(U8()) << (8 * k));
  return value;
}

uint8_t FieldReader::U8() {
  NextSegmentIfDone();
  if (LeftInSegment() == 0) Exhausted();
  return segment_[offset_++];
}

uint16_t FieldReader::U16() {
  return Little<uint16_t>();
}

uint32_t FieldReader::U32() {
  return Little<uint32_t>();
}

double FieldReader::F64() {
  const uint64_t bits = Little<uint64_t>();
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string FieldReader::ByteString(int length_size, const CodePageDecoder& decoder) {
  const size_t length = length_size == 1 ? U8() : U16();
  if (length > Remaining()) Exhausted();
  std::string bytes;
  bytes.reserve(length);
  while (bytes.size() < length) {
    NextSegmentIfDone();
    const size_t n = std::min(length - bytes.size(), LeftInSegment());
    const std::span<const uint8_t> part = Take(n);
    bytes.append(reinterpret_cast<const char*>(part.data()), part.size());
  }
  return decoder.Decode(bytes);
}

std::string FieldReader::UnicodeString(int length_size) {
  const size_t length = length_size == 1 ? U8() : U16();
  const uint8_t options = U8();
  const size_t runs = (options & 0x08) ? U16() : 0;
  const size_t extended = (options & 0x04) ? U32() : 0;
  std::string text = UnicodeChars(length, options & 0x01);
  Skip(4 * runs);
  Skip(extended);
  return text;
}

std::string FieldReader::UnicodeChars(size_t count, bool wide) {
  std::string utf16;
  utf16.reserve(std::min(count, Remaining()) * 2);
  while (count > 0) {
    if (LeftInSegment() == 0) {
      // The characters go on in the next CONTINUE record, after an option
      // byte that says whether they are 8 or 16 bits wide from there on.
      if (!StepToNextSegment()) Exhausted();
      wide = U8() & 0x01;
      continue;
    }
    const size_t char_size = wide ? 2 : 1;
    const size_t available = LeftInSegment() / char_size;
    if (available == 0) throw RecordError("A text is cut inside a character");
    const size_t n = std::min(count, available);
    const std::span<const uint8_t> part = Take(n * char_size);
    if (wide) {
      utf16.append(reinterpret_cast<const char*>(part.data()), part.size());
    } else {
      for (const uint8_t b : part) {
        utf16 += static_cast<char>(b);
        utf16 += '\0';
      }
    }
    count -= n;
  }
  return Utf16LeToUtf8(utf16);
}

double DecodeRk(uint32_t rk) {
  double value;
  if (rk & 0x02) {
    value = static_cast<int32_t>(rk) >> 2;
  } else {
    const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  return (rk & 0x01) ? value / 100 : value;
}

std::vector<std::string> ReadSharedStrings(FieldReader& reader) {
  reader.U32();  // references to the table in the workbook
  const uint32_t unique = reader.U32();
  std::vector<std::string> strings;
  // The count comes from the file; the data, not the count, bounds the work.
  strings.reserve(std::min<size_t>(unique, reader.Remaining() / 3));
  for (uint32_t k = 0; k < unique; ++k) strings.push_back(reader.UnicodeString(2));
  return strings;
}

bool ReadCellRecord(const BiffRecord& record, const CellContext& context, CellSink& sink) {
  if (context.version == BiffVersion::Biff2 && record.id <= biff::kFormula) {  // ids 1 to 6
    return ReadBiff2Cell(record, context, sink);
  }
  FieldReader reader(record.data);
  switch (record.id) {
    case biff::kNumber: {
      BiffCell cell = Head(reader);
      cell.value.type = CellType::Number;
      cell.value.number = reader.F64();
      sink.Cell(cell);
      return true;
    }
    case biff::kRk:
    case biff::kRk3: {
      BiffCell cell = Head(reader);
      cell.value.type = CellType::Number;
      cell.value.number = DecodeRk(reader.U32());
      sink.Cell(cell);
      return true;
    }
    case biff::kMulRk: {  // row, first column, (XF, RK) pairs, last column
      if (record.data.size() < 6) throw RecordError("The record is shorter than its contents");
      const uint16_t row = reader.U16();
      const uint16_t first = reader.U16();
      // Columns past the last one a sheet has would wrap around; stop there.
      const size_t pairs = std::min<size_t>((record.data.size() - 6) / 6,
                                            kColumns - std::min<size_t>(first, kColumns));
      for (size_t k = 0; k < pairs; ++k) {
        BiffCell cell;
        cell.row = row;
        cell.column = static_cast<uint16_t>(first + k);
        cell.value.format = reader.U16();
        cell.value.type = CellType::Number;
        cell.value.number = DecodeRk(reader.U32());
        sink.Cell(cell);
      }
      return true;
    }
    case biff::kLabel:
    case biff::kRString: {  // its formatting runs are of no use here
      BiffCell cell = Head(reader);
      cell.value.type = CellType::Text;
      cell.text = ReadLabel(reader, context);
      sink.Cell(cell);
      return true;
    }
    case biff::kLabelSst: {
      BiffCell cell = Head(reader);
      const uint32_t index = reader.U32();
      if (!context.shared_strings || index >= context.shared_strings->size()) {
        throw RecordError("A cell refers to a missing shared string");
      }
      cell.value.type = CellType::Text;
      cell.text = (*context.shared_strings)[index];
      sink.Cell(cell);
      return true;
    }
    case biff::kBlank: {
      BiffCell cell = Head(reader);
      cell.value.type = CellType::Blank;
      sink.Cell(cell);
      return true;
    }
    case biff::kMulBlank: {  // row, first column, XF indexes, last column
      if (record.data.size() < 6) throw RecordError("The record is shorter than its contents");
      const uint16_t row = reader.U16();
      const uint16_t first = reader.U16();
      const size_t count = std::min<size_t>((record.data.size() - 6) / 2,
                                            kColumns - std::min<size_t>(first, kColumns));
      for (size_t k = 0; k < count; ++k) {
        BiffCell cell;
        cell.row = row;
        cell.column = static_cast<uint16_t>(first + k);
        cell.value.format = reader.U16();
        cell.value.type = CellType::Blank;
        sink.Cell(cell);
      }
      return true;
    }
    case biff::kBoolErr: {
      BiffCell cell = Head(reader);
      ReadBoolErr(reader, cell);
      sink.Cell(cell);
      return true;
    }
    case biff::kFormula:     // Excel 5.0 and 97
    case biff::kFormula3:    // Excel 3.0
    case biff::kFormula4: {  // Excel 4.0
      BiffCell cell = Head(reader);
      ReadFormulaResult(reader, cell);
      sink.Cell(cell);
      return true;
    }
    default:
      return false;
  }
}

bool IsStringRecord(uint16_t id, BiffVersion version) {
  return id == (version == BiffVersion::Biff2 ? biff::kString2 : biff::kString);
}

std::string ReadStringRecord(FieldReader& reader, const CellContext& context) {
  switch (context.version) {
    case BiffVersion::Biff2:
      return reader.ByteString(1, *context.decoder);
    case BiffVersion::Biff8:
      return reader.UnicodeString(2);
    default:
      return reader.ByteString(2, *context.decoder);
  }
}

}  // namespace flovir
