#pragma once
// The archive tables (report kinds 1 daily, 2 hourly, 3 monthly), built by
// reading the archive workbook file back: the sheet's seven title lines,
// the kind's header, one line per dated row from row 8, the totals line and
// the integrator table. The layout is fixed-pitch text; every number column
// is right-aligned with at least one space in front, and a number too wide
// for its column shows as a run of "#".

#include <string>
#include <vector>

#include "reports/report_kind.h"
#include "workbook/workbook.h"

namespace flovir {

// The table of `kind` from a loaded workbook (operations/archive_report.h
// loads the file and shows the table).
std::vector<std::string> ArchiveTableLines(ReportKind kind, const WorkbookModel& workbook);

// t right-aligned in width + 1 characters; longer than width: width "#".
std::string PadColumn(const std::string& text, size_t width);
// A date-time value as DD.MM.YYYY; its time of day as " 9:05".
std::string TableDateText(double serial);
std::string TableTimeText(double serial);

}  // namespace flovir
