#pragma once
// The records of a workbook in memory: what SaveWorkbook writes and what
// LoadWorkbook fills. Texts (sheet names, font names, format strings, cell
// texts) are UTF-8 here; the writer converts them to Windows-1251.
//
// How a load fills the model:
//  1. Call Clear(): one empty sheet, no fonts, no cell formats, no styles,
//     the 50 built-in number formats, the default palette, and
//     formats_from_file set.
//  2. fonts: one WorkbookFont per FONT record, indexed as the XF records
//     reference them. Font index 4 does not exist in the file format, so
//     before the file's fifth FONT record append a copy of font 0 at
//     position 4 (AppendFileFont does this); the writer skips position 4.
//  3. number_formats: each FORMAT record's string goes to the index the record
//     gives (NumberFormatTable::Set), replacing a built-in string there.
//  4. cell_formats: one CellFormat per XF record in file order, including the
//     file's own 16 built-in ones; decode every field (BIFF5 or BIFF8 layout)
//     so that the writer can encode them in the BIFF5 layout. used_attributes
//     is the 6-bit group of "attribute used" flags (number format, font,
//     alignment, border, background, protection).
//  5. styles: the 4 bytes of each built-in STYLE record (index word with its
//     top bit set), as read.
//  6. palette: the colours of a PALETTE record, from index 8 on.
//  7. Sheets: the first worksheet uses sheets[0] (rename it); further ones
//     AddSheet(name). Cells go in with StoreCell, their format being the XF
//     index of their record. Settings records set the sheet's fields.
//  8. version: the file's format version.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/cell_store.h"
#include "workbook/string_table.h"
#include "workbook/workbook.h"

namespace flovir {

enum class FormatVersion { Excel21, Excel30, Excel40, Excel50, Excel97 };

enum class Underline : uint8_t {
  None = 0,
  Single = 1,
  Double = 2,
  SingleAccounting = 0x21,
  DoubleAccounting = 0x22
};
enum class Script : uint8_t { None = 0, Superscript = 1, Subscript = 2 };

// Character sets of a FONT record.
inline constexpr uint8_t kCharsetAnsi = 0;
inline constexpr uint8_t kCharsetDefault = 1;
inline constexpr uint8_t kCharsetCyrillic = 204;

struct WorkbookFont {
  std::string name = "Arial";
  uint16_t height_twips = 200;  // 1/20 point: 10 pt
  uint16_t color = 8;           // palette index; 8 is black
  uint16_t weight = 400;        // 400 regular, 700 bold
  bool italic = false;
  bool strike_out = false;
  Underline underline = Underline::None;
  Script script = Script::None;
  uint8_t family = 0;
  // Cyrillic, so that readers that decode by the font (gnumeric) show the
  // Windows-1251 texts as they are.
  uint8_t charset = kCharsetCyrillic;

  bool Bold() const { return weight >= 700; }
  bool operator==(const WorkbookFont&) const = default;
};

// Border line styles and colours.
inline constexpr uint8_t kLineNone = 0;
inline constexpr uint8_t kLineThin = 1;
inline constexpr uint8_t kColorAutomatic = 64;

// Attribute groups of an XF record's "used" flags.
inline constexpr uint8_t kUsedNumberFormat = 0x01;
inline constexpr uint8_t kUsedFont = 0x02;
inline constexpr uint8_t kUsedAlignment = 0x04;
inline constexpr uint8_t kUsedBorder = 0x08;
inline constexpr uint8_t kUsedBackground = 0x10;
inline constexpr uint8_t kUsedProtection = 0x20;

// One cell format: an XF record decoded.
struct CellFormat {
  uint16_t font = 0;
  int number_format = -1;  // index into NumberFormatTable; -1 none (General)
  bool locked = true;
  bool formula_hidden = false;
  bool style = false;      // a style XF rather than a cell XF
  uint16_t parent = 0;     // a cell XF's parent style XF; 0xFFF in style XFs
  uint8_t horizontal = 0;  // 0 general, 1 left, 2 centred, 3 right, ...
  bool wrap = false;
  uint8_t vertical = 2;  // 0 top, 1 centred, 2 bottom, 3 justified
  uint8_t orientation = 0;
  uint8_t used_attributes = 0;  // kUsed* flags as the file holds them
  uint8_t border_top = kLineNone, border_left = kLineNone;
  uint8_t border_right = kLineNone, border_bottom = kLineNone;
  uint8_t border_diagonal = kLineNone;  // BIFF5 has no place for it
  uint8_t color_top = kColorAutomatic, color_left = kColorAutomatic;
  uint8_t color_right = kColorAutomatic, color_bottom = kColorAutomatic;
  uint8_t pattern = 0;
  uint8_t pattern_color = kColorAutomatic;     // foreground
  uint8_t background_color = kColorAutomatic;  // pattern background

