#pragma once
// What the archive chart draws, taken from the same interval rows of the
// archive workbook that the text table is built from: no integrator or
// totals rows, the values the table shows, and the texts of the hover hints
// with the table's digits (decimal comma). The event marks come from the
// decoded entries of the download. Plain C++, so tests check it without
// drawing anything.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "operations/meter_records.h"
#include "reports/report_kind.h"
#include "workbook/workbook.h"

namespace flovir {

// V1-V4 (m3, left axis) then B1-B4 (hours, right axis).
inline constexpr size_t kChartSeriesCount = 8;
inline constexpr size_t kChartVolumeSeriesCount = 4;

struct ArchiveChartRow {
  double at = 0;  // date and time of the row, days since 30.12.1899
  // Empty where the channel has no data in this row: the meter's no-data
  // marker reaches the workbook as 0, so a channel whose volume and
  // operating time are both 0 neither ran nor measured, and its line breaks
  // there instead of dropping to zero.
  std::array<std::optional<double>, kChartSeriesCount> values;
  std::array<std::string, kChartSeriesCount> texts;  // the table's digits
  std::string date_text;                             // "05.03.2024 9:00"
  std::string events;  // "канал1: X <; канал3: >"; empty without events
};

struct ArchiveChartData {
  ReportKind kind = ReportKind::Hourly;
  std::vector<ArchiveChartRow> rows;
};

// The chart of `kind` from a loaded archive workbook, with the events of
// the `entries` at the rows' times (none at a row without an entry).
ArchiveChartData ArchiveChartRows(ReportKind kind, const WorkbookModel& workbook,
                                  const std::vector<ArchiveEntry>& entries);

// "V1" ... "B4".
std::string ChartSeriesName(size_t series);
// The hover hint of one value: "05.03.2024 9:00\nV1: 12,345 м³".
std::string ChartValueHint(const ArchiveChartRow& row, size_t series);
// The hover hint of an event mark: "05.03.2024 9:00\nСобытия: канал1: X".
std::string ChartEventHint(const ArchiveChartRow& row);

}  // namespace flovir
