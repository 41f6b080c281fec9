#pragma once
// The Excel 5.0 (BIFF5) record stream of a workbook: what goes into the
// stream "Book" of the compound file. One function per record appends that
// record (id, length, data; all little-endian) to a RecordStream, so each can
// be checked byte for byte.

#include <cstdint>
#include <string>
#include <string_view>

#include "workbook/model.h"

namespace flovir {

class RecordStream {
 public:
  void BeginRecord(uint16_t id);
  void EndRecord();  // fills in the data length of the record begun last
  void U8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void F64(double v);
  void Bytes(std::string_view bytes) { bytes_.append(bytes); }
  void Zeros(size_t n) { bytes_.append(n, '\0'); }
  // Overwrites 4 bytes at an earlier position (BOUNDSHEET offsets).
  void PatchU32(size_t position, uint32_t v);

  size_t Size() const { return bytes_.size(); }
  const std::string& Bytes() const { return bytes_; }
  std::string Take() { return std::move(bytes_); }

 private:
  std::string bytes_;
  size_t record_start_ = 0;
};

// Substream types of BOF.
inline constexpr uint16_t kGlobalsSubstream = 0x0005;
inline constexpr uint16_t kWorksheetSubstream = 0x0010;

// Texts on disk: Windows-1251, cut at max_bytes (a character Windows-1251
// lacks becomes "?").
std::string DiskText(std::string_view utf8, size_t max_bytes);

// Workbook globals.
void WriteBof(RecordStream& out, uint16_t substream);
void WriteWriteAccess(RecordStream& out, std::string_view user_name);
void WriteFileSharing(RecordStream& out, bool read_only_recommended);
void WriteCodePage(RecordStream& out);
void WriteWindowProtect(RecordStream& out, bool is_protected);
void WriteProtect(RecordStream& out, bool is_protected);
void WritePassword(RecordStream& out);
void WriteWindow1(RecordStream& out, const WindowSettings& window);
void WriteBackup(RecordStream& out, bool backup);
void WriteHideObj(RecordStream& out, uint8_t show_objects);
void WriteDateMode(RecordStream& out, bool date1904);
void WritePrecision(RecordStream& out, bool as_displayed);
void WriteRefreshAll(RecordStream& out, bool refresh_all);
void WriteBookBool(RecordStream& out, bool save_external_links);
void WriteFont(RecordStream& out, const WorkbookFont& font);
void WriteFormat(RecordStream& out, uint16_t index, std::string_view format);
void WriteXf(RecordStream& out, const CellFormat& format);
void WriteBuiltInXfs(RecordStream& out);
void WriteBuiltInStyles(RecordStream& out);
void WriteStyle(RecordStream& out, const std::array<uint8_t, 4>& style);
void WritePalette(RecordStream& out, const Palette& palette);
// Returns the position of the offset field, filled in when the sheet is
// written.
size_t WriteBoundSheet(RecordStream& out, std::string_view name);
void WriteBuildRecord(RecordStream& out);
void WriteEof(RecordStream& out);

// Sheets.
void WriteCalcMode(RecordStream& out, CalcMode mode);
void WriteCalcCount(RecordStream& out, uint16_t count);
void WriteRefMode(RecordStream& out, bool a1_references);
void WriteIteration(RecordStream& out, bool iteration);
void WriteDelta(RecordStream& out, double max_change);
void WriteSaveRecalc(RecordStream& out, bool save_recalc);
void WritePrintHeaders(RecordStream& out, bool print_headings);
void WritePrintGridlines(RecordStream& out, bool print_gridlines);
void WriteGridSet(RecordStream& out);
void WriteGuts(RecordStream& out);
void WriteDefaultRowHeight(RecordStream& out, const std::optional<uint16_t>& height);
void WriteWsBool(RecordStream& out, const WorkspaceOptions& workspace);
void WriteHeader(RecordStream& out, std::string_view text);
void WriteFooter(RecordStream& out, std::string_view text);
void WriteHCenter(RecordStream& out, bool center);
void WriteVCenter(RecordStream& out, bool center);
void WriteMargins(RecordStream& out, const PrintSettings& print);
void WriteSetup(RecordStream& out, const PrintSettings& print);
void WriteDefColWidth(RecordStream& out, uint16_t width);
void WriteColInfo(RecordStream& out, const ColumnWidth& column, uint16_t xf);
void WriteDimensions(RecordStream& out, const UsedRange& range);
void WriteWindow2(RecordStream& out, const SheetOptions& options, bool selected);
void WriteScl(RecordStream& out, uint16_t zoom);
void WriteSelection(RecordStream& out);

// Cells.
void WriteNumber(RecordStream& out, uint16_t row, uint16_t column, uint16_t xf, double value);
// text is Windows-1251 already, at most 255 bytes.
void WriteLabel(RecordStream& out, uint16_t row, uint16_t column, uint16_t xf,
                std::string_view text);
void WriteBlank(RecordStream& out, uint16_t row, uint16_t column, uint16_t xf);
void WriteBoolErr(RecordStream& out, uint16_t row, uint16_t column, uint16_t xf, uint8_t value,
                  bool is_error);

// The used range of a sheet's cells; all 0 for a sheet without cells.
UsedRange FindUsedRange(const CellStore& cells);

// The whole record stream of a workbook. Records each sheet's used range
// and stream offset in the model. Throws WorkbookError for what the file
// format cannot hold ("Invalid value", "Invalid error value in cell %d:%d").
std::string BuildBiff5Stream(WorkbookData& data);

}  // namespace flovir
