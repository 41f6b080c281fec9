#include "workbook/biff5_writer.h"

#include <cstring>

#include "workbook/biff_records.h"
#include "workbook/cp1251.h"
#include "workbook/little_endian.h"

namespace flovir {

namespace {

constexpr uint16_t kBiff5Version = 0x0500;
constexpr uint16_t kBuild = 3515;
constexpr uint16_t kBuildYear = 1998;
constexpr uint16_t kCodePage1251 = 1251;
constexpr uint16_t kDefaultCellXf = 15;
constexpr size_t kBuiltInXfCount = 16;
constexpr size_t kNeverWrittenFont = 4;

// Writes a record with a 2-byte value, the shape of most settings records.
void WriteWord(RecordStream& out, uint16_t id, uint16_t value) {
  out.BeginRecord(id);
  out.U16(value);
  out.EndRecord();
}

// A text with a 1-byte length before it.
void ShortText(RecordStream& out, std::string_view utf8) {
  const std::string bytes = DiskText(utf8, 255);
  out.U8(static_cast<uint8_t>(bytes.size()));
  out.Bytes(bytes);
}

void CellHeader(RecordStream& out, uint16_t id, uint16_t row, uint16_t column, uint16_t xf) {
  out.BeginRecord(id);
  out.U16(row);
  out.U16(column);
  out.U16(xf);
}

// Fonts carry the character set by which some readers decode the texts;
// the texts are Windows-1251, so an ANSI or default set is written as
// Cyrillic.
uint8_t DiskCharset(uint8_t charset) {
  return charset == kCharsetAnsi || charset == kCharsetDefault ? kCharsetCyrillic : charset;
}

bool ValidErrorCode(uint8_t code) {
  return !ErrorText(code).empty();
}

// The XF index written for a format index. Indexes the cell format list
// does not hold are written as the default cell XF, so that the file never
// refers to a format it lacks.
uint16_t XfIndex(const WorkbookData& data, int format) {
  if (format < 0 || static_cast<size_t>(format) >= data.cell_formats.size()) {
    return kDefaultCellXf;
  }
  return static_cast<uint16_t>(data.formats_from_file ? format : format + kBuiltInXfCount);
}

bool InRange16(int v) {
  return v >= 0 && v <= 0xFFFF;
}

void CheckColumnWidth(const ColumnWidth& c, int xf) {
  if (!InRange16(c.first_column) || !InRange16(c.last_column) || !InRange16(c.width) ||
      !InRange16(xf) || c.outline_level < 0 || c.outline_level > 16) {
    throw WorkbookError("Invalid value");
  }
}

void WriteGlobals(RecordStream& out, const WorkbookData& data,
                  std::vector<size_t>& sheet_offset_fields) {
  WriteBof(out, kGlobalsSubstream);
  WriteWriteAccess(out, data.user_name);
  WriteFileSharing(out, data.read_only_recommended);
  WriteCodePage(out);
  WriteWindowProtect(out, data.window_protected);
  bool any_protected = false;
  for (const auto& sheet : data.sheets) any_protected |= sheet.options.is_protected;
  if (any_protected) WriteProtect(out, true);
  WritePassword(out);
  WriteWindow1(out, data.window);
  WriteBackup(out, data.backup);
  WriteHideObj(out, data.show_objects);
  WriteDateMode(out, data.date1904);
  WritePrecision(out, data.precision_as_displayed);
  WriteRefreshAll(out, data.refresh_all);
  WriteBookBool(out, data.save_external_links);
  for (size_t i = 0; i < data.fonts.size(); ++i) {
    if (i != kNeverWrittenFont) WriteFont(out, data.fonts[i]);
  }
  const NumberFormatTable& formats = data.number_formats;
  for (int i = 0; i < formats.Size(); ++i) {
    const std::string& s = formats.Get(i);
    const bool custom = i >= NumberFormatTable::kBuiltInCount && !s.empty();
    const bool changed_built_in =
        i < NumberFormatTable::kBuiltInCount && s != NumberFormatTable::BuiltIn(i);
    if (custom || changed_built_in) WriteFormat(out, static_cast<uint16_t>(i), s);
  }
  if (!data.formats_from_file) WriteBuiltInXfs(out);
  for (const CellFormat& format : data.cell_formats) WriteXf(out, format);
  if (!data.formats_from_file) {
    WriteBuiltInStyles(out);
  } else {
    for (const auto& style : data.styles) WriteStyle(out, style);
  }
  WritePalette(out, data.palette);
  for (const auto& sheet : data.sheets) {
    sheet_offset_fields.push_back(WriteBoundSheet(out, sheet.name));
  }
  WriteBuildRecord(out);
  WriteEof(out);
}

void WriteCell(RecordStream& out, const WorkbookData& data, uint16_t row, uint8_t column,
               const WorkbookCell& cell) {
  const uint16_t xf = XfIndex(data, cell.format);
  // A formula is written as its cached result: this writer writes no
  // formulas.
  const CellType type = cell.type == CellType::Formula ? cell.result : cell.type;
  switch (type) {
    case CellType::Number:
      WriteNumber(out, row, column, xf, cell.number);
      break;
    case CellType::Text:
      WriteLabel(out, row, column, xf, DiskText(data.CellString(cell), 255));
      break;
    case CellType::Boolean:
      WriteBoolErr(out, row, column, xf, cell.code ? 1 : 0, false);
      break;
    case CellType::Error:
      WriteBoolErr(out, row, column, xf, cell.code, true);
      break;
    case CellType::Blank:
      if (cell.type == CellType::Formula) {
        WriteLabel(out, row, column, xf, {});  // an empty text result
      } else {
        WriteBlank(out, row, column, xf);
      }
      break;
    default:
      break;
  }
}

void WriteSheet(RecordStream& out, const WorkbookData& data, const WorkbookSheet& sheet,
                bool selected) {
  WriteBof(out, kWorksheetSubstream);
  WriteCalcMode(out, data.calc_mode);
  WriteCalcCount(out, sheet.calc_count);
  WriteRefMode(out, sheet.options.a1_references);
  WriteIteration(out, sheet.options.iteration);
  WriteDelta(out, sheet.max_change);
  WriteSaveRecalc(out, data.save_recalc);
  WritePrintHeaders(out, sheet.print.print_headings);
  WritePrintGridlines(out, sheet.print.print_gridlines);
  WriteGridSet(out);
  WriteGuts(out);
  WriteDefaultRowHeight(out, sheet.default_row_height);
  WriteWsBool(out, sheet.workspace);
  WriteHeader(out, sheet.print.header);
  WriteFooter(out, sheet.print.footer);
  WriteHCenter(out, sheet.print.center_horizontally);
  WriteVCenter(out, sheet.print.center_vertically);
  WriteMargins(out, sheet.print);
  WriteSetup(out, sheet.print);
  WriteProtect(out, sheet.options.is_protected);
  if (sheet.default_column_width != 0) WriteDefColWidth(out, sheet.default_column_width);
  for (const ColumnWidth& column : sheet.column_widths) {
    WriteColInfo(out, column, XfIndex(data, column.format));
  }
  WriteDimensions(out, sheet.used_range);
  sheet.cells.ForEach([&](uint16_t row, uint8_t column, const WorkbookCell& cell) {
    WriteCell(out, data, row, column, cell);
  });
  WriteWindow1(out, data.window);
  WriteWindow2(out, sheet.options, selected);
  if (sheet.zoom != 0 && sheet.zoom != 100) WriteScl(out, sheet.zoom);
  WriteSelection(out);
  WriteEof(out);
}

// Everything that the file format cannot hold is refused before a byte is
// written.
void CheckWritable(const WorkbookData& data) {
  for (const auto& sheet : data.sheets) {
    for (const ColumnWidth& column : sheet.column_widths) {
      CheckColumnWidth(column, XfIndex(data, column.format));
    }
    sheet.cells.ForEach([](uint16_t row, uint8_t column, const WorkbookCell& cell) {
      const bool error = cell.type == CellType::Error ||
                         (cell.type == CellType::Formula && cell.result == CellType::Error);
      if (error && !ValidErrorCode(cell.code)) {
        throw WorkbookError("Invalid error value in cell " + std::to_string(row) + ":" +
                            std::to_string(column));
      }
    });
  }
}

}  // namespace

void RecordStream::BeginRecord(uint16_t id) {
  record_start_ = bytes_.size();
  U16(id);
  U16(0);
}

void RecordStream::EndRecord() {
  const size_t length = bytes_.size() - record_start_ - 4;
  StoreU16(bytes_, record_start_ + 2, static_cast<uint16_t>(length));
}

void RecordStream::U16(uint16_t v) {
  AppendU16(bytes_, v);
}

void RecordStream::U32(uint32_t v) {
  AppendU32(bytes_, v);
}

void RecordStream::F64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  U32(static_cast<uint32_t>(bits));
  U32(static_cast<uint32_t>(bits >> 32));
}

