#include "operations/archive_workbook.h"

#include <string_view>

#include "operations/report_files.h"
#include "workbook/model.h"
#include "workbook/serial_date.h"

namespace flovir {

namespace {

constexpr const char* kColumnTitles[] = {
    "Дата",
    "Время",
    "V1,м3 (Объём по 1 каналу)",
    "V2,м3 (Объём по 2 каналу)",
    "V3,м3 (Объём по 3 каналу)",
    "V4,м3 (Объём по 4 каналу)",
    "B1, часов (Время работы по 1 каналу)",
    "B2, часов (Время работы по 2 каналу)",
    "B3, часов (Время работы по 3 каналу)",
    "B4, часов (Время работы по 4 каналу)",
    "Время отсутствия сети",
    "События",
};

std::string TwoDigits(int value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

// The short date of the Russian settings: 01.02.2009.
std::string ShortDate(double serial) {
  const CivilDateTime t = DecodeDateTime(serial);
  return TwoDigits(t.day) + "." + TwoDigits(t.month) + "." + std::to_string(t.year);
}

// The long time of the Russian settings: 9:05:07.
std::string LongTime(double serial) {
  const CivilDateTime t = DecodeDateTime(serial);
  return std::to_string(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

bool HasArchiveSheets(const WorkbookModel& workbook) {
  constexpr auto kSheetNames = ArchiveSheetNames();
  if (workbook.SheetCount() < kSheetNames.size()) return false;
  for (size_t i = 0; i < kSheetNames.size(); ++i) {
    if (workbook.SheetName(i) != kSheetNames[i]) return false;
  }
  // A read-back file must carry the design-time formats after its own 16.
  return !workbook.FormatsFromFile() ||
         workbook.Data().cell_formats.size() >=
             static_cast<size_t>(workbook.DesignFormatIndex(kArchiveDesignFormatCount));
}

// The row to write at, advancing the sheet's counter past it.
uint16_t TakeRow(ArchiveSheet& sheet) {
  if (sheet.row_limit_reached) {
    throw WorkbookError("Архив не помещается на лист: в листе не больше 65536 строк");
  }
  const uint16_t row = sheet.next_row;
  if (row == UINT16_MAX) {
    sheet.row_limit_reached = true;
  } else {
    ++sheet.next_row;
  }
  return row;
}

class SheetWriter {
 public:
  SheetWriter(WorkbookModel& workbook, ArchiveKind kind)
      : workbook_(workbook), layout_(LayoutOf(kind)) {}

  void Number(uint16_t column, uint16_t row, double value, int format) {
    workbook_.SetNumberCell(layout_.sheet_index, column, row, value,
                            workbook_.DesignFormatIndex(format));
  }
  void Text(uint16_t column, uint16_t row, std::string_view text, int format) {
    workbook_.SetTextCell(layout_.sheet_index, column, row, text,
                          workbook_.DesignFormatIndex(format));
  }
  // Four volumes and four operating times from the first value column.
  void Values(uint16_t row, const ChannelValues& values) {
    for (size_t n = 0; n < kChannelCount; ++n) {
      const auto column = static_cast<uint16_t>(layout_.first_value_column + n);
      Number(column, row, values.volume_m3[n], kVolumeFormat);
      Number(static_cast<uint16_t>(column + kChannelCount), row, values.operating_time_h[n],
             kHoursFormat);
    }
  }
  uint16_t MainsOffColumn() const { return static_cast<uint16_t>(layout_.first_value_column + 8); }
  uint16_t EventsColumn() const { return static_cast<uint16_t>(layout_.first_value_column + 9); }
  const ArchiveLayout& Layout() const { return layout_; }

 private:
  WorkbookModel& workbook_;
  const ArchiveLayout& layout_;
};

}  // namespace

std::string EventMarksText(const EventMarks& marks) {
  std::string text;
  for (size_t n = 0; n < kChannelCount; ++n) {
    text += marks[n].x ? "X " : "  ";
    text += marks[n].less ? "< " : "  ";
    text += marks[n].greater ? "> " : "  ";
    if (n == 0) text += ' ';
  }
  return text;
}

ArchiveSheet BeginArchiveSheet(WorkbookModel& workbook, ArchiveKind kind, double start, double end,
                               double now, uint8_t slave_address,
                               const std::string& program_folder) {
  if (!HasArchiveSheets(workbook)) workbook = WorkbookModel::MakeArchiveWorkbook();
  workbook.SetFileName(program_folder + "/" + kArchiveWorkbookName);
  ArchiveSheet sheet;
  sheet.kind = kind;
  sheet.cell_format_base = workbook.CellFormatBase();
  // Rows of an earlier, longer download must not survive below this one.
  workbook.ClearSheetCells(LayoutOf(kind).sheet_index);

  SheetWriter writer(workbook, kind);
  writer.Text(
      0, 0, std::string(LayoutOf(kind).title) + " с " + ShortDate(start) + " по " + ShortDate(end),
      kHeaderFormat);
  writer.Text(0, 1, "создан: " + ShortDate(now) + " " + LongTime(now), kHeaderFormat);
  writer.Text(0, 2, "узел: неизвестен", kHeaderFormat);
  writer.Text(0, 3, "точка: неизвестен", kHeaderFormat);
  writer.Text(0, 4, "прибор: неизвестен", kHeaderFormat);
  writer.Text(0, 5, "сетевой номер: " + std::to_string(slave_address), kHeaderFormat);
  uint16_t column = 0;
  for (size_t i = 0; i < std::size(kColumnTitles); ++i) {
    if (i == 1 && !writer.Layout().time_column) continue;  // "Время"
    writer.Text(column++, 7, kColumnTitles[i], kTitleFormat);
  }
  return sheet;
}

void AddRecordRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                  const ArchiveEntry& entry) {
  const ChannelValues& values = entry.values;
  for (size_t n = 0; n < kChannelCount; ++n) {
    sheet.column_totals[n] += values.volume[n];
    sheet.column_totals[kChannelCount + n] += values.operating_time[n];
  }
  sheet.mains_off_sum += static_cast<float>(entry.mains_off_h);

  SheetWriter writer(workbook, kind);
  const uint16_t row = TakeRow(sheet);
  writer.Number(0, row, entry.at, writer.Layout().date_format);
  if (writer.Layout().time_column) writer.Number(1, row, entry.at, kTimeFormat);
  writer.Values(row, values);
  writer.Number(writer.MainsOffColumn(), row, entry.mains_off_h, kHoursFormat);
  writer.Text(writer.EventsColumn(), row, EventMarksText(entry.events), kEventsFormat);
}

ArchiveTotals TotalsOf(const ArchiveSheet& sheet, const VolumeScales& scales) {
  ChannelCounts volume, operating_time;
  for (size_t n = 0; n < kChannelCount; ++n) {
    volume[n] = sheet.column_totals[n];
    operating_time[n] = sheet.column_totals[kChannelCount + n];
  }
  return {ChannelValuesOf(volume, operating_time, scales), sheet.mains_off_sum};
}

void AddTotalsRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                  const ArchiveTotals& totals) {
  SheetWriter writer(workbook, kind);
  const uint16_t row = TakeRow(sheet);
  writer.Text(0, row, "Итого:", kTitleFormat);
  if (writer.Layout().time_column) writer.Text(1, row, "", kTitleFormat);
  writer.Values(row, totals.values);
  writer.Number(writer.MainsOffColumn(), row, totals.mains_off_h, kHoursFormat);
  writer.Text(writer.EventsColumn(), row, "", kTitleFormat);
}

void AddIntegratorLabel(WorkbookModel& workbook, ArchiveSheet& sheet) {
  TakeRow(sheet);  // stays empty
  SheetWriter(workbook, sheet.kind).Text(0, TakeRow(sheet), "Интеграторы:", kHeaderFormat);
}

void AddIntegratorRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                      const IntegratorReading& reading) {
  SheetWriter writer(workbook, kind);
  const uint16_t row = TakeRow(sheet);
  writer.Number(0, row, reading.date, writer.Layout().date_format);
  writer.Values(row, reading.values);
}

void AddRecordRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                  const ArchiveRecord& record, double at, const VolumeScales& scales) {
  AddRecordRow(workbook, sheet, kind, ArchiveEntryOf(record, kind, at, scales));
}

void AddTotalsRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                  const VolumeScales& scales) {
  AddTotalsRow(workbook, sheet, kind, TotalsOf(sheet, scales));
}

void AddIntegratorRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                      const ArchiveRecord& record, double date, const VolumeScales& scales) {
  AddIntegratorRow(
      workbook, sheet, kind,
      {.date = date, .values = ChannelValuesOf(record.volume, record.operating_time, scales)});
}

std::string ArchiveSaveFailedText(const std::string& path, const std::string& error) {
  const size_t colon = error.rfind(": ");
  const std::string system_text = colon == std::string::npos ? error : error.substr(colon + 2);
  const std::optional<std::string> reason = KnownWriteFailureReason(path, false, {}, system_text);
  // A file the disk shows no reason for is most likely held by Excel.
  if (!reason) return kArchiveSaveFailedText;
  return "Не удалось сохранить файл с полученным архивом.\r" + *reason;
}

}  // namespace flovir
