#pragma once
// The archive table as the window shows it after a download: built by
// reading the archive workbook file back, with the status bar saying so.

#include <string>
#include <vector>

#include "operations/view.h"
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

// Builds the table of `kind` from the workbook file at `path`, loading it
// into `workbook` (the archive workbook, which then holds the file's
// formats).
//
// - No file at `path`: no lines, and the status bar is not touched.
// - Otherwise the status bar reads "Читаю архив...", the view processes its
//   pending events, the file is loaded and the status bar is cleared at the
//   end.
// - A file that cannot be loaded: the lines built so far (none: the table
//   starts with the load) are handed to view.SetReport(kind, ...), so the
//   text area is cleared, and the reader's WorkbookError propagates; the
//   status bar keeps "Читаю архив..." for the caller to replace.
// - A first title line without the kind's title word ("Часовой архив", ...):
//   only the seven title lines.
// On success the lines are returned and not yet shown; the caller sets them.
std::vector<std::string> BuildArchiveTable(ReportKind kind, WorkbookModel& workbook,
                                           const std::string& path, View& view);
// The same, loading into a workbook of its own.
std::vector<std::string> BuildArchiveTable(ReportKind kind, const std::string& path, View& view);

}  // namespace flovir
