#include "operations/archive_workbook.h"

#include <string_view>

#include "operations/report_files.h"
#include "workbook/model.h"
#include "workbook/serial_date.h"

namespace flovir {

namespace {

// Design-time cell formats of the archive workbook; a cell names
// WorkbookModel::DesignFormatIndex(k).
enum CellFormatIndex : int {
  kHeaderFormat = 0,
  kDateFormat = 1,
  kVolumeFormat = 2,
  kHoursFormat = 3,
  kTitleFormat = 4,
  kTimeFormat = 5,
  kEventsFormat = 6,
  kMonthFormat = 7,
};
constexpr int kDesignFormatCount = 8;

constexpr std::string_view kSheetNames[] = {"days", "hours", "months"};

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
  if (workbook.SheetCount() < std::size(kSheetNames)) return false;
  for (size_t i = 0; i < std::size(kSheetNames); ++i) {
    if (workbook.SheetName(i) != kSheetNames[i]) return false;
  }
  // A read-back file must carry the design-time formats after its own 16.
  return !workbook.FormatsFromFile() ||
         workbook.Data().cell_formats.size() >=
             static_cast<size_t>(workbook.DesignFormatIndex(kDesignFormatCount));
}

// Where the columns of a kind's row lie: hourly rows have the time in
// column 1 and everything else one column further right.
struct Columns {
  uint16_t first_value;
  bool hourly;
  int date_format;
};

Columns ColumnsOf(ArchiveKind kind) {
  switch (kind) {
    case ArchiveKind::Hourly:
      return {2, true, kDateFormat};
    case ArchiveKind::Daily:
      return {1, false, kDateFormat};
    case ArchiveKind::Monthly:
      return {1, false, kMonthFormat};
  }
  return {1, false, kDateFormat};
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
      : workbook_(workbook), index_(ArchiveSheetIndex(kind)), columns_(ColumnsOf(kind)) {}

  void Number(uint16_t column, uint16_t row, double value, int format) {
    workbook_.SetNumberCell(index_, column, row, value, workbook_.DesignFormatIndex(format));
  }
  void Text(uint16_t column, uint16_t row, std::string_view text, int format) {
    workbook_.SetTextCell(index_, column, row, text, workbook_.DesignFormatIndex(format));
  }
  // Four volumes and four operating times from the first value column.
  void Values(uint16_t row, const ChannelCounts& volume, const ChannelCounts& operating_time,
              const VolumeScales& scales) {
    for (size_t n = 0; n < kChannelCount; ++n) {
      const auto column = static_cast<uint16_t>(columns_.first_value + n);
      Number(column, row, ScaledVolume(volume[n], scales[n]), kVolumeFormat);
      Number(static_cast<uint16_t>(column + kChannelCount), row, CountToHours(operating_time[n]),
             kHoursFormat);
    }
  }
  uint16_t MainsOffColumn() const { return static_cast<uint16_t>(columns_.first_value + 8); }
  uint16_t EventsColumn() const { return static_cast<uint16_t>(columns_.first_value + 9); }
  const Columns& Layout() const { return columns_; }

 private:
  WorkbookModel& workbook_;
  size_t index_;
  Columns columns_;
};

}  // namespace

size_t ArchiveSheetIndex(ArchiveKind kind) {
  switch (kind) {
    case ArchiveKind::Daily:
      return 0;
    case ArchiveKind::Hourly:
      return 1;
    case ArchiveKind::Monthly:
      return 2;
  }
  return 1;
}

