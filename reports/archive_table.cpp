#include "reports/archive_table.h"

#include "reports/archive_layout.h"
#include "reports/number_format.h"
#include "workbook/cp1251.h"
#include "workbook/serial_date.h"

namespace flovir {

namespace {

constexpr int kTitleLineCount = 7;
constexpr int kFirstDataRow = kArchiveFirstDataRow;
constexpr int kLastSheetRow = 65535;
// Day serials of 1 January 100 and 31 December 9999: anything outside is
// not a date the table can show.
constexpr double kFirstShownSerial = -657434;
constexpr double kLastShownSerial = 2958465;

// The archive of a report area; the hourly one for an area that shows none.
const ArchiveLayout& TableLayoutOf(ReportKind kind) {
  const ArchiveLayout* layout = LayoutOf(kind);
  return layout != nullptr ? *layout : LayoutOf(ArchiveKind::Hourly);
}

const std::string kLongDash(127, '-');
const std::string kHourlyLongDash(133, '-');
const std::string kIntegratorDash(114, '-');

std::vector<std::string> HeaderLines(bool hourly) {
  if (hourly) {
    return {
        kHourlyLongDash,
        "   Дата   |Время|                 Объём,м3                  |        Время работы,часов"
        "         | Время  |          События",
        "          |     |-------------------------------------------|-------------------------"
        "----------|отсут-я |---------------------------",
        "          |     |    V1    |    V2    |    V3    |    V4    |   B1   |   B2   |   B3   "
        "|   B4   | сети   |канал1|канал2|канал3|канал4",
        kHourlyLongDash,
    };
  }
  return {
      kLongDash,
      "   Дата   |                  Объём,м3                 |         Время работы,часов       "
      " | Время  |          События",
      "          |-------------------------------------------|-----------------------------------"
      "|отсут-я |---------------------------",
      "          |    V1    |    V2    |    V3    |    V4    |   B1   |   B2   |   B3   |   B4   "
      "| сети   |канал1|канал2|канал3|канал4",
      kLongDash,
  };
}

std::vector<std::string> IntegratorHeaderLines() {
  return {
      kIntegratorDash,
      "   Дата   |                         Объём,м3                          |            Время "
      "работы,часов             ",
      "          |-----------------------------------------------------------|-------------------"
      "------------------------",
      "          |      V1      |      V2      |      V3      |      V4      |    B1    |    B2  "
      "  |    B3    |    B4    ",
      kIntegratorDash,
  };
}

// Reads one sheet; rows past the last sheet row read as empty.
class SheetCells {
 public:
  SheetCells(const WorkbookModel& workbook, size_t sheet) : workbook_(workbook), sheet_(sheet) {}

  double Number(int column, int row) const {
    if (row > kLastSheetRow) return 0;
    return workbook_.GetCellNumber(sheet_, static_cast<uint16_t>(column),
                                   static_cast<uint16_t>(row));
  }
  std::string Text(int column, int row) const {
    if (row > kLastSheetRow) return {};
    return workbook_.GetCellText(sheet_, static_cast<uint16_t>(column), static_cast<uint16_t>(row));
  }
  // A row holds a date when column 0, shown as a date, is not day 0.
  bool HasDate(int row) const {
    const std::string date = TableDateText(Number(0, row));
    return !date.empty() && date != "30.12.1899";
  }
  // Columns first..first+count-1 as FormatFixed(precision, 3) in columns of width.
  std::string Columns(int row, int first, int count, int precision, size_t width) const {
    std::string text;
    for (int c = first; c < first + count; ++c) {
      text += PadColumn(FormatFixed(Number(c, row), precision, 3), width);
    }
    return text;
  }