void RecordStream::PatchU32(size_t position, uint32_t v) {
  StoreU32(bytes_, position, v);
}

std::string DiskText(std::string_view utf8, size_t max_bytes) {
  std::string bytes = Utf8ToCp1251(utf8);
  if (bytes.size() > max_bytes) bytes.resize(max_bytes);
  return bytes;
}

void WriteBof(RecordStream& out, uint16_t substream) {
  out.BeginRecord(biff::kBof);
  out.U16(kBiff5Version);
  out.U16(substream);
  out.U16(kBuild);
  out.U16(kBuildYear);
  out.EndRecord();
}

void WriteWriteAccess(RecordStream& out, std::string_view user_name) {
  const std::string name = DiskText(user_name, 111);
  out.BeginRecord(biff::kWriteAccess);
  out.U8(static_cast<uint8_t>(name.size()));
  out.Bytes(name);
  out.Bytes(std::string(111 - name.size(), ' '));
  out.EndRecord();
}

void WriteFileSharing(RecordStream& out, bool read_only_recommended) {
  out.BeginRecord(biff::kFileSharing);
  out.U16(read_only_recommended ? 1 : 0);
  out.U16(0);  // password hash
  out.U8(0);   // user name length
  out.U8(0);
  out.EndRecord();
}

// The texts are written in Windows-1251, so that is the code page declared.
void WriteCodePage(RecordStream& out) {
  WriteWord(out, biff::kCodePage, kCodePage1251);
}

