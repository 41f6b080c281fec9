// The starters, the common end of every operation, the plug-in hooks, the
// test poll and cancelling, against the simulated meter.

#include <gtest/gtest.h>

#include "operations/register_map.h"
#include "tests/support/rig.h"
#include "workbook/cp1251.h"

namespace flovir {
namespace {

using testing::At;
using testing::ReadFile;
using testing::Rig;

// 7 March 2024, 10:20 (a function: the date encoding is ready only once
// static initialisation is over).
double Now() {
  return At(2024, 3, 7, 10, 20);
}

std::string AsFile(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += Utf8ToCp1251(line) + "\r\n";
  return text;
}

TEST(CurrentValues, ShowsTheReportSavesItAndEndsWell) {
  Rig rig(Now());
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  EXPECT_EQ(rig.view.statuses.front(), "Запрос наработки...");
  EXPECT_FALSE(rig.view.buttons.front().enabled);
  EXPECT_TRUE(rig.view.buttons.front().including_test_button);
  ASSERT_TRUE(rig.Finish());

  EXPECT_EQ(rig.LastStatus(), "Завершено успешно");
  EXPECT_TRUE(rig.dispatcher.LastSucceeded());
  EXPECT_TRUE(rig.ButtonsEnabled());
  EXPECT_TRUE(rig.thread->IsSleeping());
  const auto& report = rig.view.reports[0];
  ASSERT_EQ(report.size(), 14u);
  EXPECT_EQ(report[13], "дата, время: 7.3.2024 10:20:00");
  EXPECT_EQ(ReadFile(rig.folder / u8"авто_/текущие.txt"), AsFile(report));
}

TEST(CurrentValues, ATimeoutLeavesTheFileAndEnablesTheButtons) {
  Rig rig(Now());
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  ASSERT_TRUE(rig.Finish());
  const std::string before = ReadFile(rig.folder / u8"авто_/текущие.txt");

  rig.meter.SetFaults({{sim::FaultKind::kNoAnswer}});
  rig.view.reports[0].clear();
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.LastStatus(), "Превышен тайм-аут ожидания ответа");
  EXPECT_TRUE(rig.view.reports[0].empty());
  EXPECT_EQ(ReadFile(rig.folder / u8"авто_/текущие.txt"), before);
  EXPECT_TRUE(rig.ButtonsEnabled());
  EXPECT_TRUE(rig.thread->IsSleeping());
}

TEST(CurrentValues, AnAutoSaveFolderThatCannotBeMadeEndsTheOperationWithTheReason) {
  Rig rig(Now());
  std::ofstream(rig.folder / u8"занято") << "a file, not a folder";
  rig.dispatcher.Settings().auto_save_name = "занято";
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  ASSERT_TRUE(rig.Finish());
  EXPECT_FALSE(rig.dispatcher.LastSucceeded());
  EXPECT_NE(rig.LastStatus().find("занято"), std::string::npos) << rig.LastStatus();
  EXPECT_TRUE(rig.ButtonsEnabled());
  // The link is idle again: the next operation runs.
  rig.dispatcher.Settings().auto_save_name = "авто_";
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.LastStatus(), "Завершено успешно");
}

TEST(Settings, AnAddressOutOfRangeStartsNothing) {
  Rig rig(Now());
  rig.dispatcher.Settings().address = 0;
  EXPECT_FALSE(rig.dispatcher.StartCurrentValues());
  EXPECT_FALSE(rig.dispatcher.Busy());
  EXPECT_EQ(rig.LastStatus(), "Поле \"Адрес:\": \"0\" не является целым числом от 1 до 247");
  EXPECT_TRUE(rig.view.buttons.empty() || rig.ButtonsEnabled());
  EXPECT_TRUE(rig.meter.ReceivedFrames().empty());
  EXPECT_FALSE(rig.dispatcher.StartArchive(OperationKind::DailyArchive, Now() - 2, Now() - 1));
  EXPECT_FALSE(rig.dispatcher.TestTick());
  EXPECT_TRUE(rig.meter.ReceivedFrames().empty());
}

