#include "operations/archive_report.h"

namespace flovir {

std::vector<std::string> ReadArchiveTable(ReportKind kind, WorkbookModel& workbook,
                                          const std::string& path) {
  workbook.SetFileName(path);
  workbook.LoadWorkbook();
  return ArchiveTableLines(kind, workbook);
}

}  // namespace flovir
