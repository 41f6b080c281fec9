#include "workbook/model.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace flovir {

namespace {

// The built-in number formats in their standard numbering; 0 (General) and
// 23 to 36 (locale dependent) are empty.
constexpr std::array<std::string_view, NumberFormatTable::kBuiltInCount> kBuiltInFormats = {
    "",
    "0",
    "0.00",
    "#,##0",
    "#,##0.00",
    "\"$\"#,##0_);(\"$\"#,##0)",
    "\"$\"#,##0_);[Red](\"$\"#,##0)",
    "\"$\"#,##0.00_);(\"$\"#,##0.00)",
    "\"$\"#,##0.00_);[Red](\"$\"#,##0.00)",
    "0%",
    "0.00%",
    "0.00E+00",
    "# ?/?",
    "# ?\?/?\?",
    "m/d/yy",
    "d-mmm-yy",
    "d-mmm",
    "mmm-yy",
    "h:mm AM/PM",
    "h:mm:ss AM/PM",
    "h:mm",
    "h:mm:ss",
    "m/d/yy h:mm",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "_(#,##0_);(#,##0)",
    "_(#,##0_);[Red](#,##0)",
    "_(#,##0.00_);(#,##0.00)",
    "_(#,##0.00_);[Red](#,##0.00)",
    "_(\"$\"* #,##0_);_(\"$\"* (#,##0);_(\"$\"* \"-\"_);_(@_)",
    "_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)",
    "_(\"$\"* #,##0.00_);_(\"$\"* (#,##0.00);_(\"$\"* \"-\"??_);_(@_)",
    "_(* #,##0.00_);_(* (#,##0.00);_(* \"-\"??_);_(@_)",
    "mm:ss",
    "[h]:mm:ss",
    "mm:ss.0",
    "##0.0E+0",
    "@",
};

constexpr Palette kDefaultPalette = {
    0x000000, 0xFEFFFF, 0xFF0400, 0x00FF00, 0x0004FF, 0xFFFF00, 0xFF04FF, 0x00FFFF,
    0x840400, 0x008600, 0x000484, 0x848600, 0x840484, 0x008684, 0xC6C7C6, 0x848684,
    0x9496FF, 0x943463, 0xFFFFC6, 0xC6FFFF, 0x630463, 0xFF8684, 0x0065C6, 0xC6C7FF,
    0x000484, 0xFF04FF, 0xFFFF00, 0x00FFFF, 0x840484, 0x840400, 0x008684, 0x0004FF,
    0x00C7FF, 0xC6FFFF, 0xC6FFC6, 0xFFFF94, 0x94CFFF, 0xFF96C6, 0xC696FF, 0xFFCF94,
    0x3165FF, 0x31C7C6, 0x94C700, 0xFFC700, 0xFF9600, 0xFF6500, 0x636594, 0x949694,
    0x003463, 0x319663, 0x003400, 0x313400, 0x943400, 0x943463, 0x313494, 0x313431,
};

const std::string kEmpty;

}  // namespace

NumberFormatTable::NumberFormatTable() : strings_(kBuiltInFormats.begin(), kBuiltInFormats.end()) {}

std::string_view NumberFormatTable::BuiltIn(int index) {
  return index >= 0 && index < kBuiltInCount ? kBuiltInFormats[static_cast<size_t>(index)]
                                             : std::string_view();
}

int NumberFormatTable::Add(std::string_view text) {
  // General is always index 0; any other string is looked up among the
  // non-empty entries, built-in ones included ("0" is built-in 1).
  if (text.empty() || text == "General") return 0;
  for (size_t i = 1; i < strings_.size(); ++i) {
    if (strings_[i] == text) return static_cast<int>(i);
  }
  strings_.emplace_back(text);
  return static_cast<int>(strings_.size() - 1);
}

void NumberFormatTable::Set(int index, std::string_view text) {
  if (index < 0 || index > 0xFFFF) return;
  if (static_cast<size_t>(index) >= strings_.size())
    strings_.resize(static_cast<size_t>(index) + 1);
  strings_[static_cast<size_t>(index)] = std::string(text);
}

