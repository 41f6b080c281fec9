#include "workbook/workbook_load.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <vector>

#include "workbook/biff5_writer.h"
#include "workbook/biff_reader.h"
#include "workbook/biff_records.h"
#include "workbook/compound_file_reader.h"
#include "workbook/little_endian.h"
#include "workbook/platform_files.h"

namespace flovir {

namespace {

// Substream types the writer never emits (its own are in biff5_writer.h).
constexpr uint16_t kChartSubstream = 0x0020;
constexpr uint16_t kBiff4GlobalsSubstream = 0x0100;
constexpr size_t kMaxBofSize = 256;

// The BOF ids of Excel 2.1, 3.0, 4.0 and 5.0/97. Only these: chart records
// such as 0x1009 share the low byte.
bool IsBof(uint16_t id) {
  return id == biff::kBof2 || id == biff::kBof3 || id == biff::kBof4 || id == biff::kBof;
}

FormatVersion ModelVersion(BiffVersion v) {
  switch (v) {
    case BiffVersion::Biff2:
      return FormatVersion::Excel21;
    case BiffVersion::Biff3:
      return FormatVersion::Excel30;
    case BiffVersion::Biff4:
      return FormatVersion::Excel40;
    case BiffVersion::Biff5:
      return FormatVersion::Excel50;
    case BiffVersion::Biff8:
      return FormatVersion::Excel97;
  }
  return FormatVersion::Excel50;
}

// Excel 97 line styles past 7 (the dashed and dash-dotted kinds) have no
// place in the Excel 5.0 layout the writer uses; keep their weight.
uint8_t Biff5LineStyle(uint32_t style) {
  if (style <= 7) return static_cast<uint8_t>(style);
  return (style == 9 || style == 11) ? 3 : 2;
}

uint8_t Biff5Orientation(uint8_t rotation) {
  switch (rotation) {
    case 255:
      return 1;  // stacked
    case 90:
      return 2;  // 90 degrees counterclockwise
    case 180:
      return 3;  // 90 degrees clockwise
    default:
      return 0;
  }
}

// Reads one workbook record stream into the model.
class StreamLoader : private CellSink {
 public:
  StreamLoader(WorkbookData& data, std::span<const uint8_t> stream, BiffVersion default_version,
               const LoadProgress& progress)
      : data_(data), records_(stream), version_(default_version), progress_(progress) {}

  void Run();

 private:
  void ReadFirstBof();
  void Handle(const BiffRecord& record);
  bool HandleStructure(const BiffRecord& record);
  void HandleGlobals(const BiffRecord& record);
  void HandleSheetSettings(const BiffRecord& record);
  bool HandleCells(const BiffRecord& record);
  void BeginSubstream(const BiffRecord& record);
  void SkipChart();
  void EndSubstream();
  void StartSheet();
  std::string NextSheetName();
  FieldReader WithContinues(const BiffRecord& record);
  bool Next(BiffRecord& record);
  void Cell(const BiffCell& cell) override;
  void Store(const BiffCell& cell);
  void FlushPendingFormula();

  void ReadBoundSheet(const BiffRecord& record);
  void ReadFont(const BiffRecord& record);
  void ReadFormat(const BiffRecord& record);
  void ReadXf(const BiffRecord& record);
  void ReadWindow1(std::span<const uint8_t> d);
  void ReadSetup(std::span<const uint8_t> d, WorkbookSheet& sheet);
  std::string ReadHeaderFooter(const BiffRecord& record);
  std::string ReadUserName(std::span<const uint8_t> d);

