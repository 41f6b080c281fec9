#pragma once
// The archive table as the window shows it after a download: built by
// reading the archive workbook file back.

#include <string>
#include <vector>

#include "reports/archive_table.h"
#include "workbook/workbook.h"

namespace flovir {

// The status bar while the workbook file is read back.
inline constexpr const char* kReadingArchiveStatus = "Читаю архив...";

// Loads the workbook file at `path` into `workbook` and builds the table of
// `kind` from it, touching no view (any thread). Throws the reader's
// WorkbookError for a file that cannot be loaded.
std::vector<std::string> ReadArchiveTable(ReportKind kind, WorkbookModel& workbook,
                                          const std::string& path);

}  // namespace flovir
