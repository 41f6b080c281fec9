#pragma once
// The parameter table: what every cell of the 38 x 7 parameter grid shows.
// Row 0 is the header; columns 1-4 are the four measuring channels, column 0
// their row names, column 5 the names and column 6 the values of the general
// parameters. A value cell names the ParameterValue it shows and how many
// digits it shows; the values themselves live only in the ParameterBuffer.
// The table is built once and never changes.

#include <array>
#include <cstdint>
#include <string>

#include "operations/parameter_buffer.h"

namespace flovir {

inline constexpr int kParameterRows = 38;
inline constexpr int kParameterColumns = 7;

enum class CellKind : uint8_t { Empty = 0, Text = 1, Value = 2 };
enum class CellAlignment : uint8_t { Left = 0, Centre = 1, Right = 2 };

// Font style bits.
inline constexpr uint8_t kFontBold = 0x01;
inline constexpr uint8_t kFontItalic = 0x02;
inline constexpr uint8_t kFontUnderline = 0x04;
inline constexpr uint8_t kFontStrikeOut = 0x08;

// Colours as 0xRRGGBB. 0 stands for the default of the field (the system's
// window-text colour for text, white for a background), never for black.
constexpr uint32_t RgbColour(uint8_t red, uint8_t green, uint8_t blue) {
  return uint32_t{red} << 16 | uint32_t{green} << 8 | blue;
}
inline constexpr uint32_t kHeaderTextColour = RgbColour(255, 0, 0);
inline constexpr uint32_t kGreyColour = RgbColour(231, 231, 231);
inline constexpr uint32_t kReadOnlyPinkColour = RgbColour(255, 224, 224);
inline constexpr uint32_t kSelectionGreenColour = RgbColour(204, 255, 204);
inline constexpr uint32_t kWhiteColour = RgbColour(255, 255, 255);

// Defaults of the zero or empty font fields.
inline constexpr const char* kDefaultFontName = "MS Sans Serif";
inline constexpr int kDefaultFontSize = 8;

// One grid cell. Zero or empty fields mean the defaults above; a cell the
// table does not name is all zero, an empty white cell.
struct ParameterCell {
  std::string FontName;
  int32_t FontSize = 0;
  uint8_t FontStyle = 0;
  uint32_t FontColour = 0;
  CellAlignment Alignment = CellAlignment::Left;
  uint8_t Margin = 0;  // pixels kept free left and right of the text
  uint32_t Background = 0;
  bool Editable = false;
  CellKind Kind = CellKind::Empty;
  std::string Text;         // a text cell's text (UTF-8)
  uint16_t ValueIndex = 0;  // the ParameterValue a value cell shows
  uint8_t Precision = 0;    // significant digits shown: integer digits + decimals
  uint8_t Decimals = 0;     // digits after the decimal comma
};

class ParameterTable {
 public:
  // Builds the meter's table.
  ParameterTable();

  // row 0-37, column 0-6.
  const ParameterCell& Cell(int row, int column) const { return cells_[row][column]; }
  static bool Contains(int row, int column) {
    return row >= 0 && row < kParameterRows && column >= 0 && column < kParameterColumns;
  }

 private:
  std::array<std::array<ParameterCell, kParameterColumns>, kParameterRows> cells_{};
};

// What a cell shows: a text cell's text, a value cell's value as FormatFixed
// with the cell's precision and decimals, nothing for an empty cell.
std::string CellText(const ParameterCell& cell, const ParameterBuffer& buffer);

// The grid's geometry, in pixels.
inline constexpr int kGridRowHeight = 24;
int GridColumnWidth(int column);

}  // namespace flovir