void WriteWindowProtect(RecordStream& out, bool is_protected) {
  WriteWord(out, biff::kWindowProtect, is_protected ? 1 : 0);
}

void WriteProtect(RecordStream& out, bool is_protected) {
  WriteWord(out, biff::kProtect, is_protected ? 1 : 0);
}

void WritePassword(RecordStream& out) {
  WriteWord(out, biff::kPassword, 0);
}

void WriteWindow1(RecordStream& out, const WindowSettings& w) {
  out.BeginRecord(biff::kWindow1);
  out.U16(w.left);
  out.U16(w.top);
  out.U16(w.width);
  out.U16(w.height);
  out.U16(static_cast<uint16_t>((w.hidden ? 0x01 : 0) | (w.iconic ? 0x02 : 0) |
                                (w.horizontal_scroll ? 0x08 : 0) | (w.vertical_scroll ? 0x10 : 0) |
                                (w.sheet_tabs ? 0x20 : 0)));
  out.U16(w.selected_sheet);
  out.U16(w.first_visible_tab);
  out.U16(w.selected_tabs);
  out.U16(w.tab_ratio);
  out.EndRecord();
}

void WriteBackup(RecordStream& out, bool backup) {
  WriteWord(out, biff::kBackup, backup ? 1 : 0);
}
void WriteHideObj(RecordStream& out, uint8_t show_objects) {
  WriteWord(out, biff::kHideObj, show_objects);
}
void WriteDateMode(RecordStream& out, bool date1904) {
  WriteWord(out, biff::kDateMode, date1904 ? 1 : 0);
}
void WritePrecision(RecordStream& out, bool as_displayed) {
  WriteWord(out, biff::kPrecision, as_displayed ? 0 : 1);
}
void WriteRefreshAll(RecordStream& out, bool refresh_all) {
  WriteWord(out, biff::kRefreshAll, refresh_all ? 1 : 0);
}
void WriteBookBool(RecordStream& out, bool save_external_links) {
  WriteWord(out, biff::kBookBool, save_external_links ? 1 : 0);
}

void WriteFont(RecordStream& out, const WorkbookFont& font) {
  out.BeginRecord(biff::kFont);
  out.U16(font.height_twips);
  // Bit 0 repeats the weight's boldness; readers that look only at the
  // options (xlrd) need it.
  out.U16(static_cast<uint16_t>((font.Bold() ? 0x01 : 0) | (font.italic ? 0x02 : 0) |
                                (font.strike_out ? 0x08 : 0)));
  out.U16(font.color);
  out.U16(font.weight);
  out.U16(static_cast<uint16_t>(font.script));
  out.U8(static_cast<uint8_t>(font.underline));
  out.U8(font.family);
  out.U8(DiskCharset(font.charset));
  out.U8(0);
  ShortText(out, font.name);
  out.EndRecord();
}

