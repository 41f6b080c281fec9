#include "parameters/parameter_workbook.h"

#include <cmath>
#include <filesystem>
#include <iterator>
#include <limits>
#include <system_error>

#include "reports/number_format.h"
#include "workbook/model.h"
#include "workbook/platform_files.h"

namespace flovir {
namespace {

constexpr size_t kSheet = 0;

// The design-time cell formats of XLS0: 0 General, 1 + d the number with d
// decimals.
constexpr const char* kDesignFormats[] = {
    "", "0", "#######0.0", "#######0.00", "#######0.000", "#######0.0000", "#######0.00000"};

bool ShowsFormat(const WorkbookData& data, int index, std::string_view number_format) {
  if (index < 0 || index >= static_cast<int>(data.cell_formats.size())) return false;
  const CellFormat& format = data.cell_formats[static_cast<size_t>(index)];
  return !format.style && data.number_formats.Get(format.number_format) == number_format;
}

// The format index of design-time format k: DesignFormatIndex, which is
// where this program's own files keep it. A file from another program may
// hold other formats there, or none at all: its cells would then show other
// decimals or refer to a format the file lacks, so a cell format of the
// file with the same number format is used instead, or one is added.
int FormatIndex(WorkbookModel& xls0, int k) {
  const int index = xls0.DesignFormatIndex(k);
  if (!xls0.FormatsFromFile()) return index;
  WorkbookData& data = xls0.Data();
  const std::string_view wanted = kDesignFormats[k];
  if (ShowsFormat(data, index, wanted)) return index;
  for (int index = 0; index < static_cast<int>(data.cell_formats.size()); ++index) {
    if (ShowsFormat(data, index, wanted)) return index;
  }
  CellFormat format;
  format.number_format = k == 0 ? -1 : data.number_formats.Add(wanted);
  data.cell_formats.push_back(format);
  return static_cast<int>(data.cell_formats.size()) - 1;
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(PathFromUtf8(path), error);
}

std::string CellName(int column, int row) {
  return std::string(1, static_cast<char>('A' + column)) + std::to_string(row + 1);
}

// A register pair holds a float32; a number beyond its range (only a file
// from elsewhere can hold one) is refused rather than sent as infinity.
float ToParameterValue(double number, int column, int row) {
  if (std::isfinite(number) && std::fabs(number) > std::numeric_limits<float>::max()) {
    throw WorkbookError("Cell " + CellName(column, row) + ": " + FormatGeneral(number) +
                        " is out of range for a floating point value");
  }
  return static_cast<float>(number);
}

std::string_view TrimmedRight(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Whether sheet 0 of a loaded workbook is a parameter table and not, say,
// the archive workbook "temp.xls": its row 0 carries at least one of the
// channel headers, and no text in the table's area contradicts the table
// (a name or header elsewhere, or text where the table is empty). Text in a
// value cell is tolerated: it loads as 0, as a hand-edited file may hold it.
void CheckParameterLayout(const WorkbookModel& loaded, const ParameterTable& table) {
  const auto text_at = [&](int column, int row) {
    return loaded.GetCellText(kSheet, static_cast<uint16_t>(column), static_cast<uint16_t>(row));
  };
  const auto refuse = [](const std::string& why) {
    throw WorkbookError("Это не файл параметров прибора: " + why + ". Таблица не изменена.");
  };
  bool header_found = false;
  for (int column = 0; column < kParameterColumns; ++column) {
    for (int row = 0; row < kParameterRows; ++row) {
      const ParameterCell& cell = table.Cell(row, column);
      if (cell.Kind == CellKind::Value) continue;
      const auto c = static_cast<uint16_t>(column);
      const auto r = static_cast<uint16_t>(row);
      if (loaded.GetCellType(kSheet, c, r) != CellType::Text) continue;
      const std::string found(TrimmedRight(text_at(column, row)));
      if (found.empty()) continue;
      const std::string_view expected = TrimmedRight(cell.Text);
      if (cell.Kind == CellKind::Empty || found != expected) {
        refuse("в ячейке " + CellName(column, row) + " «" + found + "»" +
               (cell.Kind == CellKind::Empty ? ", а в файле параметров она пуста"
                                             : ", а ожидается «" + std::string(expected) + "»"));
      }
      if (row == 0) header_found = true;
    }
  }
  if (!header_found) refuse("в первой строке нет заголовков «КАНАЛ1» … «ОБЩИЕ»");
}

}  // namespace

void SaveParameterWorkbook(WorkbookModel& xls0, const ParameterTable& table,
                           const ParameterBuffer& buffer, const std::string& path) {
  xls0.SetFileName(path);
  if (FileExists(path)) xls0.ClearSheetCells(kSheet);
  int formats[std::size(kDesignFormats)];
  for (size_t k = 0; k < std::size(kDesignFormats); ++k) {
    formats[k] = FormatIndex(xls0, static_cast<int>(k));
  }
  for (int column = 0; column < kParameterColumns; ++column) {
    const auto c = static_cast<uint16_t>(column);
    for (int row = 0; row < kParameterRows; ++row) {
      const auto r = static_cast<uint16_t>(row);
      const ParameterCell& cell = table.Cell(row, column);
      if (cell.Kind == CellKind::Text) {
        xls0.SetTextCell(kSheet, c, r, cell.Text, formats[0]);
      } else if (cell.Kind == CellKind::Value) {
        const double value = buffer.ParameterValue(cell.ValueIndex);
        xls0.SetNumberCell(kSheet, c, r, value, formats[cell.Decimals + 1]);
      }
    }
    xls0.FitColumnWidth(kSheet, c);
  }
  xls0.SaveWorkbook();
}

void LoadParameterWorkbook(WorkbookModel& xls0, const ParameterTable& table,
                           ParameterBuffer& buffer, const std::string& path) {
  // Load into a fresh model, so that a file that fails half way leaves
  // neither the model nor the buffer half replaced.
  WorkbookModel loaded = WorkbookModel::MakeParameterWorkbook();
  loaded.SetFileName(path);
  loaded.LoadWorkbook();
  ParameterBuffer values = buffer;
  for (int column = 0; column < kParameterColumns; ++column) {
    for (int row = 0; row < kParameterRows; ++row) {
      const ParameterCell& cell = table.Cell(row, column);
      if (cell.Kind != CellKind::Value) continue;
      const double number =
          loaded.GetCellNumber(kSheet, static_cast<uint16_t>(column), static_cast<uint16_t>(row));
      values.SetParameterValue(cell.ValueIndex, ToParameterValue(number, column, row));
    }
  }
  CheckParameterLayout(loaded, table);
  xls0 = std::move(loaded);
  buffer = values;
}

}  // namespace flovir
