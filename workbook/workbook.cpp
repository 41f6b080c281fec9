#include "workbook/workbook.h"

#include "workbook/model.h"
#include "workbook/text_measure.h"

namespace flovir {

namespace {

void AddDesignFonts(WorkbookData& data) {
  data.fonts.assign(5, WorkbookFont{});
}

CellFormat DesignFormat(WorkbookData& data, std::string_view number_format, bool thin_top_bottom) {
  CellFormat format;
  format.number_format = number_format.empty() ? -1 : data.number_formats.Add(number_format);
  if (thin_top_bottom) {
    format.border_top = kLineThin;
    format.border_bottom = kLineThin;
    format.used_attributes = kUsedBorder;
  }
  return format;
}

void CheckColumn(uint16_t column) {
  if (column > 255) throw WorkbookError("Invalid value");
}

// A new cell without a format of its own keeps the format of the cell it
// replaces, so rewriting a value does not lose its borders.
int FormatOfNewCell(const WorkbookSheet& sheet, uint16_t row, uint16_t column, int format) {
  if (format > 0) return format;
  const WorkbookCell* old = sheet.cells.Find(row, column);
  return old ? old->format : format;
}

}  // namespace

WorkbookModel::WorkbookModel() : data_(std::make_unique<WorkbookData>()) {}
WorkbookModel::~WorkbookModel() = default;
WorkbookModel::WorkbookModel(WorkbookModel&&) noexcept = default;
WorkbookModel& WorkbookModel::operator=(WorkbookModel&&) noexcept = default;

WorkbookModel WorkbookModel::MakeArchiveWorkbook() {
  WorkbookModel model;
  WorkbookData& data = model.Data();
  AddDesignFonts(data);
  const struct {
    std::string_view number_format;
    bool borders;
  } formats[] = {{"", false},
                 {"dd/mm/yy", true},
                 {"#######0.000", true},
                 {"#######0.000", true},
                 {"", true},
                 {"Hh:mm", true},
                 {"", true},
                 {"mmmm yyyy", true}};
  for (const auto& f : formats) {
    data.cell_formats.push_back(DesignFormat(data, f.number_format, f.borders));
  }
  // The event-marks format also carries a thin diagonal line; Excel 5.0 has
  // no place for it and the writer drops it.
  data.cell_formats[6].border_diagonal = kLineThin;
  // The archives' sheets in the order of their layout rows' sheet_index
  // (reports/archive_layout.h; a test holds the two together).
  for (std::string_view name : {"days", "hours", "months"}) data.AddSheet(name);
  return model;
}

WorkbookModel WorkbookModel::MakeParameterWorkbook() {
  WorkbookModel model;
  WorkbookData& data = model.Data();
  AddDesignFonts(data);
  for (std::string_view f :
       {"", "0", "#######0.0", "#######0.00", "#######0.000", "#######0.0000", "#######0.00000"}) {
    data.cell_formats.push_back(DesignFormat(data, f, false));
  }
  data.AddSheet("Sheet 1");
  return model;
}

void WorkbookModel::SetFileName(std::string path) {
  data_->file_name = std::move(path);
}
const std::string& WorkbookModel::FileName() const {
  return data_->file_name;
}
bool WorkbookModel::FormatsFromFile() const {
  return data_->formats_from_file;
}
uint8_t WorkbookModel::CellFormatBase() const {
  // The writer puts 16 built-in XFs before the model's own formats.
  return data_->formats_from_file ? 16 : 0;
}
int WorkbookModel::DesignFormatIndex(int k) const {
  return k + CellFormatBase();
}

size_t WorkbookModel::SheetCount() const {
  return data_->sheets.size();
}
const std::string& WorkbookModel::SheetName(size_t sheet) const {
  return data_->Sheet(sheet).name;
}

void WorkbookModel::SetNumberCell(size_t sheet, uint16_t column, uint16_t row, double value,
                                  int format) {
  CheckColumn(column);
  WorkbookSheet& s = data_->Sheet(sheet);
  WorkbookCell cell;
  cell.type = CellType::Number;
  cell.number = value;
  cell.format = FormatOfNewCell(s, row, column, format);
  data_->StoreCell(s, row, static_cast<uint8_t>(column), cell);
}

void WorkbookModel::SetTextCell(size_t sheet, uint16_t column, uint16_t row, std::string_view text,
                                int format) {
  CheckColumn(column);
  WorkbookSheet& s = data_->Sheet(sheet);
  WorkbookCell cell;
  cell.type = CellType::Text;
  cell.format = FormatOfNewCell(s, row, column, format);
  data_->StoreCell(s, row, static_cast<uint8_t>(column), cell, text);
}

void WorkbookModel::ClearSheetCells(size_t sheet) {
  data_->ClearCells(data_->Sheet(sheet));
}

double WorkbookModel::GetCellNumber(size_t sheet, uint16_t column, uint16_t row) const {
  if (sheet >= data_->sheets.size()) return 0;
  const WorkbookCell* cell = data_->sheets[sheet].cells.Find(row, column);
  if (!cell) return 0;
  if (cell->type == CellType::Number) return cell->number;
  if (cell->type == CellType::Formula && cell->result == CellType::Number) return cell->number;
  return 0;
}

std::string WorkbookModel::GetCellText(size_t sheet, uint16_t column, uint16_t row) const {
  if (sheet >= data_->sheets.size()) return {};
  const WorkbookCell* cell = data_->sheets[sheet].cells.Find(row, column);
  if (!cell) return {};
  const CellType type = cell->type == CellType::Formula ? cell->result : cell->type;
  switch (type) {
    case CellType::Number:
      return ShortestNumberText(cell->number);
    case CellType::Text:
      return data_->CellString(*cell);
    case CellType::Boolean:
      return cell->code ? "TRUE" : "FALSE";
    case CellType::Error:
      return std::string(ErrorText(cell->code));
    default:
      return {};
  }
}

CellType WorkbookModel::GetCellType(size_t sheet, uint16_t column, uint16_t row) const {
  if (sheet >= data_->sheets.size()) return CellType::None;
  const WorkbookCell* cell = data_->sheets[sheet].cells.Find(row, column);
  return cell ? cell->type : CellType::None;
}

int WorkbookModel::GetCellFormat(size_t sheet, uint16_t column, uint16_t row) const {
  if (sheet >= data_->sheets.size()) return -1;
  const WorkbookCell* cell = data_->sheets[sheet].cells.Find(row, column);
  return cell ? cell->format : -1;
}

void WorkbookModel::SetTextMeasurer(std::shared_ptr<const TextMeasurer> measurer) {
  measurer_ = std::move(measurer);
}

WorkbookData& WorkbookModel::Data() {
  return *data_;
}
const WorkbookData& WorkbookModel::Data() const {
  return *data_;
}

}  // namespace flovir
