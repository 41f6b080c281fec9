#pragma once
// The BIFF record layer of the workbook reader: the record stream, bounded
// field reading across CONTINUE records, the string forms of each Excel
// version, the shared string table, RK numbers and the cell records.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "workbook/cell_store.h"
#include "workbook/reader_text.h"
#include "workbook/workbook.h"

namespace flovir {

enum class BiffVersion { Biff2, Biff3, Biff4, Biff5, Biff8 };

// A record whose contents do not hold together. The loader reports it as
// "Error on reading record # N" followed by this message.
class RecordError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr char kContinueMissing[] = "CONTINUE record is missing";

struct BiffRecord {
  uint16_t id = 0;
  std::span<const uint8_t> data;
};

// Walks the records of a workbook stream.
class BiffRecordStream {
 public:
  explicit BiffRecordStream(std::span<const uint8_t> stream) : stream_(stream) {}
  // Reads the next record; false at the end of the stream. A record whose
  // data runs past the end throws RecordError.
  bool Next(BiffRecord& record);
  // Id of the record that Next would return; false at the end.
  bool PeekId(uint16_t& id) const;
  size_t Position() const { return position_; }
  size_t Size() const { return stream_.size(); }

 private:
  std::span<const uint8_t> stream_;
  size_t position_ = 0;
};

// Reads little-endian fields from a record and the CONTINUE records that
// follow it, as one sequence. Reading past the end throws RecordError, or,
// for a record that expects continuations, WorkbookError(kContinueMissing).
class FieldReader {
 public:
  explicit FieldReader(std::span<const uint8_t> data, bool continued = false);
  FieldReader(std::vector<std::span<const uint8_t>> segments, bool continued);

  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  double F64();
  void Skip(size_t count);
  size_t Remaining() const;

  // Excel 2.1 to 5.0 byte string: a length of length_size bytes, then the
  // characters in the file's code page.
  std::string ByteString(int length_size, const CodePageDecoder& decoder);
  // Excel 97 string: a length of length_size bytes, an option byte, then
  // 8-bit (Latin-1) or 16-bit characters; rich-text runs and extended data
  // are skipped. Characters split over a CONTINUE record resume after a fresh
  // option byte there.
  std::string UnicodeString(int length_size);
  // The characters of an Excel 97 string once its header is read.
  std::string UnicodeChars(size_t count, bool wide);

 private:
  [[noreturn]] void Exhausted() const;
  void NextSegmentIfDone();
  bool StepToNextSegment();
  size_t LeftInSegment() const { return segment_.size() - offset_; }
  std::span<const uint8_t> Take(size_t count);  // within the current segment
  template <typename T>
  T Little();

  // The segment being read, and the CONTINUE records still to come. A
  // record without continuations allocates nothing.
  std::span<const uint8_t> segment_;
  size_t offset_ = 0;
  std::vector<std::span<const uint8_t>> following_;
  size_t next_ = 0;
  bool continued_ = false;
};

// The RK number form: bit 1 set means a signed 30-bit integer in bits 2-31,
// clear means bits 2-31 are the high 30 bits of a double; bit 0 set divides
// by 100.
double DecodeRk(uint32_t rk);

// Reads a shared string table (SST and its CONTINUE records).
std::vector<std::string> ReadSharedStrings(FieldReader& reader);

// One cell as a record gives it.
struct BiffCell {
  uint16_t row = 0;
  uint16_t column = 0;
  // Type, formula result, boolean or error code, number, and the XF index
  // as format (-1 for Excel 2.1 cells); its text id is left for the model.
  WorkbookCell value;
  std::string text;            // UTF-8
  bool awaits_string = false;  // a formula whose text result is in the next STRING
};

struct CellContext {
  BiffVersion version = BiffVersion::Biff5;
  const CodePageDecoder* decoder = nullptr;
  const std::vector<std::string>* shared_strings = nullptr;
};

// Receives the cells of cell records, one call per cell.
class CellSink {
 public:
  virtual void Cell(const BiffCell& cell) = 0;

 protected:
  ~CellSink() = default;
};

// Passes the cells of a cell record to sink; false when the record is no
// cell record.
bool ReadCellRecord(const BiffRecord& record, const CellContext& context, CellSink& sink);
// True for the record that carries a formula's text result.
bool IsStringRecord(uint16_t id, BiffVersion version);
// The text of a STRING record (with its CONTINUE records in Excel 97).
std::string ReadStringRecord(FieldReader& reader, const CellContext& context);

}  // namespace flovir
