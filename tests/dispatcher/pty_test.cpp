// End to end: the dispatcher on the Linux serial port over a real
// pseudo-terminal, with the simulated meter's server on the other end.

#include <gtest/gtest.h>

#include "operations/archive_download.h"
#include "tests/support/rig.h"

namespace flovir {
namespace {

using testing::At;
using testing::ExpectValues;
using testing::Line;
using testing::MeterTime;
using testing::ReadFile;
using testing::Rig;
using testing::Totals;

double Now() {
  return At(2024, 3, 7, 10, 20);
}

TEST(OverPty, CurrentValuesThenATimeoutThatKeepsTheReportFile) {
  Rig rig(Now(), {}, Line::Pty);
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.LastStatus(), "Завершено успешно");
  ASSERT_EQ(rig.view.reports[0].size(), 14u);
  EXPECT_EQ(rig.view.reports[0][13], "дата, время: 7.3.2024 10:20:00");
  const std::string file = ReadFile(rig.folder / u8"авто_/текущие.txt");
  EXPECT_FALSE(file.empty());

  rig.meter.SetFaults({{sim::FaultKind::kNoAnswer}});
  rig.dispatcher.Settings().attempts = 1;
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.LastStatus(), "Превышен тайм-аут ожидания ответа");
  EXPECT_EQ(ReadFile(rig.folder / u8"авто_/текущие.txt"), file);
  EXPECT_TRUE(rig.ButtonsEnabled());
}

TEST(OverPty, HourlyArchiveOfOnePastDayEqualsTheMetersEntries) {
  Rig rig(Now(), {}, Line::Pty);
  const double day = At(2024, 3, 6);
  ASSERT_TRUE(rig.dispatcher.StartArchive(OperationKind::HourlyArchive, day, day));
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.LastStatus(), "Завершено успешно");
  const WorkbookModel& book = rig.dispatcher.Archive().Workbook();
  Totals totals;
  for (int hour = 0; hour < 24; ++hour) {
    const auto entry = rig.meter.Entry(sim::ArchiveKind::kHourly, sim::ArchiveValueType::kInterval,
                                       MeterTime(day + hour / 24.0));
    ExpectValues(book, 1, static_cast<uint16_t>(8 + hour), 2, entry);
    totals.Add(entry);
  }
  ExpectValues(book, 1, 32, 2, totals.AsEntry());
  ExpectValues(book, 1, 35, 2,
               rig.meter.Entry(sim::ArchiveKind::kDaily, sim::ArchiveValueType::kIntegrator,
                               MeterTime(day)));
  // The range ends today: today's integrators are not recorded yet.
  ExpectValues(book, 1, 36, 2, {}, true);
  const auto& table = rig.view.reports[static_cast<size_t>(ReportKind::Hourly)];
  ASSERT_FALSE(table.empty());
  EXPECT_NE(table[0].find("06.03.2024 по 07.03.2024"), std::string::npos) << table[0];
}

// The USB adapter is pulled out in the middle of a month of hours: the
// download ends at once with the lost port named, not after its tries as a
// timeout, and nothing of it is saved over the last good download's files.
TEST(OverPty, APortPulledOutMidDownloadEndsAtOnceAndSavesNothing) {
  Rig rig(Now(), {}, Line::Pty);
  const double day = At(2024, 3, 6);
  ASSERT_TRUE(rig.dispatcher.StartArchive(OperationKind::HourlyArchive, day, day));
  ASSERT_TRUE(rig.Finish());
  ASSERT_EQ(rig.LastStatus(), "Завершено успешно");
  const auto workbook = rig.folder / "temp.xls";
  const auto report = rig.folder / "авто_/часовой архив.txt";
  const std::string workbook_before = ReadFile(workbook);
  const std::string report_before = ReadFile(report);
  ASSERT_FALSE(workbook_before.empty());
  ASSERT_FALSE(report_before.empty());

  // A long answer timeout: waiting out even one try would show.
  rig.serial->SetTimeouts({50, 0, 5000, 0, 0});
  std::chrono::steady_clock::time_point pulled;
  rig.view.on_events = [&] {
    if (rig.view.Progress().size() == 100 && rig.server) {
      rig.server->Stop();
      pulled = std::chrono::steady_clock::now();
    }
  };
  ASSERT_TRUE(
      rig.dispatcher.StartArchive(OperationKind::HourlyArchive, At(2024, 1, 1), At(2024, 1, 31)));
  ASSERT_TRUE(rig.Finish());
  const auto took = std::chrono::steady_clock::now() - pulled;
  EXPECT_LT(took, std::chrono::milliseconds(5000));
  EXPECT_EQ(rig.LastStatus(),
            "Порт " + rig.server->SlavePath() + " потерян: устройство отключено или закрыто");
  EXPECT_TRUE(rig.ButtonsEnabled());
  EXPECT_EQ(ReadFile(workbook), workbook_before);
  EXPECT_EQ(ReadFile(report), report_before);
}

}  // namespace
}  // namespace flovir