const std::string& NumberFormatTable::Get(int index) const {
  return index >= 0 && index < Size() ? strings_[static_cast<size_t>(index)] : kEmpty;
}

const Palette& DefaultPalette() {
  return kDefaultPalette;
}

void WorkbookData::Clear() {
  for (auto& sheet : sheets) sheet.cells.Clear();
  sheets.clear();
  strings.Clear();
  sheets.emplace_back();
  fonts.clear();
  cell_formats.clear();
  styles.clear();
  number_formats.Reset();
  palette = DefaultPalette();
  formats_from_file = true;
}

WorkbookSheet& WorkbookData::AddSheet(std::string_view name) {
  for (const auto& sheet : sheets) {
    if (sheet.name == name) {
      throw WorkbookError("Sheet name \"" + std::string(name) + "\" allready exists");
    }
  }
  sheets.emplace_back().name = std::string(name);
  return sheets.back();
}

void WorkbookData::RenameSheet(size_t index, std::string_view name) {
  for (size_t i = 0; i < sheets.size(); ++i) {
    if (i != index && sheets[i].name == name) {
      throw WorkbookError("Sheet name \"" + std::string(name) + "\" allready exists");
    }
  }
  Sheet(index).name = std::string(name);
}

void WorkbookData::AppendFileFont(const WorkbookFont& font) {
  if (fonts.size() == 4) fonts.push_back(fonts.front());
  fonts.push_back(font);
}

WorkbookSheet& WorkbookData::Sheet(size_t index) {
  if (index >= sheets.size()) throw WorkbookError("Sheet index out of range");
  return sheets[index];
}

const WorkbookSheet& WorkbookData::Sheet(size_t index) const {
  if (index >= sheets.size()) throw WorkbookError("Sheet index out of range");
  return sheets[index];
}

void WorkbookData::StoreCell(size_t sheet, uint16_t row, uint8_t column, WorkbookCell cell,
                             std::string_view text) {
  StoreCell(Sheet(sheet), row, column, cell, text);
}

void WorkbookData::ReplaceTextCell(WorkbookCell& slot, WorkbookCell cell, std::string_view text) {
  // Take the new text before releasing the old one, which may be the same.
  if (cell.HoldsText()) cell.text = strings.Add(text);
  if (slot.HoldsText()) strings.Release(slot.text);
  slot = cell;
}

void WorkbookData::ClearCells(WorkbookSheet& sheet) {
  sheet.cells.ForEach([&](uint16_t, uint8_t, const WorkbookCell& cell) {
    if (cell.HoldsText()) strings.Release(cell.text);
  });
  sheet.cells.Clear();
}

const std::string& WorkbookData::CellString(const WorkbookCell& cell) const {
  return cell.HoldsText() ? strings.Get(cell.text) : kEmpty;
}

std::string_view ErrorText(uint8_t code) {
  switch (code) {
    case kErrorNull:
      return "#NULL!";
    case kErrorDiv0:
      return "#DIV/0!";
    case kErrorValue:
      return "#VALUE!";
    case kErrorRef:
      return "#REF!";
    case kErrorName:
      return "#NAME?";
    case kErrorNum:
      return "#NUM!";
    case kErrorNa:
      return "#N/A";
    default:
      return {};
  }
}

std::string ShortestNumberText(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";  // also -0
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::string text = buffer;
  std::string exponent;
  if (const size_t e = text.find('e'); e != std::string::npos) {
    // "1.5e-07" -> mantissa "1.5", exponent "E-7"; "1e+20" -> "E20".
    const int power = std::atoi(text.c_str() + e + 1);
    exponent = "E" + std::to_string(power);
    text.erase(e);
  }
  if (const size_t dot = text.find('.'); dot != std::string::npos) text[dot] = ',';
  return text + exponent;
}

}  // namespace flovir