  bool HasBorder() const {
    return border_top != kLineNone || border_left != kLineNone || border_right != kLineNone ||
           border_bottom != kLineNone;
  }
  bool operator==(const CellFormat&) const = default;
};

// Number format strings by index: 0-49 the built-in formats in their standard
// numbering, custom strings from 50 on (a file may place them elsewhere).
class NumberFormatTable {
 public:
  static constexpr int kBuiltInCount = 50;

  NumberFormatTable();  // the 50 built-in entries
  static std::string_view BuiltIn(int index);

  // Index of text, appending it when it is new.
  int Add(std::string_view text);
  // Puts text at index (a FORMAT record of a file), growing the table.
  void Set(int index, std::string_view text);
  // The string at index; empty for General, a gap or an index out of range.
  const std::string& Get(int index) const;
  int Size() const { return static_cast<int>(strings_.size()); }
  void Reset() { *this = NumberFormatTable(); }

 private:
  std::vector<std::string> strings_;
};

using Palette = std::array<uint32_t, 56>;  // 0xRRGGBB of palette indexes 8 to 63
const Palette& DefaultPalette();

struct ColumnWidth {
  // Kept wide so that values out of range can be held and refused at save
  // ("Invalid value").
  int first_column = 0;
  int last_column = 0;
  int width = 2500;  // 1/256 of the width of the digit "8" of font 0
  int format = -1;   // a format index as cells carry it; negative: default
  bool hidden = false;
  int outline_level = 0;  // 0-16
  bool collapsed = false;
};

struct SheetOptions {
  bool gridlines = true;
  bool headings = true;
  bool zero_values = true;
  bool is_protected = false;
  bool a1_references = true;
  bool iteration = false;
  bool formulas = false;
  bool frozen_panes = false;
};

struct WorkspaceOptions {
  bool auto_page_breaks = true;
  bool apply_styles = false;
  bool row_sums_below = true;
  bool column_sums_right = true;
  bool fit_to_page = false;
  bool outline_symbols = true;
};

struct PrintSettings {
  uint16_t paper = 9;  // A4
  bool portrait = true;
  uint16_t scale = 100;
  uint16_t first_page = 1;
  uint16_t fit_width = 1;
  uint16_t fit_height = 1;
  bool left_to_right = false;
  bool no_color = false;
  bool draft = false;
  bool notes = false;
  uint16_t copies = 1;
  uint16_t horizontal_dpi = 600;
  uint16_t vertical_dpi = 600;
  // Inches; a margin that is not set writes no record.
  std::optional<double> left_margin, right_margin, top_margin, bottom_margin;
  double header_margin = 0;
  double footer_margin = 0;
  std::string header, footer;
  bool center_horizontally = false;
  bool center_vertically = false;
  bool print_headings = false;
  bool print_gridlines = false;
};

struct UsedRange {
  uint16_t first_row = 0, last_row = 0;
  uint16_t first_column = 0, last_column = 0;
};

struct WorkbookSheet {
  std::string name;
  uint16_t default_column_width = 8;  // characters
  std::optional<uint16_t> default_row_height;
  SheetOptions options;
  WorkspaceOptions workspace;
  uint16_t calc_count = 100;
  double max_change = 0.001;
  uint16_t zoom = 100;
  PrintSettings print;
  std::vector<ColumnWidth> column_widths;
  CellStore cells;
  // Recorded by the last save.
  UsedRange used_range;
  uint32_t stream_offset = 0;
};

struct WindowSettings {
  uint16_t left = 100, top = 100, width = 10000, height = 7000;
  bool hidden = false;
  bool iconic = false;
  bool horizontal_scroll = true;
  bool vertical_scroll = true;
  bool sheet_tabs = true;
  uint16_t selected_sheet = 0;
  uint16_t first_visible_tab = 0;
  uint16_t selected_tabs = 1;
  uint16_t tab_ratio = 600;
};

enum class CalcMode { Manual = 0, Automatic = 1, AutomaticExceptTables = 2 };

struct WorkbookData {
  std::string file_name;
  FormatVersion version = FormatVersion::Excel50;
  // The code page the file declared. The writer always writes 1251: the code
  // page of the texts it writes.
  uint16_t code_page = 1251;
  std::string user_name;
  bool read_only_recommended = false;
  bool backup = false;
  bool window_protected = false;
  bool refresh_all = false;
  bool date1904 = false;
  bool precision_as_displayed = false;
  bool save_external_links = false;
  bool save_recalc = true;
  uint8_t show_objects = 0;  // 0 all, 1 placeholders, 2 none
  CalcMode calc_mode = CalcMode::Automatic;
  WindowSettings window;
  std::vector<WorkbookFont> fonts;
  std::vector<CellFormat> cell_formats;
  NumberFormatTable number_formats;
  std::vector<std::array<uint8_t, 4>> styles;
  Palette palette = DefaultPalette();
  bool formats_from_file = false;
  std::vector<WorkbookSheet> sheets;
  StringTable strings;

