#pragma once
// The in-memory workbook that the archive and parameter workbooks use, with
// the operations the rest of the program calls. Texts are UTF-8 here and
// Windows-1251 in the file. Sheets are addressed by position (0 = first),
// cells by column (0-255) and row (0-65535).
//
// The public operations below are what the other folders use; the model's
// inner records (fonts, cell formats, number formats, palette, sheet
// settings, the cell store) are declared in the workbook folder's own headers.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace flovir {

// Every failure of a save or a load, with the message the user sees.
class WorkbookError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class CellType { None, Number, Text, Blank, Boolean, Error, Formula };

// Receives the read position of a load in percent (100 at the end).
using LoadProgress = std::function<void(int percent)>;

struct WorkbookData;  // the model's records; workbook/model.h
class TextMeasurer;   // workbook/text_measure.h

class WorkbookModel {
 public:
  // The two design-time configurations: XLS (sheets "days", "hours",
  // "months") and XLS0 ("Sheet 1").
  static WorkbookModel MakeArchiveWorkbook();
  static WorkbookModel MakeParameterWorkbook();

  WorkbookModel();
  ~WorkbookModel();
  WorkbookModel(WorkbookModel&&) noexcept;
  WorkbookModel& operator=(WorkbookModel&&) noexcept;

  void SetFileName(std::string path);
  const std::string& FileName() const;
  // True after a successful load: the cell formats are the file's own list,
  // in which a file of this program keeps its 16 built-in XFs first.
  bool FormatsFromFile() const;
  // CellFormatBase: 16 when the formats come from a file, else 0.
  uint8_t CellFormatBase() const;
  // The cell format index of design-time format k (the k-th format a fresh
  // model was made with): k + CellFormatBase. The one place that shifts
  // format indexes; the archive and parameter workbooks name formats by k.
  int DesignFormatIndex(int k) const;

  size_t SheetCount() const;
  const std::string& SheetName(size_t sheet) const;

  void SetNumberCell(size_t sheet, uint16_t column, uint16_t row, double value, int format);
  void SetTextCell(size_t sheet, uint16_t column, uint16_t row, std::string_view text, int format);
  void ClearSheetCells(size_t sheet);
  // Widens the column to its widest cell; returns that width in pixels.
  int FitColumnWidth(size_t sheet, uint16_t column);
  // The text measurer of FitColumnWidth; without one, the built-in Arial
  // 10 pt metrics at 96 dpi are used.
  void SetTextMeasurer(std::shared_ptr<const TextMeasurer> measurer);

  // Writes the model to FileName() as an Excel 5.0 file; throws WorkbookError.
  void SaveWorkbook();
  // Replaces the model with the file FileName(); throws WorkbookError.
  void LoadWorkbook(const LoadProgress& progress = {});

  double GetCellNumber(size_t sheet, uint16_t column, uint16_t row) const;
  std::string GetCellText(size_t sheet, uint16_t column, uint16_t row) const;
  CellType GetCellType(size_t sheet, uint16_t column, uint16_t row) const;
  int GetCellFormat(size_t sheet, uint16_t column, uint16_t row) const;

  WorkbookData& Data();
  const WorkbookData& Data() const;

 private:
  std::unique_ptr<WorkbookData> data_;
  std::shared_ptr<const TextMeasurer> measurer_;
};

}  // namespace flovir
