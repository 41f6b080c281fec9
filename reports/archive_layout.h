#pragma once
// Everything that differs between the meter's three archives, one row per
// kind: the selector the meter is asked with, the calendar step of its
// entries, the archive workbook's sheet and columns, the text table and its
// file, the charts. The download, the workbook writer, the table that reads
// "temp.xls" back, the exporters, the charts and the history all read their
// facts here; nothing else decides by the kind.
//
//   const ArchiveLayout& hourly = LayoutOf(ArchiveKind::Hourly);
//   hourly.sheet                       -> "hours"
//   LayoutOf(ReportKind::Current)      -> nullptr

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "reports/report_kind.h"

namespace flovir {

// The kind byte of the meter's archive selector.
enum class ArchiveKind : uint8_t { Hourly = 0, Daily = 1, Monthly = 2 };
inline constexpr size_t kArchiveKindCount = 3;

// How far one interval entry reaches.
enum class EntryStep : uint8_t { Hour, Day, Month };

// The design-time cell formats of the archive workbook, in the order the
// workbook is made with them; a cell names WorkbookModel::DesignFormatIndex(k).
enum ArchiveCellFormat : int {
  kHeaderFormat = 0,
  kDateFormat = 1,  // dd/mm/yy
  kVolumeFormat = 2,
  kHoursFormat = 3,
  kTitleFormat = 4,
  kTimeFormat = 5,  // Hh:mm
  kEventsFormat = 6,
  kMonthFormat = 7,  // mmmm yyyy
};
inline constexpr int kArchiveDesignFormatCount = 8;

// Rows of an archive sheet: 0-5 the header texts, 7 the column titles, the
// entries from 8 on.
inline constexpr uint16_t kArchiveFirstDataRow = 8;

struct ArchiveLayout {
  ArchiveKind kind;
  ReportKind report;  // the window's page and text area
  EntryStep step;
  // The kind of its integrator readings: hourly and daily archives read the
  // daily integrators at the range's two ends, the monthly one reads the
  // monthly integrator of every month of the range.
  ArchiveKind integrator_kind;
  bool integrator_every_month;
  // Daily entries keep all four channels' events in word B; the others keep
  // channels 1-2 in word A and 3-4 in word B.
  bool events_all_in_word_b;

  // The archive workbook "temp.xls".
  std::string_view sheet;  // its sheet, at sheet_index (the daily one first)
  size_t sheet_index;
  // The first words of the sheet's title ("Часовой архив с 01.12.2026 по
  // ...") and of the text table, by which a read-back sheet is known.
  std::string_view title;
  // The hourly sheet has the hour in column 1, so its values begin one
  // column further right.
  bool time_column;
  uint16_t first_value_column;
  ArchiveCellFormat date_format;

  // The report's name as files and dialogs use it, and its auto-saved file.
  std::string_view name;
  std::string_view report_file;
  // The status while it downloads.
  std::string_view start_text;
  // The exporters' entry times: "2026-12-03T13:00", "2026-12-03", "2026-11".
  size_t iso_time_length;
  // The chart: room beside a single entry (seconds) and the tick labels
  // (a QDateTime format).
  double chart_half_interval_s;
  std::string_view chart_tick_format;
};

inline constexpr std::array<ArchiveLayout, kArchiveKindCount> kArchiveLayouts{{
    {ArchiveKind::Hourly, ReportKind::Hourly, EntryStep::Hour, ArchiveKind::Daily, false, false,
     "hours", 1, "Часовой архив", true, 2, kDateFormat, "часовой архив", "часовой архив.txt",
     "Запрос часового архива...", 16, 1800, "dd.MM hh:mm"},
    {ArchiveKind::Daily, ReportKind::Daily, EntryStep::Day, ArchiveKind::Daily, false, true, "days",
     0, "Суточный архив", false, 1, kDateFormat, "суточный архив", "суточный архив.txt",
     "Запрос суточного архива...", 10, 12 * 3600, "dd.MM.yyyy"},
    {ArchiveKind::Monthly, ReportKind::Monthly, EntryStep::Month, ArchiveKind::Monthly, true, false,
     "months", 2, "Месячный архив", false, 1, kMonthFormat, "месячный архив", "месячный архив.txt",
     "Запрос месячного архива...", 7, 15 * 86400, "MM.yyyy"},
}};

// A kind outside the enum (a stored or typed number) reads as hourly.
constexpr const ArchiveLayout& LayoutOf(ArchiveKind kind) {
  const auto index = static_cast<size_t>(kind);
  return kArchiveLayouts[index < kArchiveKindCount ? index : 0];
}

// The archive shown in a report area; null for the current values and the
// test poll.
constexpr const ArchiveLayout* LayoutOf(ReportKind report) {
  for (const ArchiveLayout& layout : kArchiveLayouts) {
    if (layout.report == report) return &layout;
  }
  return nullptr;
}

// The sheets of the archive workbook in their order.
constexpr std::array<std::string_view, kArchiveKindCount> ArchiveSheetNames() {
  std::array<std::string_view, kArchiveKindCount> names{};
  for (const ArchiveLayout& layout : kArchiveLayouts) names[layout.sheet_index] = layout.sheet;
  return names;
}

// Length of an interval entry in hours: 1, 24, or 24 x the days of the
// entry's month (leap years counted).
int IntervalHours(ArchiveKind kind, double entry_date);

// The time of the entry after the one at `at`: an hour, a day or the first
// of the next month later. Hours and days are added in whole seconds, so
// that 24 additions of an hour land exactly on midnight.
double NextEntryTime(ArchiveKind kind, double at);

}  // namespace flovir
