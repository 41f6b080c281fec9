#pragma once
// The parameter workbook: sheet 0 of XLS0 as a picture of the parameter
// table. Every text cell of the table becomes a text cell and every value
// cell a number cell at the same column and row, the number with a format
// that shows the cell's decimals ("0", "#######0.0" ... "#######0.00000").
// Loading takes back only the numbers of the value cells.

#include <string>

#include "operations/parameter_buffer.h"
#include "parameters/parameter_table.h"
#include "workbook/workbook.h"

namespace flovir {

// The file name of the copy saved after every successful read, inside the
// auto-save folder.
inline constexpr const char* kParameterAutoSaveName = "параметры.xls";

// Fills sheet 0 of xls0 from the table and the buffer and saves it to path.
// When the file exists, the sheet is cleared first, so the file gets only the
// table's cells; a new file also keeps the cells of a workbook loaded
// earlier. After a load the file's own cell formats are used: those at the
// places where this program's files keep them (CellFormatBase 16), or, for a
// file from another program that has other formats there, formats with the
// same number formats, added when the file has none. Throws WorkbookError
// with the reason.
void SaveParameterWorkbook(WorkbookModel& xls0, const ParameterTable& table,
                           const ParameterBuffer& buffer, const std::string& path);

// Loads path into xls0 and copies the number of every value cell into the
// buffer, converted to float32; a missing cell or one without a number loads
// as 0. A workbook whose sheet 0 is no parameter table (no channel header in
// row 0, or a text in the table's area that contradicts the table, as the
// archive workbook "temp.xls" has) is refused. Throws WorkbookError with the
// reader's message, naming a cell whose number float32 cannot hold, or
// saying why the file is no parameter workbook; xls0 and the buffer are then
// unchanged.
void LoadParameterWorkbook(WorkbookModel& xls0, const ParameterTable& table,
                           ParameterBuffer& buffer, const std::string& path);

}  // namespace flovir
