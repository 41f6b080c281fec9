#include "parameters/parameter_workbook.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>

#include "reports/number_format.h"

namespace flovir {
namespace {

constexpr size_t kSheet = 0;

// Design-time cell formats of XLS0: 0 General, 1 + d the number with d
// decimals. A model loaded from a file numbers its formats after the file's
// 16 built-in ones.
int CellFormatBase(const WorkbookModel& xls0) {
  return xls0.FormatsFromFile() ? 16 : 0;
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::path(path), error);
}

// A register pair holds a float32; a number beyond its range (only a file
// from elsewhere can hold one) is refused rather than sent as infinity.
float ToParameterValue(double number, int column, int row) {
  if (std::isfinite(number) && std::fabs(number) > std::numeric_limits<float>::max()) {
    throw WorkbookError("Cell " + std::string(1, static_cast<char>('A' + column)) +
                        std::to_string(row + 1) + ": " + FormatGeneral(number) +
                        " is out of range for a floating point value");
  }
  return static_cast<float>(number);
}

}  // namespace

void SaveParameterWorkbook(WorkbookModel& xls0, const ParameterTable& table,
                           const ParameterBuffer& buffer, const std::string& path) {
  xls0.SetFileName(path);
  if (FileExists(path)) xls0.ClearSheetCells(kSheet);
  const int base = CellFormatBase(xls0);
  for (int column = 0; column < kParameterColumns; ++column) {
    const auto c = static_cast<uint16_t>(column);
    for (int row = 0; row < kParameterRows; ++row) {
      const auto r = static_cast<uint16_t>(row);
      const ParameterCell& cell = table.Cell(row, column);
      if (cell.Kind == CellKind::Text) {
        xls0.SetTextCell(kSheet, c, r, cell.Text, base);
      } else if (cell.Kind == CellKind::Value) {
        const double value = buffer.ParameterValue(cell.ValueIndex);
        xls0.SetNumberCell(kSheet, c, r, value, base + cell.Decimals + 1);
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
  xls0 = std::move(loaded);
  buffer = values;
}

}  // namespace flovir
