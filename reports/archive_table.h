#pragma once
// The archive tables (report kinds 1 daily, 2 hourly, 3 monthly), built by
// reading the archive workbook file back: the sheet's seven title lines,
// the kind's header, one line per dated row from row 8, the totals line and
// the integrator table. The layout is fixed-pitch text; every number column
// is right-aligned with at least one space in front, and a number too wide
// for its column shows as a run of "#".

#include <string>
#include <vector>

#include "link/view.h"
#include "workbook/workbook.h"

namespace flovir {

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

// The table of `kind` from a loaded workbook, without touching any view.
std::vector<std::string> ArchiveTableLines(ReportKind kind, const WorkbookModel& workbook);

// t right-aligned in width + 1 characters; longer than width: width "#".
std::string PadColumn(const std::string& text, size_t width);
// A date-time value as DD.MM.YYYY; its time of day as " 9:05".
std::string TableDateText(double serial);
std::string TableTimeText(double serial);

}  // namespace flovir
