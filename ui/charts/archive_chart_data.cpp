#include "ui/charts/archive_chart_data.h"

#include <cmath>

#include "reports/archive_table.h"

namespace flovir {

namespace {

// The events text holds the marks of channel 1 in characters 0-6 and of
// channels 2-4 in six characters each ("X < >  " and "X < > ").
constexpr size_t kEventsTextLength = 25;
constexpr size_t kChannelMarksBegin[] = {0, 7, 13, 19, 25};

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "канал1: X <; канал3: >" from the row's events text; a text of another
// layout is shown as it stands.
std::string EventsOf(const std::string& text) {
  if (Trimmed(text).empty()) return {};
  if (text.size() != kEventsTextLength) return Trimmed(text);
  std::string events;
  for (size_t channel = 0; channel < 4; ++channel) {
    std::string marks;
    for (size_t i = kChannelMarksBegin[channel]; i < kChannelMarksBegin[channel + 1]; ++i) {
      if (text[i] == ' ') continue;
      if (!marks.empty()) marks += ' ';
      marks += text[i];
    }
    if (marks.empty()) continue;
    if (!events.empty()) events += "; ";
    events += "канал" + std::to_string(channel + 1) + ": " + marks;
  }
  return events;
}

}  // namespace

ArchiveChartData ArchiveChartRows(ReportKind kind, const WorkbookModel& workbook) {
  ArchiveChartData data;
  data.kind = kind;
  const bool hourly = kind == ReportKind::Hourly;
  for (const ArchiveIntervalRow& r : ArchiveIntervalRows(kind, workbook)) {
    ArchiveChartRow& row = data.rows.emplace_back();
    // The table shows the date of column 0 and, hourly, the time of column 1.
    row.at = hourly ? std::floor(r.date) + (r.time - std::floor(r.time)) : r.date;
    row.date_text = TableDateText(r.date);
    if (hourly) row.date_text += " " + Trimmed(TableTimeText(r.time));
    for (size_t channel = 0; channel < kChartVolumeSeriesCount; ++channel) {
      const size_t hours = channel + kChartVolumeSeriesCount;
      const bool no_data = r.values[channel] == 0 && r.values[hours] == 0;
      for (const size_t series : {channel, hours}) {
        row.texts[series] = ArchiveValueText(series, r.values[series]);
        if (!no_data) row.values[series] = r.values[series];
      }
    }
    row.events = EventsOf(r.events);
  }
  return data;
}

std::string ChartSeriesName(size_t series) {
  return (series < kChartVolumeSeriesCount ? "V" : "B") +
         std::to_string(series % kChartVolumeSeriesCount + 1);
}

std::string ChartValueHint(const ArchiveChartRow& row, size_t series) {
  const char* unit = series < kChartVolumeSeriesCount ? " м³" : " ч";
  const std::string value = row.values[series] ? row.texts[series] + unit : "нет данных";
  return row.date_text + "\n" + ChartSeriesName(series) + ": " + value;
}

std::string ChartEventHint(const ArchiveChartRow& row) {
  return row.date_text + "\nСобытия: " + row.events;
}

}  // namespace flovir