 private:
  const WorkbookModel& workbook_;
  size_t sheet_;
};

std::string TwoDigits(int value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

// A date column of ten characters; a number that is no date shows as "#".
std::string DateColumn(double serial) {
  const std::string text = TableDateText(serial);
  return text.empty() ? std::string(10, '#') : text;
}

}  // namespace

std::string PadColumn(const std::string& text, size_t width) {
  const size_t length = Utf8Length(text);
  if (length > width) return " " + std::string(width, '#');
  return std::string(width + 1 - length, ' ') + text;
}

std::string TableDateText(double serial) {
  if (!(serial >= kFirstShownSerial && serial <= kLastShownSerial)) return {};
  const CivilDateTime t = DecodeDateTime(serial);
  std::string year = std::to_string(t.year);
  year.insert(0, 4 - std::min<size_t>(year.size(), 4), '0');
  return TwoDigits(t.day) + "." + TwoDigits(t.month) + "." + year;
}

std::string TableTimeText(double serial) {
  if (!(serial >= kFirstShownSerial && serial <= kLastShownSerial)) return " 0:00";
  const CivilDateTime t = DecodeDateTime(serial);
  return (t.hour < 10 ? " " : "") + std::to_string(t.hour) + ":" + TwoDigits(t.minute);
}

std::vector<ArchiveIntervalRow> ArchiveIntervalRows(ReportKind kind,
                                                    const WorkbookModel& workbook) {
  const ArchiveLayout& layout = TableLayoutOf(kind);
  const SheetCells cells(workbook, layout.sheet_index);
  const int f = layout.first_value_column;
  std::vector<ArchiveIntervalRow> rows;
  if (cells.Text(0, 0).find(layout.title) == std::string::npos) return rows;
  for (int row = kFirstDataRow; row <= kLastSheetRow && cells.HasDate(row); ++row) {
    ArchiveIntervalRow& r = rows.emplace_back();
    r.date = cells.Number(0, row);
    r.time = layout.time_column ? cells.Number(1, row) : r.date;
    for (size_t c = 0; c < r.values.size(); ++c)
      r.values[c] = cells.Number(f + static_cast<int>(c), row);
    r.events = cells.Text(f + 9, row);
  }
  return rows;
}

std::string ArchiveValueText(size_t column, double value) {
  return FormatFixed(value, column < 4 ? 10 : 8, 3);
}

std::string IntegratorValueText(size_t column, double value) {
  return FormatFixed(value, column < 4 ? 14 : 10, 3);
}

ArchiveTableData ArchiveTableOf(ReportKind kind, const WorkbookModel& workbook) {
  const ArchiveLayout& layout = TableLayoutOf(kind);
  const SheetCells cells(workbook, layout.sheet_index);
  const int f = layout.first_value_column;
  ArchiveTableData data;
  for (int row = 0; row < kTitleLineCount; ++row) data.titles.push_back(cells.Text(0, row));
  data.has_table = data.titles.front().find(layout.title) != std::string::npos;
  if (!data.has_table) return data;
  data.rows = ArchiveIntervalRows(kind, workbook);
  const int totals = kFirstDataRow + static_cast<int>(data.rows.size());
  for (size_t c = 0; c < data.totals.size(); ++c) {
    data.totals[c] = cells.Number(f + static_cast<int>(c), totals);
  }
  for (int r = totals + 3; r <= kLastSheetRow + 1; ++r) {
    if (layout.integrator_every_month ? !cells.HasDate(r) : r > totals + 4) break;
    ArchiveIntegratorRow& reading = data.integrators.emplace_back();
    reading.date = cells.Number(0, r);
    for (size_t c = 0; c < reading.values.size(); ++c) {
      reading.values[c] = cells.Number(f + static_cast<int>(c), r);
    }
  }
  return data;
}

std::vector<std::string> ArchiveTableLines(ReportKind kind, const WorkbookModel& workbook) {
  const ArchiveLayout& layout = TableLayoutOf(kind);
  const SheetCells cells(workbook, layout.sheet_index);
  const int f = layout.first_value_column;
  std::vector<std::string> lines;
  for (int row = 0; row < kTitleLineCount; ++row) lines.push_back(cells.Text(0, row));
  if (lines.front().find(layout.title) == std::string::npos) return lines;

  const std::vector<std::string> header = HeaderLines(layout.time_column);
  lines.insert(lines.end(), header.begin(), header.end());

  const std::vector<ArchiveIntervalRow> rows = ArchiveIntervalRows(kind, workbook);
  for (const ArchiveIntervalRow& r : rows) {
    std::string line = DateColumn(r.date);
    if (layout.time_column) line += " " + TableTimeText(r.time);
    for (size_t c = 0; c < r.values.size(); ++c) {
      line += PadColumn(ArchiveValueText(c, r.values[c]), c < 4 ? 10 : 8);
    }
    line += " " + r.events;
    lines.push_back(std::move(line));
  }
  const int totals = kFirstDataRow + static_cast<int>(rows.size());
  lines.push_back(header.front());
  lines.push_back(std::string(layout.time_column ? "Итого:          " : "Итого:    ") +
                  cells.Columns(totals, f, 4, 10, 10) + cells.Columns(totals, f + 4, 5, 8, 8));

  lines.push_back("");
  lines.push_back("Интеграторы:");
  const std::vector<std::string> integrator_header = IntegratorHeaderLines();
  lines.insert(lines.end(), integrator_header.begin(), integrator_header.end());
  for (int r = totals + 3; r <= kLastSheetRow + 1; ++r) {
    if (layout.integrator_every_month ? !cells.HasDate(r) : r > totals + 4) break;
    lines.push_back(DateColumn(cells.Number(0, r)) + cells.Columns(r, f, 4, 14, 14) +
                    cells.Columns(r, f + 4, 4, 10, 10));
  }
  lines.push_back(kIntegratorDash);
  return lines;
}

}  // namespace flovir
