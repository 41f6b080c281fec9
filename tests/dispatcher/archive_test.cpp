// Archive downloads against the simulated meter: the rows that reach the
// workbook equal the meter's own entries, the progress texts, the finishing
// files, failures in the middle, small chunks and cancelling.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include "operations/archive_download.h"
#include "operations/background.h"
#include "operations/register_map.h"
#include "tests/support/rig.h"

namespace flovir {
namespace {

using sim::ArchiveValueType;
using testing::At;
using testing::ExpectValues;
using testing::MeterTime;
using testing::ReadFile;
using testing::Rig;
using testing::Totals;
using SimKind = sim::ArchiveKind;

// 7 March 2024, 10:20 (a function: the date encoding is ready only once
// static initialisation is over).
double Now() {
  return At(2024, 3, 7, 10, 20);
}
constexpr size_t kDays = 0, kHours = 1, kMonths = 2;

bool Download(Rig& rig, OperationKind kind, double from, double to) {
  return rig.dispatcher.StartArchive(kind, from, to) && rig.Finish();
}

TEST(HourlyArchive, OnePastDayGives24RowsTotalsAndTheIntegratorsOfDAndTheNextDay) {
  Rig rig(Now());
  const double day = At(2024, 3, 5);
  ASSERT_TRUE(Download(rig, OperationKind::HourlyArchive, day + 0.6, day + 0.1));
  EXPECT_EQ(rig.LastStatus(), "Завершено успешно");
  EXPECT_EQ(rig.view.statuses.front(), "Запрос часового архива...");

  const WorkbookModel& book = rig.dispatcher.Archive().Workbook();
  EXPECT_NE(book.GetCellText(kHours, 0, 0).find("05.03.2024 по 06.03.2024"), std::string::npos)
      << book.GetCellText(kHours, 0, 0);
  Totals totals;
  for (int hour = 0; hour < 24; ++hour) {
    const uint16_t row = static_cast<uint16_t>(8 + hour);
    EXPECT_NEAR(book.GetCellNumber(kHours, 0, row), day + hour / 24.0, 1e-9);
    EXPECT_NEAR(book.GetCellNumber(kHours, 1, row), day + hour / 24.0, 1e-9);
    const auto entry = rig.meter.Entry(SimKind::kHourly, ArchiveValueType::kInterval,
                                       MeterTime(day + hour / 24.0));
    ExpectValues(book, kHours, row, 2, entry);
    totals.Add(entry);
  }
  EXPECT_EQ(book.GetCellText(kHours, 0, 32), "Итого:");
  ExpectValues(book, kHours, 32, 2, totals.AsEntry());
  EXPECT_EQ(book.GetCellText(kHours, 0, 34), "Интеграторы:");
  EXPECT_NEAR(book.GetCellNumber(kHours, 0, 35), day, 1e-9);
  ExpectValues(book, kHours, 35, 2,
               rig.meter.Entry(SimKind::kDaily, ArchiveValueType::kIntegrator, MeterTime(day)));
  EXPECT_NEAR(book.GetCellNumber(kHours, 0, 36), day + 1, 1e-9);
  ExpectValues(book, kHours, 36, 2,
               rig.meter.Entry(SimKind::kDaily, ArchiveValueType::kIntegrator, MeterTime(day + 1)));

  const auto progress = rig.view.Progress();
  ASSERT_EQ(progress.size(), 23u);
  EXPECT_EQ(progress.front(), "Выполнено...4%");
  EXPECT_EQ(progress.back(), "Выполнено...95%");

  // The table was built from "temp.xls" and saved as the text file.
  EXPECT_TRUE(std::filesystem::exists(rig.folder / "temp.xls"));
  const auto& table = rig.view.reports[static_cast<size_t>(ReportKind::Hourly)];
  ASSERT_GT(table.size(), 24u + 7u);
  EXPECT_EQ(table[0], book.GetCellText(kHours, 0, 0));
  EXPECT_TRUE(std::filesystem::exists(rig.folder / u8"авто_/часовой архив.txt"));
}

TEST(HourlyArchive, TodayEndsAnHourAgoAndShowsZeroIntegrators) {
  Rig rig(Now());
  const double today = At(2024, 3, 7);
  ASSERT_TRUE(Download(rig, OperationKind::HourlyArchive, today, today));
  EXPECT_EQ(rig.LastStatus(), "Завершено успешно");
  const WorkbookModel& book = rig.dispatcher.Archive().Workbook();
  for (int hour = 0; hour < 10; ++hour) {
    EXPECT_NEAR(book.GetCellNumber(kHours, 0, static_cast<uint16_t>(8 + hour)), today + hour / 24.0,
                1e-9);
  }
  EXPECT_EQ(book.GetCellText(kHours, 0, 18), "Итого:");
  EXPECT_NEAR(rig.dispatcher.Archive().Job().end, At(2024, 3, 7, 9, 20), 1e-9);
  EXPECT_EQ(rig.dispatcher.Archive().Job().planned_steps, 9);
  EXPECT_EQ(rig.view.Progress().back(), "Выполнено...100%");
  EXPECT_NEAR(book.GetCellNumber(kHours, 0, 21), today, 1e-9);
  EXPECT_NEAR(book.GetCellNumber(kHours, 0, 22), At(2024, 3, 7, 9, 20), 1e-9);
  ExpectValues(book, kHours, 21, 2, {}, true);
  ExpectValues(book, kHours, 22, 2, {}, true);
}

TEST(DailyArchive, FirstToThirdReadsThreeDaysWithProgress33And66) {
  Rig rig(Now());
  ASSERT_TRUE(Download(rig, OperationKind::DailyArchive, At(2024, 3, 1), At(2024, 3, 3)));
  EXPECT_EQ(rig.LastStatus(), "Завершено успешно");
  EXPECT_EQ(rig.view.Progress(), (std::vector<std::string>{"Выполнено...33%", "Выполнено...66%"}));
  const WorkbookModel& book = rig.dispatcher.Archive().Workbook();
  Totals totals;
  for (int day = 1; day <= 3; ++day) {
    const uint16_t row = static_cast<uint16_t>(7 + day);
    EXPECT_EQ(book.GetCellNumber(kDays, 0, row), At(2024, 3, day));
    const auto entry =
        rig.meter.Entry(SimKind::kDaily, ArchiveValueType::kInterval, MeterTime(At(2024, 3, day)));
    ExpectValues(book, kDays, row, 1, entry);
    totals.Add(entry);
  }
  EXPECT_EQ(book.GetCellText(kDays, 0, 11), "Итого:");
  ExpectValues(book, kDays, 11, 1, totals.AsEntry());
  EXPECT_EQ(book.GetCellText(kDays, 0, 13), "Интеграторы:");
  for (int i = 0; i < 2; ++i) {
    const double day = i == 0 ? At(2024, 3, 1) : At(2024, 3, 3);
    EXPECT_EQ(book.GetCellNumber(kDays, 0, static_cast<uint16_t>(14 + i)), day);
    ExpectValues(book, kDays, static_cast<uint16_t>(14 + i), 1,
                 rig.meter.Entry(SimKind::kDaily, ArchiveValueType::kIntegrator, MeterTime(day)));
  }
  EXPECT_TRUE(std::filesystem::exists(rig.folder / u8"авто_/суточный архив.txt"));
}

TEST(DailyArchive, StartAfterEndReadsOneDay) {
  Rig rig(Now());
  ASSERT_TRUE(Download(rig, OperationKind::DailyArchive, At(2024, 3, 5), At(2024, 3, 2)));
  const WorkbookModel& book = rig.dispatcher.Archive().Workbook();
  EXPECT_EQ(book.GetCellNumber(kDays, 0, 8), At(2024, 3, 5));
  EXPECT_EQ(book.GetCellText(kDays, 0, 9), "Итого:");
  EXPECT_EQ(book.GetCellNumber(kDays, 0, 12), At(2024, 3, 5));
  EXPECT_EQ(book.GetCellNumber(kDays, 0, 13), At(2024, 3, 2));
  EXPECT_TRUE(rig.view.Progress().empty());
}

TEST(MonthlyArchive, JanuaryToMarchPlansFourStepsAndReadsEveryMonthTwice) {
  sim::MeterOptions options;
  options.history_days = 800;
  Rig rig(Now(), options);
  ASSERT_TRUE(Download(rig, OperationKind::MonthlyArchive, At(2023, 1, 20), At(2023, 3, 2)));
  EXPECT_EQ(rig.LastStatus(), "Завершено успешно");
  EXPECT_EQ(rig.dispatcher.Archive().Job().planned_steps, 4);
  EXPECT_EQ(rig.view.Progress(), (std::vector<std::string>{"Выполнено...25%", "Выполнено...50%",
                                                           "Выполнено...75%", "Выполнено...100%"}));
  const WorkbookModel& book = rig.dispatcher.Archive().Workbook();
  for (int month = 1; month <= 3; ++month) {
    const double first = At(2023, month, 1);
    const uint16_t row = static_cast<uint16_t>(7 + month);
    EXPECT_EQ(book.GetCellNumber(kMonths, 0, row), first);
    ExpectValues(book, kMonths, row, 1,
                 rig.meter.Entry(SimKind::kMonthly, ArchiveValueType::kInterval, MeterTime(first)));
    const uint16_t integrator = static_cast<uint16_t>(13 + month);
    EXPECT_EQ(book.GetCellNumber(kMonths, 0, integrator), first);
    ExpectValues(
        book, kMonths, integrator, 1,
        rig.meter.Entry(SimKind::kMonthly, ArchiveValueType::kIntegrator, MeterTime(first)));
  }
  EXPECT_EQ(book.GetCellText(kMonths, 0, 11), "Итого:");
  EXPECT_EQ(book.GetCellText(kMonths, 0, 13), "Интеграторы:");
}

TEST(ArchiveFailures, ATimeoutOnTheFirstRequestKeepsTheLastReportAndFiles) {
  Rig rig(Now());
  ASSERT_TRUE(Download(rig, OperationKind::HourlyArchive, At(2024, 3, 5), At(2024, 3, 5)));
  const auto report = rig.view.reports[static_cast<size_t>(ReportKind::Hourly)];
  const std::string workbook = ReadFile(rig.folder / "temp.xls");
  const std::string text = ReadFile(rig.folder / u8"авто_/часовой архив.txt");

  rig.meter.SetFaults({{sim::FaultKind::kNoAnswer}});
  ASSERT_TRUE(Download(rig, OperationKind::HourlyArchive, At(2024, 3, 4), At(2024, 3, 4)));
  EXPECT_EQ(rig.LastStatus(), "Превышен тайм-аут ожидания ответа");
  EXPECT_TRUE(rig.ButtonsEnabled());
  EXPECT_EQ(rig.view.reports[static_cast<size_t>(ReportKind::Hourly)], report);
  EXPECT_EQ(ReadFile(rig.folder / "temp.xls"), workbook);
  EXPECT_EQ(ReadFile(rig.folder / u8"авто_/часовой архив.txt"), text);
}

TEST(ArchiveFailures, AFaultAtStepFourEndsTheDownloadAndSavesNothing) {
  Rig rig(Now());
  rig.dispatcher.Settings().attempts = 1;
  // Replies: scale codes, three selector-entry pairs, the start integrator's
  // selector, then its entry: the ninth.
  sim::FaultPlan fault;
  fault.kind = sim::FaultKind::kException;
  fault.every = 9;
  fault.limit = 1;
  fault.count = 4;
  rig.meter.SetFaults({fault});
  ASSERT_TRUE(Download(rig, OperationKind::DailyArchive, At(2024, 3, 1), At(2024, 3, 3)));
  EXPECT_EQ(rig.dispatcher.Step(), OperationStep::IntegratorRead);
  EXPECT_EQ(rig.LastStatus(), StatusText(ExchangeStatus::SlaveDeviceFailure));
  EXPECT_TRUE(rig.ButtonsEnabled());
  EXPECT_FALSE(std::filesystem::exists(rig.folder / "temp.xls"));
  EXPECT_FALSE(std::filesystem::exists(rig.folder / u8"авто_"));
  EXPECT_TRUE(rig.view.reports[static_cast<size_t>(ReportKind::Daily)].empty());
}

TEST(ArchiveChunks, ChunkSizeTwoSplitsEveryFrameAndGivesTheSameArchive) {
  Rig small(Now()), usual(Now());
  small.dispatcher.Settings().chunk_size = 2;
  ASSERT_TRUE(Download(small, OperationKind::DailyArchive, At(2024, 3, 1), At(2024, 3, 3)));
  ASSERT_TRUE(Download(usual, OperationKind::DailyArchive, At(2024, 3, 1), At(2024, 3, 3)));
  EXPECT_EQ(small.LastStatus(), "Завершено успешно");

  int selector_frames = 0, entry_frames = 0;
  for (const auto& frame : small.meter.ReceivedFrames()) {
    const int start = frame[2] << 8 | frame[3], count = frame[4] << 8 | frame[5];
    if (frame[1] == 16) {
      EXPECT_EQ(count, start == 0 ? 2 : 1);
      ++selector_frames;
    } else if (start >= 200 && start < 226) {
      EXPECT_EQ(count, 2);
      ++entry_frames;
    }
  }
  EXPECT_EQ(selector_frames, 5 * 2);  // three days and two integrators
  // A frame whose reply repeats the last frame's byte for byte (the unused
  // zero registers) is asked once more: a copy of a reply would look so.
  EXPECT_GE(entry_frames, 5 * 13);
  const auto& a = small.dispatcher.Archive().Workbook();
  const auto& b = usual.dispatcher.Archive().Workbook();
  for (uint16_t row = 8; row <= 15; ++row) {
    for (uint16_t column = 0; column <= 9; ++column) {
      EXPECT_EQ(a.GetCellNumber(kDays, column, row), b.GetCellNumber(kDays, column, row));
    }
  }
}

TEST(ArchiveCancel, StopsWithinOneRequestAndSavesNothing) {
  Rig rig(Now());
  int progress = 0;
  size_t frames_at_cancel = 0;
  rig.view.on_events = [&] {
    if (++progress == 10) {
      frames_at_cancel = rig.meter.ReceivedFrames().size();
      rig.dispatcher.Cancel();
    }
  };
  ASSERT_TRUE(Download(rig, OperationKind::HourlyArchive, At(2024, 3, 1), At(2024, 3, 3)));
  EXPECT_EQ(rig.LastStatus(), "Прервано пользователем");
  // The request already in the block is at most tried once.
  EXPECT_LE(rig.meter.ReceivedFrames().size(), frames_at_cancel + 1);
  EXPECT_FALSE(std::filesystem::exists(rig.folder / "temp.xls"));
  EXPECT_FALSE(std::filesystem::exists(rig.folder / u8"авто_"));
  EXPECT_TRUE(rig.ButtonsEnabled());
}

TEST(ArchiveCancel, StoppingTheConnectionWhileTheWindowHandlesEventsEndsQuietly) {
  // The window's Stop, run from the events handled while the table is read.
  for (const char* when : {"Выполнено...50%", "Читаю архив..."}) {
    Rig rig(Now());
    bool stopped = false;
    rig.view.on_events = [&] {
      if (!stopped && rig.LastStatus() == when) {
        stopped = true;
        rig.dispatcher.SetThread(nullptr);
        rig.thread->Terminate();
      }
    };
    ASSERT_TRUE(
        rig.dispatcher.StartArchive(OperationKind::DailyArchive, At(2024, 3, 1), At(2024, 3, 4)));
    ASSERT_TRUE(rig.Finish());
    EXPECT_TRUE(stopped) << when;
    EXPECT_FALSE(rig.dispatcher.StartCurrentValues());  // no connection now
  }
}

// A background that holds its work until the test lets it run, as the
// window's thread may take its time.
struct HeldBackground : Background {
  void Run(std::function<void()> work, std::function<void()> done) override {
    held.emplace_back(std::move(work), std::move(done));
  }
  void RunAll() {
    while (!held.empty()) {
      auto [work, done] = std::move(held.front());
      held.erase(held.begin());
      work();
      done();
    }
  }
  std::vector<std::pair<std::function<void()>, std::function<void()>>> held;
};

// The save and read-back run aside: the operation stays busy until they are
// done, then ends with the same statuses, table and files as when they run
// at once. A Stop meanwhile ends it quietly.
TEST(ArchiveAside, TheEndWaitsForTheWorkAsideAndKeepsItsOrder) {
  Rig at_once(Now());
  ASSERT_TRUE(Download(at_once, OperationKind::DailyArchive, At(2024, 3, 1), At(2024, 3, 3)));
  for (const bool stop : {false, true}) {
    Rig rig(Now());
    HeldBackground aside;
    rig.dispatcher.SetBackground(&aside);
    ASSERT_TRUE(
        rig.dispatcher.StartArchive(OperationKind::DailyArchive, At(2024, 3, 1), At(2024, 3, 3)));
    ASSERT_TRUE(rig.executor.RunUntil([&] { return !aside.held.empty(); }, 60000));
    EXPECT_TRUE(rig.dispatcher.Busy());
    EXPECT_FALSE(rig.dispatcher.StartCurrentValues());
    EXPECT_FALSE(std::filesystem::exists(rig.folder / "temp.xls"));
    if (stop) {
      rig.dispatcher.SetThread(nullptr);
      rig.thread->Terminate();
    }
    aside.RunAll();
    EXPECT_FALSE(rig.dispatcher.Busy());
    EXPECT_TRUE(std::filesystem::exists(rig.folder / "temp.xls"));  // nothing downloaded is lost
    EXPECT_EQ(rig.view.reports[size_t(ReportKind::Daily)],
              at_once.view.reports[size_t(ReportKind::Daily)]);
    if (stop) {
      EXPECT_NE(rig.LastStatus(), "Завершено успешно");
    } else {
      EXPECT_EQ(rig.view.statuses, at_once.view.statuses);
      EXPECT_TRUE(rig.ButtonsEnabled());
    }
  }
}

}  // namespace
}  // namespace flovir
