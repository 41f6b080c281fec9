// FitColumnWidth: widens a column to the widest text its cells show.

#include <algorithm>
#include <cmath>

#include "workbook/model.h"
#include "workbook/number_display.h"
#include "workbook/text_measure.h"
#include "workbook/workbook.h"

namespace flovir {

namespace {

const WorkbookFont& FontOf(const WorkbookData& data, size_t index) {
  static const WorkbookFont kDefault;
  return index < data.fonts.size() ? data.fonts[index] : kDefault;
}

// The cell format of a cell's format index; below 0 counts as 0.
const CellFormat* FormatOf(const WorkbookData& data, int format) {
  const size_t index = format < 0 ? 0 : static_cast<size_t>(format);
  return index < data.cell_formats.size() ? &data.cell_formats[index] : nullptr;
}

std::string ShownText(const WorkbookData& data, const WorkbookCell& cell,
                      const CellFormat* format) {
  const CellType type = cell.type == CellType::Formula ? cell.result : cell.type;
  switch (type) {
    case CellType::Number:
      return DisplayNumber(cell.number, format ? data.number_formats.Get(format->number_format)
                                               : std::string_view());
    case CellType::Text:
      return data.CellString(cell);
    case CellType::Boolean:
      return cell.code ? "TRUE" : "FALSE";
    case CellType::Error:
      return std::string(ErrorText(cell.code));
    default:
      return {};
  }
}

// The entry that holds exactly this column, splitting off the other columns
// of an entry that covers a range so that their widths stay.
ColumnWidth& EntryFor(std::vector<ColumnWidth>& entries, int column) {
  for (size_t i = 0; i < entries.size(); ++i) {
    ColumnWidth& entry = entries[i];
    if (column < entry.first_column || column > entry.last_column) continue;
    if (entry.first_column == column && entry.last_column == column) return entry;
    const ColumnWidth whole = entry;
    entries.erase(entries.begin() + static_cast<long>(i));
    if (whole.first_column < column) {
      ColumnWidth before = whole;
      before.last_column = column - 1;
      entries.push_back(before);
    }
    if (whole.last_column > column) {
      ColumnWidth after = whole;
      after.first_column = column + 1;
      entries.push_back(after);
    }
    ColumnWidth own = whole;
    own.first_column = own.last_column = column;
    entries.push_back(own);
    return entries.back();
  }
  ColumnWidth& entry = entries.emplace_back();
  entry.first_column = entry.last_column = column;
  return entry;
}

}  // namespace

int WorkbookModel::FitColumnWidth(size_t sheet, uint16_t column) {
  WorkbookData& data = *data_;
  WorkbookSheet& s = data.Sheet(sheet);
  const TextMeasurer& measurer = measurer_ ? *measurer_ : DefaultTextMeasurer();
  const WorkbookFont& default_font = FontOf(data, 0);
  const int w8 = std::max(1, measurer.Width(default_font, "8"));
  const int start = w8 * s.default_column_width;
  // Starting from the default width, so that a column only ever widens: a
  // column of short texts keeps the sheet's default width.
  int widest = start;
  if (column <= 255) {
    s.cells.ForEachInColumn(static_cast<uint8_t>(column), [&](uint16_t, const WorkbookCell& cell) {
      const CellFormat* format = FormatOf(data, cell.format);
      const WorkbookFont& font = FontOf(data, format ? format->font : 0);
      widest = std::max(widest, measurer.Width(font, ShownText(data, cell, format)));
    });
  }
  if (widest != start) {
    ColumnWidth& entry = EntryFor(s.column_widths, column);
    entry.width = static_cast<int>(std::lround((widest + 4) * 256.0 / w8));
  }
  return widest;
}

}  // namespace flovir
