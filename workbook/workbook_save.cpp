// SaveWorkbook: the BIFF5 record stream in the stream "Book" of a compound
// file, written over the previous file only once it is complete.

#include "workbook/biff5_writer.h"
#include "workbook/compound_file_writer.h"
#include "workbook/model.h"
#include "workbook/workbook.h"

namespace flovir {

void WorkbookModel::SaveWorkbook() {
  if (data_->file_name.empty()) throw WorkbookError("No file name given for the workbook");
  const std::string stream = BuildBiff5Stream(*data_);
  WriteFileReplacing(data_->file_name, BuildCompoundFile("Book", stream));
}

}  // namespace flovir