void WriteFormat(RecordStream& out, uint16_t index, std::string_view format) {
  out.BeginRecord(biff::kFormat);
  out.U16(index);
  ShortText(out, format);
  out.EndRecord();
}

void WriteXf(RecordStream& out, const CellFormat& f) {
  out.BeginRecord(biff::kXf);
  out.U16(f.font);
  out.U16(static_cast<uint16_t>(f.number_format < 0 ? 0 : f.number_format));
  out.U16(static_cast<uint16_t>((f.locked ? 0x0001 : 0) | (f.formula_hidden ? 0x0002 : 0) |
                                (f.style ? 0x0004 : 0) | (f.parent & 0x0FFF) << 4));
  out.U16(static_cast<uint16_t>((f.horizontal & 0x07) | (f.wrap ? 0x08 : 0) |
                                (f.vertical & 0x07) << 4 | (f.orientation & 0x03) << 8 |
                                (f.used_attributes & 0x3F) << 10));
  out.U32((f.pattern_color & 0x7Fu) | (f.background_color & 0x7Fu) << 7 |
          (f.pattern & 0x3Fu) << 16 | (f.border_bottom & 0x07u) << 22 |
          (f.color_bottom & 0x7Fu) << 25);
  out.U32((f.border_top & 0x07u) | (f.border_left & 0x07u) << 3 | (f.border_right & 0x07u) << 6 |
          (f.color_top & 0x7Fu) << 9 | (f.color_left & 0x7Fu) << 16 |
          (f.color_right & 0x7Fu) << 23);
  out.EndRecord();
}

void WriteBuiltInXfs(RecordStream& out) {
  // Fifteen style XFs (the Normal style and the fourteen outline level
  // styles, with fonts 1 and 2 for the first two levels) and the default
  // cell XF.
  for (size_t i = 0; i < kBuiltInXfCount; ++i) {
    CellFormat f;
    f.number_format = 0;
    f.font = i == 1 || i == 2 ? 1 : i == 3 || i == 4 ? 2 : 0;
    f.style = i < 15;
    f.parent = f.style ? 0x0FFF : 0;
    f.used_attributes = i == 0 || i == 15 ? 0 : 0x3D;
    f.background_color = kColorAutomatic + 1;
    f.color_top = f.color_left = f.color_right = f.color_bottom = 0;
    WriteXf(out, f);
  }
}

void WriteBuiltInStyles(RecordStream& out) {
  static const uint8_t kStyles[6][4] = {{0x10, 0x80, 0x03, 0xFF}, {0x11, 0x80, 0x06, 0xFF},
                                        {0x12, 0x80, 0x04, 0xFF}, {0x13, 0x80, 0x07, 0xFF},
                                        {0x00, 0x80, 0x00, 0xFF}, {0x14, 0x80, 0x05, 0xFF}};
  for (const auto& style : kStyles) WriteStyle(out, {style[0], style[1], style[2], style[3]});
}

void WriteStyle(RecordStream& out, const std::array<uint8_t, 4>& style) {
  out.BeginRecord(biff::kStyle);
  for (uint8_t b : style) out.U8(b);
  out.EndRecord();
}

void WritePalette(RecordStream& out, const Palette& palette) {
  out.BeginRecord(biff::kPalette);
  out.U16(static_cast<uint16_t>(palette.size()));
  for (uint32_t rgb : palette) {
    out.U8(static_cast<uint8_t>(rgb >> 16));
    out.U8(static_cast<uint8_t>(rgb >> 8));
    out.U8(static_cast<uint8_t>(rgb));
    out.U8(0);
  }
  out.EndRecord();
}

size_t WriteBoundSheet(RecordStream& out, std::string_view name) {
  out.BeginRecord(biff::kBoundSheet);
  const size_t offset_field = out.Size();
  out.U32(0);
  out.U16(0);  // visible worksheet
  ShortText(out, name);
  out.EndRecord();
  return offset_field;
}

void WriteBuildRecord(RecordStream& out) {
  out.BeginRecord(biff::kRecalcId);
  out.Bytes(std::string_view("\xC1\x01\x00\x00\x60\x69\x01\x00", 8));
  out.EndRecord();
}

void WriteEof(RecordStream& out) {
  out.BeginRecord(biff::kEof);
  out.EndRecord();
}

void WriteCalcMode(RecordStream& out, CalcMode mode) {
  const uint16_t value = mode == CalcMode::Manual ? 0 : mode == CalcMode::Automatic ? 1 : 0xFFFF;
  WriteWord(out, biff::kCalcMode, value);
}