  WorkbookData& data_;
  BiffRecordStream records_;
  BiffVersion version_;
  const LoadProgress& progress_;
  CodePageDecoder decoder_;
  std::vector<std::string> shared_strings_;
  std::deque<std::string> queued_names_;
  WorkbookSheet* sheet_ = nullptr;  // the current worksheet
  size_t sheets_started_ = 0;
  size_t records_read_ = 0;       // records after the first BOF
  int next_implicit_format_ = 0;  // Excel 2.1-4.0 FORMAT records are numbered by order
  std::optional<BiffCell> pending_formula_;
  bool done_ = false;
};

bool StreamLoader::Next(BiffRecord& record) {
  try {
    if (!records_.Next(record)) return false;
  } catch (const RecordError& e) {
    throw WorkbookError("Error on reading record # " + std::to_string(records_read_ + 1) + "\r" +
                        e.what());
  }
  ++records_read_;
  if (progress_ && records_read_ % 100 == 0) {
    progress_(static_cast<int>(records_.Position() * 100 / records_.Size()));
  }
  return true;
}

void StreamLoader::Run() {
  ReadFirstBof();
  BiffRecord record;
  while (!done_ && Next(record)) {
    // Records larger than the Excel record buffer are not Excel's; skip them.
    const size_t limit = version_ == BiffVersion::Biff8 ? 8224 : 2080;
    if (record.data.size() > limit) continue;
    try {
      Handle(record);
    } catch (const RecordError& e) {
      throw WorkbookError("Error on reading record # " + std::to_string(records_read_) + "\r" +
                          e.what());
    }
  }
  FlushPendingFormula();
  data_.version = ModelVersion(version_);
  if (progress_) progress_(100);
}

void StreamLoader::ReadFirstBof() {
  BiffRecord bof;
  bool present = false;
  try {
    present = records_.Next(bof);
  } catch (const RecordError&) {
  }
  if (!present || (bof.id & 0xFF) != 0x09) throw WorkbookError("BOF is missing in file");
  if (bof.data.size() > kMaxBofSize) throw WorkbookError("Invalid BOF size");
  if (bof.data.size() < 4) throw WorkbookError("Error on reading record # 0\rInvalid BOF record");
  const uint16_t bof_version = LoadU16(bof.data, 0);
  switch (bof.id >> 8) {
    case 0x00:
      version_ = BiffVersion::Biff2;
      break;
    case 0x02:
      version_ = BiffVersion::Biff3;
      break;
    case 0x04:
      version_ = BiffVersion::Biff4;
      break;
    default:
      // The stream name says which version to expect; the BOF has the last word.
      if (bof_version == 0x0600) version_ = BiffVersion::Biff8;
      if (bof_version == 0x0500) version_ = BiffVersion::Biff5;
      break;
  }
  data_.version = ModelVersion(version_);
  const uint16_t type = LoadU16(bof.data, 2);
  if (type == kChartSubstream) {
    SkipChart();
  } else if (type != kGlobalsSubstream && type != kBiff4GlobalsSubstream) {
    StartSheet();  // a single-sheet file of Excel 2.1 to 4.0
  }
}

void StreamLoader::Handle(const BiffRecord& record) {
  if (HandleStructure(record) || HandleCells(record)) return;
  // Workbook settings stand in the globals, or, in a single-sheet file of
  // Excel 2.1 to 4.0, among the sheet's own records.
  HandleGlobals(record);
  if (sheet_) HandleSheetSettings(record);
}

bool StreamLoader::HandleStructure(const BiffRecord& record) {
  if (IsBof(record.id)) {
    BeginSubstream(record);
    return true;
  }
  switch (record.id) {
    case biff::kEof:
      EndSubstream();
      return true;
    case biff::kFilePass:
      throw WorkbookError("File is password protected");
    case biff::kCodePage: {
      FieldReader r(record.data);
      data_.code_page = r.U16();
      decoder_.SetCodePage(data_.code_page);
      return true;
    }
    case biff::kSst: {
      FieldReader r = WithContinues(record);
      shared_strings_ = ReadSharedStrings(r);
      return true;
    }
    case biff::kBoundSheet:
    case biff::kBundleSheet:
      ReadBoundSheet(record);
      return true;
    case biff::kFont:
    case biff::kFont3:
      ReadFont(record);
      return true;
    case biff::kFormat:
    case biff::kFormat2:
      ReadFormat(record);
      return true;
    case biff::kXf:
    case biff::kXf2:
    case biff::kXf3:
    case biff::kXf4:
      ReadXf(record);
      return true;
    default:
      return false;
  }
}

void StreamLoader::BeginSubstream(const BiffRecord& record) {
  if (record.data.size() > kMaxBofSize) throw WorkbookError("Invalid BOF size");
  FieldReader r(record.data);
  r.U16();
  if (r.U16() == kChartSubstream) {
    SkipChart();
  } else {
    StartSheet();
  }
}

void StreamLoader::SkipChart() {
  // A chart, whether a sheet of its own or embedded in a worksheet, holds
  // its own BOF-EOF pairs; none of it is cells.
  BiffRecord record;
  for (size_t depth = 1; depth > 0 && Next(record);) {
    if (IsBof(record.id)) ++depth;
    if (record.id == biff::kEof) --depth;
  }
}

void StreamLoader::EndSubstream() {
  FlushPendingFormula();
  // The workbook goes on while sheets named in the globals are still to come.
  if (queued_names_.empty()) done_ = true;
  sheet_ = nullptr;
}

void StreamLoader::StartSheet() {
  FlushPendingFormula();
  const std::string name = NextSheetName();
  if (sheets_started_ == 0) {
    data_.RenameSheet(0, name);
    sheet_ = &data_.sheets[0];
  } else {
    sheet_ = &data_.AddSheet(name);
  }
  ++sheets_started_;
}

std::string StreamLoader::NextSheetName() {
  if (!queued_names_.empty()) {
    std::string name = std::move(queued_names_.front());
    queued_names_.pop_front();
    return name;
  }
  // Excel 2.1 to 4.0 worksheets are files of their own and carry no name.
  for (size_t n = sheets_started_ + 1;; ++n) {
    std::string name = "Sheet" + std::to_string(n);
    bool used = false;
    for (const WorkbookSheet& s : data_.sheets) used = used || s.name == name;
    if (!used) return name;
  }
}

FieldReader StreamLoader::WithContinues(const BiffRecord& record) {
  std::vector<std::span<const uint8_t>> segments = {record.data};
  uint16_t id = 0;
  BiffRecord next;
  while (records_.PeekId(id) && id == biff::kContinue && Next(next)) segments.push_back(next.data);
  return FieldReader(std::move(segments), version_ == BiffVersion::Biff8);
}

void StreamLoader::ReadBoundSheet(const BiffRecord& record) {
  FieldReader r(record.data);
  r.U32();  // stream offset of the sheet's BOF; the substreams follow in order anyway
  r.U8();   // visibility
  const uint8_t type = r.U8();
  const std::string name =
      version_ == BiffVersion::Biff8 ? r.UnicodeString(1) : r.ByteString(1, decoder_);
  // Charts get no sheet, and Visual Basic modules have no substream here.
  constexpr uint8_t kChartSheet = 2, kModuleSheet = 6;
  if (record.id == biff::kBoundSheet && (type == kChartSheet || type == kModuleSheet)) return;
  queued_names_.push_back(name);
}

void StreamLoader::ReadFont(const BiffRecord& record) {
  FieldReader r(record.data);
  WorkbookFont font;
  font.height_twips = r.U16();
  const uint16_t options = r.U16();
  font.italic = options & 0x02;
  font.strike_out = options & 0x08;
  if (version_ == BiffVersion::Biff2) {
    font.weight = (options & 0x01) ? 700 : 400;
    if (options & 0x04) font.underline = Underline::Single;
    font.name = r.ByteString(1, decoder_);
  } else if (version_ == BiffVersion::Biff3 || version_ == BiffVersion::Biff4) {
    font.weight = (options & 0x01) ? 700 : 400;
    if (options & 0x04) font.underline = Underline::Single;
    font.color = r.U16();
    font.name = r.ByteString(1, decoder_);
  } else {
    font.color = r.U16();
    font.weight = r.U16();
    const uint16_t escapement = r.U16();
    font.script = escapement == 1   ? Script::Superscript
                  : escapement == 2 ? Script::Subscript
                                    : Script::None;
    const uint8_t underline = r.U8();
    switch (underline) {
      case 1:
        font.underline = Underline::Single;
        break;
      case 2:
        font.underline = Underline::Double;
        break;
      case 0x21:
        font.underline = Underline::SingleAccounting;
        break;
      case 0x22:
        font.underline = Underline::DoubleAccounting;
        break;
      default:
        font.underline = Underline::None;
        break;
    }
    font.family = r.U8();
    font.charset = r.U8();
    r.U8();
    font.name = version_ == BiffVersion::Biff8 ? r.UnicodeString(1) : r.ByteString(1, decoder_);
  }
  data_.AppendFileFont(font);
}

void StreamLoader::ReadFormat(const BiffRecord& record) {
  FieldReader r(record.data);
  int index = next_implicit_format_++;
  std::string text;
  switch (version_) {
    case BiffVersion::Biff2:
    case BiffVersion::Biff3:
      text = r.ByteString(1, decoder_);
      break;
    case BiffVersion::Biff4:
      r.U16();
      text = r.ByteString(1, decoder_);
      break;
    case BiffVersion::Biff5:
      index = r.U16();
      text = r.ByteString(1, decoder_);
      break;
    case BiffVersion::Biff8:
      index = r.U16();
      text = r.UnicodeString(2);
      break;
  }
  data_.number_formats.Set(index, text);
}

void StreamLoader::ReadXf(const BiffRecord& record) {
  FieldReader r(record.data);
  CellFormat f;
  if (version_ == BiffVersion::Biff2) {
    f.font = r.U8();
    r.U8();
    f.number_format = r.U8() & 0x3F;
    data_.cell_formats.push_back(f);
    return;
  }
  if (version_ == BiffVersion::Biff3 || version_ == BiffVersion::Biff4) {
    f.font = r.U8();
    f.number_format = r.U8();
    data_.cell_formats.push_back(f);
    return;
  }
  f.font = r.U16();
  f.number_format = r.U16();
  const uint16_t type = r.U16();
  f.locked = type & 0x0001;
  f.formula_hidden = type & 0x0002;
  f.style = type & 0x0004;
  f.parent = type >> 4;
  if (version_ == BiffVersion::Biff5) {
    const uint16_t align = r.U16();
    f.horizontal = align & 0x07;
    f.wrap = align & 0x08;
    f.vertical = (align >> 4) & 0x07;
    f.orientation = (align >> 8) & 0x03;
    f.used_attributes = static_cast<uint8_t>(align >> 10);
    const uint32_t fill = r.U32();
    f.pattern_color = fill & 0x7F;
    f.background_color = (fill >> 7) & 0x7F;
    f.pattern = (fill >> 16) & 0x3F;
    f.border_bottom = (fill >> 22) & 0x07;
    f.color_bottom = (fill >> 25) & 0x7F;
    const uint32_t lines = r.U32();
    f.border_top = lines & 0x07;
    f.border_left = (lines >> 3) & 0x07;
    f.border_right = (lines >> 6) & 0x07;
    f.color_top = (lines >> 9) & 0x7F;
    f.color_left = (lines >> 16) & 0x7F;
    f.color_right = (lines >> 23) & 0x7F;
  } else {
    const uint8_t align = r.U8();
    f.horizontal = align & 0x07;
    f.wrap = align & 0x08;
    f.vertical = (align >> 4) & 0x07;
    f.orientation = Biff5Orientation(r.U8());
    r.U8();  // indent, shrink to fit, text direction
    f.used_attributes = r.U8() >> 2;
    const uint32_t lines = r.U32();
    f.border_left = Biff5LineStyle(lines & 0x0F);
    f.border_right = Biff5LineStyle((lines >> 4) & 0x0F);
    f.border_top = Biff5LineStyle((lines >> 8) & 0x0F);
    f.border_bottom = Biff5LineStyle((lines >> 12) & 0x0F);
    f.color_left = (lines >> 16) & 0x7F;
    f.color_right = (lines >> 23) & 0x7F;
    const bool diagonal = (lines >> 30) != 0;
    const uint32_t more = r.U32();
    f.color_top = more & 0x7F;
    f.color_bottom = (more >> 7) & 0x7F;
    if (diagonal) f.border_diagonal = Biff5LineStyle((more >> 21) & 0x0F);
    f.pattern = (more >> 26) & 0x3F;
    const uint16_t fill = r.U16();
    f.pattern_color = fill & 0x7F;
    f.background_color = (fill >> 7) & 0x7F;
  }
  data_.cell_formats.push_back(f);
}

void StreamLoader::ReadWindow1(std::span<const uint8_t> d) {
  if (d.size() < 18) return;
  WindowSettings& w = data_.window;
  w.left = LoadU16(d, 0);
  w.top = LoadU16(d, 2);
  w.width = LoadU16(d, 4);
  w.height = LoadU16(d, 6);
  const uint16_t options = LoadU16(d, 8);
  w.hidden = options & 0x01;
  w.iconic = options & 0x02;
  w.horizontal_scroll = options & 0x08;
  w.vertical_scroll = options & 0x10;
  w.sheet_tabs = options & 0x20;
  w.selected_sheet = LoadU16(d, 10);
  w.first_visible_tab = LoadU16(d, 12);
  w.selected_tabs = LoadU16(d, 14);
  w.tab_ratio = LoadU16(d, 16);
}

// Workbook settings. Settings records too short for their fields are
// ignored: they change no value that the meter's files rely on.
void StreamLoader::HandleGlobals(const BiffRecord& record) {
  const std::span<const uint8_t> d = record.data;
  const auto flag = [&](bool& field) {
    if (d.size() >= 2) field = LoadU16(d, 0) != 0;
  };
  switch (record.id) {
    case biff::kWriteAccess:
      data_.user_name = ReadUserName(d);
      break;
    case biff::kFileSharing:
      if (d.size() >= 2) data_.read_only_recommended = LoadU16(d, 0) == 1;
      break;
    case biff::kWindowProtect:
      flag(data_.window_protected);
      break;
    case biff::kBackup:
      flag(data_.backup);
      break;
    case biff::kHideObj:
      if (d.size() >= 2)
        data_.show_objects = static_cast<uint8_t>(std::min<uint16_t>(LoadU16(d, 0), 2));
      break;
    case biff::kDateMode:
      flag(data_.date1904);
      break;
    case biff::kPrecision:  // 0 when precision as displayed is set
      if (d.size() >= 2) data_.precision_as_displayed = LoadU16(d, 0) == 0;
      break;
    case biff::kRefreshAll:
      flag(data_.refresh_all);
      break;
    case biff::kBookBool:
      flag(data_.save_external_links);
      break;
    case biff::kWindow1:
      ReadWindow1(d);
      break;
    case biff::kPalette: {
      if (d.size() < 2) break;
      const size_t count =
          std::min<size_t>({LoadU16(d, 0), (d.size() - 2) / 4, data_.palette.size()});
      for (size_t k = 0; k < count; ++k) {
        const size_t at = 2 + 4 * k;
        data_.palette[k] = static_cast<uint32_t>(d[at]) << 16 | d[at + 1] << 8 | d[at + 2];
      }
      break;
    }
    case biff::kStyle:  // only the built-in ones, marked by the top bit
      if (d.size() >= 4 && (LoadU16(d, 0) & 0x8000))
        data_.styles.push_back({d[0], d[1], d[2], d[3]});
      break;
    default:
      break;
  }
}

std::string StreamLoader::ReadUserName(std::span<const uint8_t> d) {
  // Some writers (xlwt) put plain padded bytes here instead of an Excel 97
  // string; the name is only informative, so such a record leaves it empty.
  try {
    FieldReader r(d);
    return version_ == BiffVersion::Biff8 ? r.UnicodeString(2) : r.ByteString(1, decoder_);
  } catch (const RecordError&) {
    return {};
  }
}

void StreamLoader::ReadSetup(std::span<const uint8_t> d, WorkbookSheet& sheet) {
  if (d.size() < 34) return;
  PrintSettings& p = sheet.print;
  p.paper = LoadU16(d, 0);
  p.scale = LoadU16(d, 2);
  p.first_page = LoadU16(d, 4);
  p.fit_width = LoadU16(d, 6);
  p.fit_height = LoadU16(d, 8);
  const uint16_t options = LoadU16(d, 10);
  p.left_to_right = options & 0x01;
  p.portrait = options & 0x02;
  p.no_color = options & 0x08;
  p.draft = options & 0x10;
  p.notes = options & 0x20;
  p.horizontal_dpi = LoadU16(d, 12);
  p.vertical_dpi = LoadU16(d, 14);
  p.header_margin = LoadF64(d, 16);
  p.footer_margin = LoadF64(d, 24);
  p.copies = LoadU16(d, 32);
}

std::string StreamLoader::ReadHeaderFooter(const BiffRecord& record) {
  if (record.data.empty()) return {};
  FieldReader r(record.data);
  return version_ == BiffVersion::Biff8 ? r.UnicodeString(2) : r.ByteString(1, decoder_);
}

void StreamLoader::HandleSheetSettings(const BiffRecord& record) {
  WorkbookSheet& s = *sheet_;
  const std::span<const uint8_t> d = record.data;
  const bool word = d.size() >= 2;
  const uint16_t value = word ? LoadU16(d, 0) : 0;
  switch (record.id) {
    case biff::kCalcMode:
      if (word) {
        data_.calc_mode = value == 0        ? CalcMode::Manual
                          : value == 0xFFFF ? CalcMode::AutomaticExceptTables
                                            : CalcMode::Automatic;
      }
      break;
    case biff::kCalcCount:
      if (word) s.calc_count = value;
      break;
    case biff::kRefMode:
      if (word) s.options.a1_references = value != 0;
      break;
    case biff::kIteration:
      if (word) s.options.iteration = value != 0;
      break;
    case biff::kDelta:
      if (d.size() >= 8) s.max_change = LoadF64(d, 0);
      break;
    case biff::kSaveRecalc:
      if (word) data_.save_recalc = value != 0;
      break;
    case biff::kPrintHeaders:
      if (word) s.print.print_headings = value != 0;
      break;
    case biff::kPrintGridlines:
      if (word) s.print.print_gridlines = value != 0;
      break;
    case biff::kDefaultRowHeight:  // options, height
      if (d.size() >= 4 && (value & 0x0001)) s.default_row_height = LoadU16(d, 2);
      break;
    case biff::kWsBool:
      if (word) {
        s.workspace.auto_page_breaks = value & 0x0001;
        s.workspace.apply_styles = value & 0x0020;
        s.workspace.row_sums_below = value & 0x0040;
        s.workspace.column_sums_right = value & 0x0080;
        s.workspace.fit_to_page = value & 0x0100;
        s.workspace.outline_symbols = value & 0x0600;
      }
      break;
    case biff::kHeader:
      s.print.header = ReadHeaderFooter(record);
      break;
    case biff::kFooter:
      s.print.footer = ReadHeaderFooter(record);
      break;
    case biff::kHCenter:
      if (word) s.print.center_horizontally = value != 0;
      break;
    case biff::kVCenter:
      if (word) s.print.center_vertically = value != 0;
      break;
    case biff::kLeftMargin:
      if (d.size() >= 8) s.print.left_margin = LoadF64(d, 0);
      break;
    case biff::kRightMargin:
      if (d.size() >= 8) s.print.right_margin = LoadF64(d, 0);
      break;
    case biff::kTopMargin:
      if (d.size() >= 8) s.print.top_margin = LoadF64(d, 0);
      break;
    case biff::kBottomMargin:
      if (d.size() >= 8) s.print.bottom_margin = LoadF64(d, 0);
      break;
    case biff::kSetup:
      ReadSetup(d, s);
      break;
    case biff::kProtect:
      if (word) s.options.is_protected = value != 0;
      break;
    case biff::kDefColWidth:
      if (word) s.default_column_width = value;
      break;
    case biff::kColInfo:
      if (d.size() >= 10) {
        ColumnWidth c;
        c.first_column = LoadU16(d, 0);
        c.last_column = LoadU16(d, 2);
        c.width = LoadU16(d, 4);
        c.format = LoadU16(d, 6);
        const uint16_t options = LoadU16(d, 8);
        c.hidden = options & 0x0001;
        c.outline_level = (options >> 8) & 0x07;
        c.collapsed = options & 0x1000;
        s.column_widths.push_back(c);
      }
      break;
    case biff::kWindow2:
      if (word) {
        s.options.formulas = value & 0x0001;
        s.options.gridlines = value & 0x0002;
        s.options.headings = value & 0x0004;
        s.options.frozen_panes = value & 0x0008;
        s.options.zero_values = value & 0x0010;
      }
      break;
    case biff::kScl:  // zoom as a fraction
      if (d.size() >= 4 && LoadU16(d, 2) != 0) {
        s.zoom = static_cast<uint16_t>(std::min(LoadU16(d, 0) * 100u / LoadU16(d, 2), 0xFFFFu));
      }
      break;
    default:
      break;
  }
}

bool StreamLoader::HandleCells(const BiffRecord& record) {
  const CellContext context{version_, &decoder_, &shared_strings_};
  if (IsStringRecord(record.id, version_)) {
    FieldReader r =
        version_ == BiffVersion::Biff8 ? WithContinues(record) : FieldReader(record.data);
    const std::string text = ReadStringRecord(r, context);
    if (pending_formula_) {
      pending_formula_->text = text;
      FlushPendingFormula();
    }
    return true;
  }
  return ReadCellRecord(record, context, *this);
}

void StreamLoader::Cell(const BiffCell& cell) {
  // A formula's text result may follow in a STRING record; any other cell
  // record ends the wait.
  if (pending_formula_) FlushPendingFormula();
  if (cell.awaits_string) {
    pending_formula_ = cell;
  } else {
    Store(cell);
  }
}

void StreamLoader::FlushPendingFormula() {
  if (!pending_formula_) return;
  const BiffCell cell = std::move(*pending_formula_);
  pending_formula_.reset();
  Store(cell);
}

void StreamLoader::Store(const BiffCell& cell) {
  if (!sheet_ || cell.column > 255) return;  // past the last column Excel has
  data_.StoreCell(*sheet_, cell.row, static_cast<uint8_t>(cell.column), cell.value, cell.text);
}

}  // namespace

void LoadWorkbookBytes(WorkbookData& data, std::span<const uint8_t> file,
                       const LoadProgress& progress) {
  data.Clear();
  if (!IsCompoundFile(file)) {
    StreamLoader(data, file, BiffVersion::Biff5, progress).Run();
    return;
  }
  const CompoundFileReader container(file);
  const bool excel97 = container.HasStream("Workbook");
  if (!excel97 && !container.HasStream("Book")) throw WorkbookError("File is not a Excel Workbook");
  std::vector<uint8_t> scratch;
  const std::span<const uint8_t> stream =
      container.StreamBytes(excel97 ? "Workbook" : "Book", scratch);
  StreamLoader(data, stream, excel97 ? BiffVersion::Biff8 : BiffVersion::Biff5, progress).Run();
}

void WorkbookModel::LoadWorkbook(const LoadProgress& progress) {
  const FileBytes file(data_->file_name);
  LoadWorkbookBytes(*data_, file.Bytes(), progress);
}

}  // namespace flovir