const char* ArchiveTitle(ArchiveKind kind) {
  switch (kind) {
    case ArchiveKind::Daily:
      return "Суточный архив с ";
    case ArchiveKind::Monthly:
      return "Месячный архив с ";
    case ArchiveKind::Hourly:
      break;
  }
  return "Часовой архив с ";
}

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
  workbook.ClearSheetCells(ArchiveSheetIndex(kind));

  SheetWriter writer(workbook, kind);
  writer.Text(0, 0, ArchiveTitle(kind) + ShortDate(start) + " по " + ShortDate(end), kHeaderFormat);
  writer.Text(0, 1, "создан: " + ShortDate(now) + " " + LongTime(now), kHeaderFormat);
  writer.Text(0, 2, "узел: неизвестен", kHeaderFormat);
  writer.Text(0, 3, "точка: неизвестен", kHeaderFormat);
  writer.Text(0, 4, "прибор: неизвестен", kHeaderFormat);
  writer.Text(0, 5, "сетевой номер: " + std::to_string(slave_address), kHeaderFormat);
  uint16_t column = 0;
  for (size_t i = 0; i < std::size(kColumnTitles); ++i) {
    if (i == 1 && kind != ArchiveKind::Hourly) continue;  // "Время"
    writer.Text(column++, 7, kColumnTitles[i], kTitleFormat);
  }
  return sheet;
}

void AddRecordRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                  const ArchiveRecord& record, double at, const VolumeScales& scales) {
  const double mains_off = MainsOffHours(record.mains_time, kind, at);
  for (size_t n = 0; n < kChannelCount; ++n) {
    sheet.column_totals[n] += record.volume[n];
    sheet.column_totals[kChannelCount + n] += record.operating_time[n];
  }
  sheet.mains_off_sum += static_cast<float>(mains_off);

  SheetWriter writer(workbook, kind);
  const uint16_t row = TakeRow(sheet);
  writer.Number(0, row, at, writer.Layout().date_format);
  if (writer.Layout().hourly) writer.Number(1, row, at, kTimeFormat);
  writer.Values(row, record.volume, record.operating_time, scales);
  writer.Number(writer.MainsOffColumn(), row, mains_off, kHoursFormat);
  writer.Text(writer.EventsColumn(), row,
              EventMarksText(EventMarksOf(record.event_word_a, record.event_word_b, kind)),
              kEventsFormat);
}

void AddTotalsRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                  const VolumeScales& scales) {
  SheetWriter writer(workbook, kind);
  const uint16_t row = TakeRow(sheet);
  writer.Text(0, row, "Итого:", kTitleFormat);
  if (writer.Layout().hourly) writer.Text(1, row, "", kTitleFormat);
  ChannelCounts volume, operating_time;
  for (size_t n = 0; n < kChannelCount; ++n) {
    volume[n] = sheet.column_totals[n];
    operating_time[n] = sheet.column_totals[kChannelCount + n];
  }
  writer.Values(row, volume, operating_time, scales);
  writer.Number(writer.MainsOffColumn(), row, sheet.mains_off_sum, kHoursFormat);
  writer.Text(writer.EventsColumn(), row, "", kTitleFormat);
}

void AddIntegratorLabel(WorkbookModel& workbook, ArchiveSheet& sheet) {
  TakeRow(sheet);  // stays empty
  SheetWriter(workbook, sheet.kind).Text(0, TakeRow(sheet), "Интеграторы:", kHeaderFormat);
}

void AddIntegratorRow(WorkbookModel& workbook, ArchiveSheet& sheet, ArchiveKind kind,
                      const ArchiveRecord& record, double date, const VolumeScales& scales) {
  SheetWriter writer(workbook, kind);
  const uint16_t row = TakeRow(sheet);
  writer.Number(0, row, date, writer.Layout().date_format);
  writer.Values(row, record.volume, record.operating_time, scales);
}

std::string ArchiveSaveFailedText(const std::string& path, const std::string& error) {
  const size_t colon = error.rfind(": ");
  const std::string system_text = colon == std::string::npos ? error : error.substr(colon + 2);
  const std::optional<std::string> reason = KnownWriteFailureReason(path, false, {}, system_text);
  // A file the disk shows no reason for is most likely held by Excel.
  if (!reason) return kArchiveSaveFailedText;
  return "Не удалось сохранить файл с полученным архивом.\r" + *reason;
}

bool SaveArchiveWorkbook(WorkbookModel& workbook, View& view) {
  try {
    workbook.SaveWorkbook();
    return true;
  } catch (const std::exception& error) {
    view.ShowMessage(kProgramTitle, ArchiveSaveFailedText(workbook.FileName(), error.what()),
                     MessageIcon::Error);
    return false;
  }
}

}  // namespace flovir