TEST(Settings, AZeroChunkEndsWithTheLinksOwnStatus) {
  Rig rig(Now());
  rig.dispatcher.Settings().chunk_size = 0;
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.LastStatus(), "Кол-во попыток запросов или длина пакета равны 0");
  EXPECT_TRUE(rig.meter.ReceivedFrames().empty());
}

TEST(Starters, NothingStartsWithoutAConnectionOrWhileBusy) {
  Rig rig(Now());
  rig.port.Hold(true);
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  EXPECT_FALSE(rig.dispatcher.StartCurrentValues());
  EXPECT_FALSE(rig.dispatcher.TestTick());
  rig.port.Hold(false);
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.meter.ReceivedFrames().size(), 1u);

  rig.dispatcher.SetThread(nullptr);
  EXPECT_FALSE(rig.dispatcher.StartCurrentValues());
  EXPECT_FALSE(rig.dispatcher.TestTick());
}

TEST(TestPoll, AnIdleTickAddsOneLineOfChunkOverTwoValues) {
  Rig rig(Now());
  rig.dispatcher.Settings().chunk_size = 8;
  rig.dispatcher.Parameters().SetParameterValue(200, 5.0f);  // cleared by the poll
  ASSERT_TRUE(rig.dispatcher.TestTick());
  EXPECT_EQ(rig.view.statuses.front(), "Запрос параметров...");
  EXPECT_FALSE(rig.view.buttons.front().including_test_button);  // the poll can be stopped
  ASSERT_TRUE(rig.Finish());
  ASSERT_EQ(rig.view.test_lines.size(), 1u);
  EXPECT_EQ(rig.LastStatus(), "Завершено успешно");

  // Registers 880-887 are parameter values 240-243.
  const auto frames = rig.meter.ReceivedFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0][2] << 8 | frames[0][3], 880);
  EXPECT_EQ(frames[0][4] << 8 | frames[0][5], 8);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(rig.dispatcher.Parameters().ParameterValue(i), rig.meter.Parameter(240 + i));
  }
  EXPECT_EQ(rig.dispatcher.Parameters().ParameterValue(200), 0.0f);
  // Four values, each followed by a blank.
  const std::string& line = rig.view.test_lines[0];
  EXPECT_EQ(std::count(line.begin(), line.end(), ' '), 4);
}

TEST(TestPoll, AFailedPollAddsNoLine) {
  Rig rig(Now());
  rig.meter.SetFaults({{sim::FaultKind::kException, 1, 0, 2}});
  ASSERT_TRUE(rig.dispatcher.TestTick());
  ASSERT_TRUE(rig.Finish());
  EXPECT_TRUE(rig.view.test_lines.empty());
  EXPECT_EQ(rig.LastStatus(), "Адрес данных указанный в запросе не доступен данному подчиненному");
}

// The plug-in point as the parameter operations use it.
TEST(Hooks, RunAfterEveryRequestAndChainRequests) {
  Rig rig(Now());
  std::vector<ExchangeStatus> statuses;
  rig.dispatcher.SetCompletion(OperationKind::ReadParameters, [&](OperationContext& context) {
    statuses.push_back(context.Status());
    if (!context.Succeeded()) return;
    if (context.Step() == OperationStep::Started) {
      context.Step() = OperationStep::IntervalSelected;  // any step of the hook's own
      context.Next({3, 400, 4, rig.dispatcher.Parameters().bytes.data() + 8});
    } else {
      context.Finish();
    }
  });
  OperationStart start;
  start.kind = OperationKind::ReadParameters;
  start.start_text = "Запрос параметров...";
  start.first_request = [&](const Settings& settings) {
    EXPECT_EQ(settings.chunk_size, 64);
    return RequestPlan{3, 400, 4, rig.dispatcher.Parameters().bytes.data()};
  };
  ASSERT_TRUE(rig.dispatcher.Start(start));
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(statuses,
            (std::vector<ExchangeStatus>{ExchangeStatus::Success, ExchangeStatus::Success}));
  EXPECT_EQ(rig.LastStatus(), "Завершено успешно");
  EXPECT_EQ(rig.dispatcher.Parameters().ParameterValue(2), rig.meter.Parameter(0));

  // A failed request still reaches the hook, and the status text ends it.
  statuses.clear();
  rig.meter.SetFaults({{sim::FaultKind::kNoAnswer}});
  ASSERT_TRUE(rig.dispatcher.Start(start));
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(statuses, (std::vector<ExchangeStatus>{ExchangeStatus::Timeout}));
  EXPECT_EQ(rig.LastStatus(), "Превышен тайм-аут ожидания ответа");
}

