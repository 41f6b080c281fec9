#pragma once
// The archive workbook (sheets "days", "hours", "months"): each download
// writes its archive's sheet row by row as the entries arrive, and the whole
// workbook is saved as "temp.xls" in the program's folder at the end.
//
// Sheet layout (rows from 0): 0-5 the header texts, 6 empty, 7 the column
// titles, 8.. one row per interval entry, then the "Итого:" row, an empty
// row, "Интеграторы:" and the integrator rows. The archive tables read the
// file back with this layout (reports/archive_table.h).
//
// The download calls, in this order: BeginArchiveSheet, AddRecordRow for
// every interval entry, AddTotalsRow, AddIntegratorLabel, AddIntegratorRow
// for every integrator reading, then saves the workbook.

#include <array>
#include <cstdint>
#include <string>

#include "operations/meter_records.h"
#include "operations/register_map.h"
#include "workbook/workbook.h"

namespace flovir {

inline constexpr const char* kArchiveWorkbookName = "temp.xls";
// The title of the program's own message boxes (the main window's caption).
inline constexpr const char* kProgramTitle = "Связь ФЛОВИР";
inline constexpr const char* kArchiveSaveFailedText =
    "Не удалось сохранить файл с полученным архивом.\rВозможно, он открыт в другом приложении";

// The running state of one sheet, kept by the download.
struct ArchiveSheet {
  ArchiveKind kind = ArchiveKind::Hourly;
  // 0 for the design-time cell formats, 16 once the workbook holds a file's
  // own format list (the file's 16 built-in XFs come first).
  uint8_t cell_format_base = 0;
  uint16_t next_row = kArchiveFirstDataRow;
  // V1-V4 then B1-B4 counts of the interval entries, wrapping modulo 2^32.
  std::array<uint32_t, 2 * kChannelCount> column_totals{};
  // Mains-off hours of the interval entries, summed in single precision.
  float mains_off_sum = 0;
  // Row 65535 has been written: the sheet is full.
  bool row_limit_reached = false;
};

// Position of the kind's sheet: hourly 1, daily 0, monthly 2.
inline size_t ArchiveSheetIndex(ArchiveKind kind) {
  return LayoutOf(kind).sheet_index;
}

// Names the workbook's file "temp.xls" in program_folder, clears the kind's
// sheet and writes the header (title with the dates of start and end, the
// creation time now, the slave address) and the column titles. A workbook
// that lacks the three archive sheets (a foreign file was read back) is
// reset to the design-time archive workbook first.
ArchiveSheet BeginArchiveSheet(WorkbookModel& workbook, ArchiveKind kind, double start, double end,
                               double now, uint8_t slave_address,
                               const std::string& program_folder);

// One interval entry; its counts go into the sheet's totals.
// Throws WorkbookError when the sheet's last row (65535) has been used.
void AddRecordRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                  const ArchiveEntry& entry);
// The totals of the interval entries written so far.
ArchiveTotals TotalsOf(const ArchiveSheet& sheet, const VolumeScales& scales);
void AddTotalsRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                  const ArchiveTotals& totals);
// Leaves one row empty and writes "Интеграторы:".
void AddIntegratorLabel(WorkbookModel& workbook, ArchiveSheet& sheet);
// One integrator reading: its date, volumes and operating times only.
void AddIntegratorRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                      const IntegratorReading& reading);

// The same rows from a decoded record dated `at` (`date`), with the scales.
void AddRecordRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                  const ArchiveRecord& record, double at, const VolumeScales& scales);
void AddTotalsRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                  const VolumeScales& scales);
void AddIntegratorRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                      const ArchiveRecord& record, double date, const VolumeScales& scales);

// The message of a failed save of the workbook at path, from the writer's
// error: the cause the disk shows (a missing folder, no right to write...),
// or kArchiveSaveFailedText when it shows none.
std::string ArchiveSaveFailedText(const std::string& path, const std::string& error);

// The events text of a row: 25 characters, "X ", "< ", ">  " for channel 1
// and "X ", "< ", "> " for channels 2-4, spaces where a mark is not set.
std::string EventMarksText(const EventMarks& marks);

}  // namespace flovir