void WriteCalcCount(RecordStream& out, uint16_t count) {
  WriteWord(out, biff::kCalcCount, count);
}
void WriteRefMode(RecordStream& out, bool a1_references) {
  WriteWord(out, biff::kRefMode, a1_references ? 1 : 0);
}
void WriteIteration(RecordStream& out, bool iteration) {
  WriteWord(out, biff::kIteration, iteration ? 1 : 0);
}

void WriteDelta(RecordStream& out, double max_change) {
  out.BeginRecord(biff::kDelta);
  out.F64(max_change);
  out.EndRecord();
}

void WriteSaveRecalc(RecordStream& out, bool save_recalc) {
  WriteWord(out, biff::kSaveRecalc, save_recalc ? 1 : 0);
}
void WritePrintHeaders(RecordStream& out, bool print_headings) {
  WriteWord(out, biff::kPrintHeaders, print_headings ? 1 : 0);
}
void WritePrintGridlines(RecordStream& out, bool print_gridlines) {
  WriteWord(out, biff::kPrintGridlines, print_gridlines ? 1 : 0);
}
void WriteGridSet(RecordStream& out) {
  WriteWord(out, biff::kGridSet, 1);
}

void WriteGuts(RecordStream& out) {
  out.BeginRecord(biff::kGuts);
  out.Zeros(8);
  out.EndRecord();
}

void WriteDefaultRowHeight(RecordStream& out, const std::optional<uint16_t>& height) {
  out.BeginRecord(biff::kDefaultRowHeight);
  out.U16(height ? 1 : 0);
  out.U16(height.value_or(255));
  out.EndRecord();
}

void WriteWsBool(RecordStream& out, const WorkspaceOptions& w) {
  // Columns sums to the right has no bit of its own in this record.
  WriteWord(out, biff::kWsBool,
            static_cast<uint16_t>((w.auto_page_breaks ? 0x0001 : 0) |
                                  (w.apply_styles ? 0x0020 : 0) | (w.row_sums_below ? 0x0040 : 0) |
                                  (w.fit_to_page ? 0x0100 : 0) | (w.outline_symbols ? 0x0600 : 0)));
}

void WriteHeader(RecordStream& out, std::string_view text) {
  out.BeginRecord(biff::kHeader);
  if (!text.empty()) ShortText(out, text);
  out.EndRecord();
}

void WriteFooter(RecordStream& out, std::string_view text) {
  out.BeginRecord(biff::kFooter);
  if (!text.empty()) ShortText(out, text);
  out.EndRecord();
}

void WriteHCenter(RecordStream& out, bool center) {
  WriteWord(out, biff::kHCenter, center ? 1 : 0);
}
void WriteVCenter(RecordStream& out, bool center) {
  WriteWord(out, biff::kVCenter, center ? 1 : 0);
}

void WriteMargins(RecordStream& out, const PrintSettings& print) {
  const std::optional<double>* margins[] = {&print.left_margin, &print.right_margin,
                                            &print.top_margin, &print.bottom_margin};
  for (uint16_t i = 0; i < 4; ++i) {
    const std::optional<double>& margin = *margins[i];
    if (!margin || *margin < 0) continue;
    out.BeginRecord(static_cast<uint16_t>(biff::kLeftMargin + i));
    out.F64(*margin);
    out.EndRecord();
  }
}

void WriteSetup(RecordStream& out, const PrintSettings& p) {
  out.BeginRecord(biff::kSetup);
  out.U16(p.paper);
  out.U16(p.scale);
  out.U16(p.first_page);
  out.U16(p.fit_width);
  out.U16(p.fit_height);
  out.U16(static_cast<uint16_t>((p.left_to_right ? 0x01 : 0) | (p.portrait ? 0x02 : 0) |
                                (p.no_color ? 0x08 : 0) | (p.draft ? 0x10 : 0) |
                                (p.notes ? 0x20 : 0)));
  out.U16(p.horizontal_dpi);
  out.U16(p.vertical_dpi);
  out.F64(p.header_margin);
  out.F64(p.footer_margin);
  out.U16(p.copies);
  out.EndRecord();
}

void WriteDefColWidth(RecordStream& out, uint16_t width) {
  WriteWord(out, biff::kDefColWidth, width);
}