TEST(Hooks, EndTheOperationWithTheirOwnErrorText) {
  Rig rig(Now());
  OperationStart start;
  start.kind = OperationKind::WriteToDevice;
  start.first_request = [&](const Settings&) {
    return RequestPlan{16, 0, 3, rig.dispatcher.Selector().data()};
  };
  rig.dispatcher.Selector() = EncodeClockSetRequest({2024, 3, 7, 9, 5, 59});

  rig.dispatcher.SetCompletion(OperationKind::WriteToDevice,
                               [](OperationContext& context) { context.Fail("своя ошибка"); });
  ASSERT_TRUE(rig.dispatcher.Start(start));
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.LastStatus(), "своя ошибка");
  EXPECT_TRUE(rig.ButtonsEnabled());

  rig.dispatcher.SetCompletion(OperationKind::WriteToDevice, [](OperationContext&) {
    throw std::runtime_error("Не удалось сохранить: диск полон");
  });
  ASSERT_TRUE(rig.dispatcher.Start(start));
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.LastStatus(), "Не удалось сохранить: диск полон");
  EXPECT_TRUE(rig.thread->IsSleeping());
  ASSERT_TRUE(rig.meter.LastClockSet());
  EXPECT_EQ(rig.meter.LastClockSet()->minute, 5);
}

TEST(Hooks, APreparationThatThrowsStartsNothing) {
  Rig rig(Now());
  OperationStart start;
  start.kind = OperationKind::WriteToDevice;
  start.first_request = [](const Settings&) -> RequestPlan {
    throw std::runtime_error("нечего записывать");
  };
  EXPECT_FALSE(rig.dispatcher.Start(start));
  EXPECT_EQ(rig.LastStatus(), "нечего записывать");
  EXPECT_TRUE(rig.ButtonsEnabled());
  EXPECT_FALSE(rig.dispatcher.Busy());
  EXPECT_TRUE(rig.meter.ReceivedFrames().empty());
}

TEST(Cancel, AFailingRequestGivesUpAfterTheRunningTry) {
  Rig rig(Now());
  rig.dispatcher.Settings().attempts = 5;
  rig.meter.SetFaults({{sim::FaultKind::kNoAnswer}});
  rig.port.Hold(true);
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  rig.port.WaitForReads(1);  // the first try waits for its reply
  rig.dispatcher.Cancel();
  rig.port.Hold(false);
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.LastStatus(), "Прервано пользователем");
  EXPECT_EQ(rig.meter.ReceivedFrames().size(), 1u);
  EXPECT_TRUE(rig.ButtonsEnabled());
  EXPECT_FALSE(std::filesystem::exists(rig.folder / u8"авто_/текущие.txt"));
}

TEST(Cancel, ASucceedingRequestIsNotUsed) {
  Rig rig(Now());
  rig.port.Hold(true);
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  rig.port.WaitForReads(1);
  rig.dispatcher.Cancel();
  rig.port.Hold(false);
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.LastStatus(), "Прервано пользователем");
  EXPECT_TRUE(rig.view.reports[0].empty());
  EXPECT_FALSE(std::filesystem::exists(rig.folder / u8"авто_"));
  rig.dispatcher.Cancel();  // idle: nothing to stop, the next start is clean
  ASSERT_TRUE(rig.dispatcher.StartCurrentValues());
  ASSERT_TRUE(rig.Finish());
  EXPECT_EQ(rig.LastStatus(), "Завершено успешно");
}

}  // namespace
}  // namespace flovir
