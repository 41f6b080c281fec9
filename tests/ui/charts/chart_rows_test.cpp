// The chart's rows against the text table of the same download from the
// simulated meter: the same rows in the same order, the table's digits,
// gaps exactly where the meter has no data and marks where it has events.

#include <gtest/gtest.h>

#include <algorithm>

#include "operations/archive_download.h"
#include "tests/support/rig.h"
#include "ui/charts/archive_chart_data.h"

namespace flovir {
namespace {

using testing::At;
using testing::MeterTime;
using testing::Rig;

struct Download {
  const char* name;
  OperationKind operation;
  ReportKind report;
  sim::ArchiveKind meter_kind;
  int history_days;  // the meter's archives begin inside the range
  double from, to;
};

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? ""
                                    : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "12,345" as std::stod reads it.
std::string Dotted(std::string text) {
  std::replace(text.begin(), text.end(), ',', '.');
  return text;
}

class ChartRows : public ::testing::TestWithParam<Download> {};

TEST_P(ChartRows, EqualTheTableRowForRowWithGapsForNoDataAndMarksForEvents) {
  const Download& d = GetParam();
  const double now = At(2024, 3, 7, 10, 20);
  sim::MeterOptions options;
  options.history_days = d.history_days;
  Rig rig(now, options);
  ASSERT_TRUE(rig.dispatcher.StartArchive(d.operation, d.from, d.to) && rig.Finish());
  ASSERT_EQ(rig.LastStatus(), "Завершено успешно");

  WorkbookModel book;
  book.SetFileName(rig.folder.Path() + "/temp.xls");
  book.LoadWorkbook();
  const ArchiveChartData chart =
      ArchiveChartRows(d.report, book, rig.dispatcher.Archive().Data().entries);
  const std::vector<std::string>& table = rig.view.reports[static_cast<size_t>(d.report)];

  // The table: seven title lines, five header lines, then one line per row
  // until the dash line: the date, (hourly) a space and the time, four
  // volume columns of 11 characters, five time columns of 9, the events.
  const bool hourly = d.report == ReportKind::Hourly;
  const size_t first_value = hourly ? 16 : 10;
  size_t line = 12;
  size_t gaps = 0, events = 0;
  for (const ArchiveChartRow& row : chart.rows) {
    ASSERT_LT(line, table.size());
    const std::string& text = table[line++];
    ASSERT_NE(text[0], '-') << "the chart has more rows than the table";
    EXPECT_EQ(row.date_text.substr(0, 10), text.substr(0, 10));
    if (hourly) {
      EXPECT_EQ(row.date_text.substr(11), Trim(text.substr(11, 5)));
    }

    const sim::ArchiveEntry entry =
        rig.meter.Entry(d.meter_kind, sim::ArchiveValueType::kInterval, MeterTime(row.at));
    const bool no_data = entry.volume[0] == sim::kNoData;
    gaps += no_data;
    for (size_t s = 0; s < kChartSeriesCount; ++s) {
      const size_t at = s < 4 ? first_value + 11 * s : first_value + 44 + 9 * (s - 4);
      const std::string shown = Trim(text.substr(at, s < 4 ? 11 : 9));
      EXPECT_EQ(row.texts[s], shown) << text;
      EXPECT_EQ(row.values.at(s).has_value(), !no_data) << row.date_text << " " << s;
      if (row.values[s]) {
        EXPECT_NEAR(*row.values[s], std::stod(Dotted(shown)), 0.0005);
      }
    }
    const bool marked = (entry.event_a | entry.event_b) != 0;
    events += marked;
    EXPECT_EQ(!row.events.empty(), marked) << row.date_text;
    EXPECT_EQ(!Trim(text.substr(first_value + 89)).empty(), marked) << text;
  }
  EXPECT_EQ(table.at(line)[0], '-') << "the table has more rows than the chart";
  EXPECT_GT(gaps, 0u);
  EXPECT_GT(events, 0u);
  EXPECT_LT(gaps, chart.rows.size());

  // The hints carry the table's digits with the decimal comma.
  const ArchiveChartRow& last = chart.rows.back();
  EXPECT_EQ(ChartValueHint(last, 0), last.date_text + "\nV1: " + last.texts[0] + " м³");
  EXPECT_NE(last.texts[0].find(','), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Downloads, ChartRows,
    ::testing::Values(Download{"hourly", OperationKind::HourlyArchive, ReportKind::Hourly,
                               sim::ArchiveKind::kHourly, 1, At(2024, 3, 5), At(2024, 3, 7)},
                      Download{"daily", OperationKind::DailyArchive, ReportKind::Daily,
                               sim::ArchiveKind::kDaily, 20, At(2024, 2, 1), At(2024, 3, 7)},
                      Download{"monthly", OperationKind::MonthlyArchive, ReportKind::Monthly,
                               sim::ArchiveKind::kMonthly, 100, At(2023, 9, 1), At(2024, 3, 7)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace flovir
