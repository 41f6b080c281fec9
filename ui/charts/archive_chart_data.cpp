#include "ui/charts/archive_chart_data.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <utility>

#include "reports/archive_table.h"

namespace flovir {

namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Rows and entries meet at the same time in whole minutes.
int64_t MinuteOf(double at) {
  return std::llround(at * 1440.0);
}

// "канал1: X <; канал3: >"; empty without marks.
std::string EventsText(const EventMarks& marks) {
  std::string events;
  for (size_t channel = 0; channel < kChannelCount; ++channel) {
    std::string set;
    for (const auto& [on, mark] :
         {std::pair{marks[channel].x, "X"}, std::pair{marks[channel].less, "<"},
          std::pair{marks[channel].greater, ">"}}) {
      if (!on) continue;
      if (!set.empty()) set += ' ';
      set += mark;
    }
    if (set.empty()) continue;
    if (!events.empty()) events += "; ";
    events += "канал" + std::to_string(channel + 1) + ": " + set;
  }
  return events;
}

}  // namespace

ArchiveChartData ArchiveChartRows(ReportKind kind, const WorkbookModel& workbook,
                                  const std::vector<ArchiveEntry>& entries) {
  std::map<int64_t, const EventMarks*> events;
  for (const ArchiveEntry& entry : entries) events[MinuteOf(entry.at)] = &entry.events;
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
    if (const auto found = events.find(MinuteOf(row.at)); found != events.end()) {
      row.events = EventsText(*found->second);
    }
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