void WriteColInfo(RecordStream& out, const ColumnWidth& c, uint16_t xf) {
  out.BeginRecord(biff::kColInfo);
  out.U16(static_cast<uint16_t>(c.first_column));
  out.U16(static_cast<uint16_t>(c.last_column));
  out.U16(static_cast<uint16_t>(c.width));
  out.U16(xf);
  out.U16(static_cast<uint16_t>((c.hidden ? 0x0001 : 0) | c.outline_level << 8 |
                                (c.collapsed ? 0x1000 : 0)));
  out.U16(0);
  out.EndRecord();
}

void WriteDimensions(RecordStream& out, const UsedRange& r) {
  out.BeginRecord(biff::kDimensions);
  out.U16(r.first_row);
  out.U16(static_cast<uint16_t>(r.last_row + 1));
  out.U16(r.first_column);
  out.U16(static_cast<uint16_t>(r.last_column + 1));
  out.U16(0);
  out.EndRecord();
}

void WriteWindow2(RecordStream& out, const SheetOptions& o, bool selected) {
  // Frozen panes are not written: the model keeps no pane position, and
  // the flag without a PANE record would describe a pane that is not there.
  const uint16_t options = static_cast<uint16_t>(
      0x04A0 | (o.formulas ? 0x0001 : 0) | (o.gridlines ? 0x0002 : 0) | (o.headings ? 0x0004 : 0) |
      (o.zero_values ? 0x0010 : 0) | (selected ? 0x0200 : 0));
  out.BeginRecord(biff::kWindow2);
  out.U16(options);
  out.U16(0);  // top row
  out.U16(0);  // left column
  out.U32(0);  // header colour
  out.EndRecord();
}

void WriteScl(RecordStream& out, uint16_t zoom) {
  out.BeginRecord(biff::kScl);
  out.U16(zoom);
  out.U16(100);
  out.EndRecord();
}

void WriteSelection(RecordStream& out) {
  out.BeginRecord(biff::kSelection);
  out.U8(3);   // pane
  out.U16(0);  // active row
  out.U16(0);  // active column
  out.U16(0);  // active reference
  out.U16(1);  // reference count
  out.U16(0);  // rows 0-0
  out.U16(0);
  out.U8(0);  // columns 0-0
  out.U8(0);
  out.EndRecord();
}

void WriteNumber(RecordStream& out, uint16_t row, uint16_t column, uint16_t xf, double value) {
  CellHeader(out, biff::kNumber, row, column, xf);
  out.F64(value);
  out.EndRecord();
}

void WriteLabel(RecordStream& out, uint16_t row, uint16_t column, uint16_t xf,
                std::string_view text) {
  CellHeader(out, biff::kLabel, row, column, xf);
  out.U16(static_cast<uint16_t>(text.size()));
  out.Bytes(text);
  out.EndRecord();
}

void WriteBlank(RecordStream& out, uint16_t row, uint16_t column, uint16_t xf) {
  CellHeader(out, biff::kBlank, row, column, xf);
  out.EndRecord();
}

void WriteBoolErr(RecordStream& out, uint16_t row, uint16_t column, uint16_t xf, uint8_t value,
                  bool is_error) {
  CellHeader(out, biff::kBoolErr, row, column, xf);
  out.U8(value);
  out.U8(is_error ? 1 : 0);
  out.EndRecord();
}

UsedRange FindUsedRange(const CellStore& cells) {
  UsedRange r;
  bool first = true;
  cells.ForEach([&](uint16_t row, uint8_t column, const WorkbookCell&) {
    if (first) {
      r = {row, row, column, column};
      first = false;
      return;
    }
    r.last_row = row;  // cells come in ascending row order
    r.first_column = std::min<uint16_t>(r.first_column, column);
    r.last_column = std::max<uint16_t>(r.last_column, column);
  });
  return r;
}

std::string BuildBiff5Stream(WorkbookData& data) {
  CheckWritable(data);
  RecordStream out;
  std::vector<size_t> offset_fields;
  WriteGlobals(out, data, offset_fields);
  for (size_t i = 0; i < data.sheets.size(); ++i) {
    WorkbookSheet& sheet = data.sheets[i];
    sheet.used_range = FindUsedRange(sheet.cells);
    sheet.stream_offset = static_cast<uint32_t>(out.Size());
    out.PatchU32(offset_fields[i], sheet.stream_offset);
    WriteSheet(out, data, sheet, i == data.window.selected_sheet);
  }
  return out.Take();
}

}  // namespace flovir
