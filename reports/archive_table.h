#pragma once
// The archive tables (report kinds 1 daily, 2 hourly, 3 monthly), built by
// reading the archive workbook file back: the sheet's seven title lines,
// the kind's header, one line per dated row from row 8, the totals line and
// the integrator table. The layout is fixed-pitch text; every number column
// is right-aligned with at least one space in front, and a number too wide
// for its column shows as a run of "#".

#include <array>
#include <string>
#include <vector>

#include "reports/report_kind.h"
#include "workbook/workbook.h"

namespace flovir {

// The table of `kind` from a loaded workbook (operations/archive_report.h
// loads the file; the archive download shows the table).
std::vector<std::string> ArchiveTableLines(ReportKind kind, const WorkbookModel& workbook);

// One interval row of an archive sheet, as the table reads it.
struct ArchiveIntervalRow {
  double date = 0;  // column 0: the day serial, with the time of day
  double time = 0;  // the hourly sheet's time column; the date elsewhere
  // V1-V4 in m3, B1-B4 and the mains-off time in hours.
  std::array<double, 9> values{};
  std::string events;  // the events text, unchanged
};

// The interval rows of the kind's sheet: from row 8 until a row holds no
// date in column 0. None when the first title line lacks the kind's title
// word (the table then shows only the title lines).
std::vector<ArchiveIntervalRow> ArchiveIntervalRows(ReportKind kind, const WorkbookModel& workbook);

// One integrator reading below the totals: its date, V1-V4 in m3 and B1-B4
// in hours.
struct ArchiveIntegratorRow {
  double date = 0;
  std::array<double, 8> values{};
};

// Everything the table shows, as values: for printing it as a real table.
struct ArchiveTableData {
  std::vector<std::string> titles;  // the seven title lines
  bool has_table = false;           // the first title line names the kind
  std::vector<ArchiveIntervalRow> rows;
  std::array<double, 9> totals{};
  std::vector<ArchiveIntegratorRow> integrators;
};
ArchiveTableData ArchiveTableOf(ReportKind kind, const WorkbookModel& workbook);

// An integrator value (0-3 volumes, 4-7 hours) with the table's digits.
std::string IntegratorValueText(size_t column, double value);

// Value `column` of an interval row (0-3 volumes, 4-8 hours) with the digits
// the table writes, without the column's padding: "12,345".
std::string ArchiveValueText(size_t column, double value);

// t right-aligned in width + 1 characters; longer than width: width "#".
std::string PadColumn(const std::string& text, size_t width);
// A date-time value as DD.MM.YYYY; its time of day as " 9:05".
std::string TableDateText(double serial);
std::string TableTimeText(double serial);

}  // namespace flovir