  // Empties the model for a load (step 1 above).
  void Clear();
  // Appends a sheet; a name already used is refused with
  // "Sheet name "NAME" allready exists".
  WorkbookSheet& AddSheet(std::string_view name);
  // Renames a sheet with the same refusal.
  void RenameSheet(size_t sheet, std::string_view name);
  // Appends a font read from a file, inserting the missing font 4.
  void AppendFileFont(const WorkbookFont& font);
  // The sheet at a position; throws WorkbookError when there is none.
  WorkbookSheet& Sheet(size_t sheet);
  const WorkbookSheet& Sheet(size_t sheet) const;

  // Puts a cell as it is (a load): any cell there is replaced and its text
  // released. Text cells and formulas with a text result take the text.
  void StoreCell(size_t sheet, uint16_t row, uint8_t column, WorkbookCell cell,
                 std::string_view text = {});
  void StoreCell(WorkbookSheet& sheet, uint16_t row, uint8_t column, const WorkbookCell& cell,
                 std::string_view text = {}) {
    WorkbookCell& slot = sheet.cells.Slot(row, column);
    // Most cells of a load are numbers landing on empty slots: no text to
    // count either way.
    if (!cell.HoldsText() && !slot.HoldsText()) {
      slot = cell;
    } else {
      ReplaceTextCell(slot, cell, text);
    }
  }
  void ClearCells(WorkbookSheet& sheet);
  // The text of a text cell or of a formula's text result.
  const std::string& CellString(const WorkbookCell& cell) const;
  // StoreCell's path for cells that take or drop a text.
  void ReplaceTextCell(WorkbookCell& slot, WorkbookCell cell, std::string_view text);
};

// Error codes of error cells and their texts.
inline constexpr uint8_t kErrorNull = 0x00;
inline constexpr uint8_t kErrorDiv0 = 0x07;
inline constexpr uint8_t kErrorValue = 0x0F;
inline constexpr uint8_t kErrorRef = 0x17;
inline constexpr uint8_t kErrorName = 0x1D;
inline constexpr uint8_t kErrorNum = 0x24;
inline constexpr uint8_t kErrorNa = 0x2A;
// "#NULL!", "#DIV/0!", ...; empty for a code that is no error code.
std::string_view ErrorText(uint8_t code);

// The shortest decimal text of up to 15 significant digits, with a decimal
// comma: "0,1", "1234,5", "1E20", "1,5E-7".
std::string ShortestNumberText(double value);

}  // namespace flovir
