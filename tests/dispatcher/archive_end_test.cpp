// The end of an archive download against the simulated meter: "temp.xls"
// saved, the table read back from it and shown. The table must equal the one
// built independently from the meter's own entries
// (tests/reports/archive_fixture.h); a "temp.xls" that cannot be saved is
// told in a message box.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

#include "operations/archive_download.h"
#include "reports/archive_table.h"
#include "tests/reports/archive_fixture.h"
#include "tests/support/rig.h"
#include "workbook/cp1251.h"

namespace flovir {
namespace {

using namespace flovir::testing;
using sim::ArchiveValueType;
using SimKind = sim::ArchiveKind;

// One download: the calendars' dates, the meter's scale codes and how many
// days of history it holds.
struct Case {
  ArchiveKind kind;
  CivilDateTime first, last;
  std::array<float, 4> scale_codes;
  int history_days = 400;
};

const Case kCases[] = {
    // Three days of hours; the first lies before the meter's first day (no
    // data), the others have events.
    {ArchiveKind::Hourly, {2024, 3, 3}, {2024, 3, 5}, {3, 2, 1, 4}, 3},
    {ArchiveKind::Daily, {2023, 12, 25}, {2024, 1, 10}, {2, 2, 3, 0}},
    // February of a leap year is 696 hours long; March is still running.
    {ArchiveKind::Monthly, {2024, 1, 1}, {2024, 3, 1}, {1, 1, 2, 3}},
};

double Serial(const CivilDateTime& t) {
  return EncodeDateTime(t);
}

bool Download(Rig& rig, const Case& c) {
  for (int n = 0; n < 4; ++n) rig.meter.SetScaleCode(n + 1, c.scale_codes[static_cast<size_t>(n)]);
  return rig.dispatcher.StartArchive(OperationOf(c.kind), Serial(c.first), Serial(c.last)) &&
         rig.Finish();
}

// The events text: per channel X, <, > for bits 2, 0, 1, three bits higher
// per channel, channels 1-2 from word A and 3-4 from word B (the daily
// archive takes all from word B).
std::string Marks(ArchiveKind kind, uint32_t a, uint32_t b) {
  std::string text;
  for (int c = 0; c < 4; ++c) {
    const uint32_t bits = (kind == ArchiveKind::Daily || c >= 2 ? b : a) >> (3 * c);
    text += std::string(bits & 4 ? "X " : "  ") + (bits & 1 ? "< " : "  ") +
            (bits & 2 ? "> " : "  ") + (c == 0 ? " " : "");
  }
  return text;
}

// What the meter holds for the case's range, as the fixture's download.
testing::Download FromMeter(const sim::SimulatedMeter& meter, const Case& c) {
  auto raw = [&](SimKind kind, ArchiveValueType type, double at) {
    const CivilDateTime t = DecodeDateTime(at);
    const sim::ArchiveEntry e = meter.Entry(kind, type, MeterTime(at));
    return RawEntry{
        t.year,      t.month, t.day,     t.hour,    e.volume,
        e.operating, e.mains, e.event_a, e.event_b, Marks(c.kind, e.event_a, e.event_b)};
  };
  const double first = Serial(c.first), last = Serial(c.last);
  const bool hourly = c.kind == ArchiveKind::Hourly;
  // The hourly archive ends with the next day's midnight.
  const CivilDateTime end = DecodeDateTime(hourly ? last + 1 : last);
  testing::Download d{
      c.kind, {c.first.year, c.first.month, c.first.day}, {end.year, end.month, end.day}};
  d.scale_codes = c.scale_codes;
  if (c.kind == ArchiveKind::Monthly) {
    for (CivilDateTime m = c.first; Serial(m) <= last;
         m.year += m.month / 12, m.month = m.month % 12 + 1) {
      d.entries.push_back(raw(SimKind::kMonthly, ArchiveValueType::kInterval, Serial(m)));
      d.integrators.push_back(raw(SimKind::kMonthly, ArchiveValueType::kIntegrator, Serial(m)));
    }
    return d;
  }
  const int per_day = hourly ? 24 : 1;
  for (int i = 0; i < static_cast<int>(last - first + 1) * per_day; ++i) {
    d.entries.push_back(raw(hourly ? SimKind::kHourly : SimKind::kDaily,
                            ArchiveValueType::kInterval, first + i / double(per_day)));
  }
  d.integrators = {raw(SimKind::kDaily, ArchiveValueType::kIntegrator, first),
                   raw(SimKind::kDaily, ArchiveValueType::kIntegrator, Serial(end))};
  return d;
}

void ExpectSameLines(const std::vector<std::string>& actual,
                     const std::vector<std::string>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << "line " << i;
}

// The end of a download that saved "temp.xls": the status bar says the file
// is read, the window repaints, the status is cleared, and the operation ends.
const std::vector<std::string> kReadBackCalls = {"status:Читаю архив...", "<events>",
                                                 "status:", "status:Завершено успешно"};

std::vector<std::string> LastCalls(const RecordingView& view) {
  return {view.calls.end() - std::min<ptrdiff_t>(4, std::ssize(view.calls)), view.calls.end()};
}

TEST(ArchiveEnd, TheTableReadBackFromTempXlsIsTheMetersEntries) {
  for (const Case& c : kCases) {
    sim::MeterOptions options;
    options.history_days = c.history_days;
    Rig rig(Serial(kCreated), options);
    ASSERT_TRUE(Download(rig, c));
    const testing::Download expected = FromMeter(rig.meter, c);
    const std::vector<std::string>& lines = rig.view.reports[size_t(ReportOf(OperationOf(c.kind)))];
    ExpectSameLines(lines, ExpectedTable(expected));
    EXPECT_EQ(rig.view.reports_set, 1);
    EXPECT_EQ(LastCalls(rig.view), kReadBackCalls);
    EXPECT_TRUE(rig.dispatcher.Archive().Workbook().FormatsFromFile());
    EXPECT_TRUE(std::any_of(expected.entries.begin(), expected.entries.end(),
                            [](const RawEntry& e) { return e.marks != std::string(25, ' '); }));
    if (c.kind == ArchiveKind::Hourly) {
      EXPECT_EQ(Utf8Length(lines[7]), 133u);
      EXPECT_EQ(lines[12 + 9].substr(10, 6), "  9:00");
      EXPECT_EQ(expected.entries[0].volume[0], sim::kNoData);
    }
  }
}

TEST(ArchiveEnd, AllThreeArchivesShareOneFile) {
  // Each download replaces its own sheet and keeps the others; the second
  // round uses the formats read back from the file.
  Rig rig(Serial(kCreated));
  for (int round = 0; round < 2; ++round) {
    for (const Case& c : {kCases[2], kCases[1], kCases[0]}) {
      ASSERT_TRUE(Download(rig, c));
      ExpectSameLines(rig.view.reports[size_t(ReportOf(OperationOf(c.kind)))],
                      ExpectedTable(FromMeter(rig.meter, c)));
    }
  }
  EXPECT_TRUE(rig.dispatcher.Archive().Workbook().FormatsFromFile());
  WorkbookModel fresh;
  fresh.SetFileName(rig.folder.Path("temp.xls"));
  fresh.LoadWorkbook();
  for (const Case& c : kCases) {
    ExpectSameLines(ArchiveTableLines(ReportOf(OperationOf(c.kind)), fresh),
                    ExpectedTable(FromMeter(rig.meter, c)));
  }
}

// A "temp.xls" that cannot be saved: a message box tells the user why, and
// the table shows what the file holds (nothing, or the reader's error). Once
// the cause is gone, the next download saves it without a word.
TEST(ArchiveEnd, ATempXlsThatCannotBeSavedIsToldInAMessageBox) {
  // The program's folder below the scratch folder F, whether a folder takes
  // the name temp.xls, the reason the box gives and the status at the end.
  struct Failure {
    std::string program_folder;
    bool folder_named_temp_xls;
    std::string reason, status;
  };
  const Failure failures[] = {
      {"/no such folder", false, "папка «F/no such folder» не существует (", "Завершено успешно"},
      {"", true, "«F/temp.xls» — папка, а не файл (",
       "Не удалось прочитать архив из файла F/temp.xls: "},
  };
  for (const Failure& f : failures) {
    Rig rig(Serial(kCreated));
    const auto in_folder = [&](std::string text) {
      const size_t at = text.find('F');
      return at == std::string::npos ? text : text.replace(at, 1, rig.folder.Path());
    };
    rig.dispatcher.SetProgramFolder(rig.folder.Path() + f.program_folder);
    if (f.folder_named_temp_xls) std::filesystem::create_directory(rig.folder / "temp.xls");
    rig.view.report = {"old table"};
    ASSERT_TRUE(Download(rig, kCases[1]));
    ASSERT_EQ(rig.view.messages.size(), 1u);
    const RecordingView::Message& box = rig.view.messages[0];
    EXPECT_EQ(box.title, "Связь ФЛОВИР");
    EXPECT_EQ(box.icon, MessageIcon::Error);
    EXPECT_EQ(box.text.rfind(
                  "Не удалось сохранить файл с полученным архивом.\r" + in_folder(f.reason), 0),
              0u)
        << box.text;
    // The file is read back only when something has the name "temp.xls".
    EXPECT_EQ(std::count(rig.view.statuses.begin(), rig.view.statuses.end(), "Читаю архив..."),
              f.folder_named_temp_xls ? 1 : 0);
    EXPECT_EQ(rig.LastStatus().rfind(in_folder(f.status), 0), 0u) << rig.LastStatus();
    EXPECT_EQ(rig.view.report, std::vector<std::string>{});

    rig.dispatcher.SetProgramFolder(rig.folder.Path());
    std::filesystem::remove(rig.folder / "temp.xls");
    ASSERT_TRUE(Download(rig, kCases[1]));
    EXPECT_EQ(rig.view.messages.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_regular_file(rig.folder / "temp.xls"));
    EXPECT_EQ(LastCalls(rig.view), kReadBackCalls);
    ExpectSameLines(rig.view.report, ExpectedTable(FromMeter(rig.meter, kCases[1])));
  }
}

}  // namespace
}  // namespace flovir
