#include "parameters/parameter_operations.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "parameters/parameter_workbook.h"
#include "parameters/value_conversion.h"
#include "tests/support/files.h"
#include "tests/support/rig.h"
#include "workbook/cp1251.h"
#include "workbook/serial_date.h"

namespace flovir {
namespace {

namespace fs = std::filesystem;
using testing::Rig;

// Values the grid shows nowhere; a write must give them back unchanged.
bool Hidden(int i) {
  return (i >= 31 && i <= 49) || (i >= 81 && i <= 89) || (i >= 121 && i <= 129) ||
         (i >= 161 && i <= 184) || i == 190 || i >= 223;
}

class ParameterOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.dispatcher.SetProgramFolder(folder.Path() + "/");
    for (int i = 0; i < 256; ++i) link.meter.SetParameter(i, 1000.0f + 0.25f * i);
  }

  float Shown(int i) { return link.dispatcher.Parameters().ParameterValue(i); }
  fs::path AutoSaved() const { return folder / u8"авто_" / u8"параметры.xls"; }
  bool Run(bool started) { return started && link.Finish(); }

  testing::ScratchFolder folder{"flovir-par"};
  Rig link;
  ParameterTable table;
  WorkbookModel xls0 = WorkbookModel::MakeParameterWorkbook();
  ParameterOperations operations{link.dispatcher, table, xls0};
};

TEST_F(ParameterOperationsTest, ReadChangeWriteAndReadAgainKeepsTheChangeAndTheHiddenValues) {
  int repaints = 0;
  operations.SetOnParametersRead([&] { ++repaints; });
  ASSERT_TRUE(Run(operations.ReadParameters()));
  EXPECT_EQ(link.view.statuses.front(), "Запрос параметров...");
  EXPECT_EQ(link.dispatcher.LastStatusText(), "Завершено успешно");
  EXPECT_EQ(repaints, 1);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(Shown(i), link.meter.Parameter(i)) << i;
  EXPECT_TRUE(fs::exists(AutoSaved()));

  const ParameterCell& maximum = table.Cell(6, 2);  // value 55, registers 510-511
  EXPECT_EQ(StoreEditedText(maximum, "1234,5", link.dispatcher.Parameters()), "");
  ASSERT_TRUE(Run(operations.WriteToDevice()));
  EXPECT_EQ(link.view.StatusesAfter("Запись параметров").size(), 1u);
  EXPECT_EQ(link.dispatcher.LastStatusText(), "Завершено успешно");
  EXPECT_EQ(link.meter.Parameter(55), 1234.5f);

  ASSERT_TRUE(Run(operations.ReadParameters()));
  EXPECT_EQ(Shown(55), 1234.5f);
  for (int i = 0; i < 256; ++i) {
    if (i != 55) {
      ASSERT_EQ(Shown(i), 1000.0f + 0.25f * i) << i;
    }
  }
  for (int i = 0; i < 256; ++i) {
    if (Hidden(i)) {
      EXPECT_EQ(link.meter.Parameter(i), 1000.0f + 0.25f * i) << i;
    }
  }
}

TEST_F(ParameterOperationsTest, AFailedReadShowsZerosFromTheFailingFrameOn) {
  link.dispatcher.Settings().chunk_size = 100;
  link.dispatcher.Settings().attempts = 1;
  ASSERT_TRUE(Run(operations.ReadParameters()));
  fs::remove(AutoSaved());

  // The third frame (registers 600-699, values 100-149) is refused.
  link.meter.SetFaults({{sim::FaultKind::kException, 3, 0, 2}});
  ASSERT_TRUE(Run(operations.ReadParameters()));
  EXPECT_EQ(link.dispatcher.LastStatusText(),
            "Адрес данных указанный в запросе не доступен данному подчиненному");
  EXPECT_TRUE(link.ButtonsEnabled());
  for (int i = 0; i < 100; ++i) ASSERT_EQ(Shown(i), link.meter.Parameter(i)) << i;
  for (int i = 100; i < 256; ++i) ASSERT_EQ(Shown(i), 0.0f) << i;
  EXPECT_FALSE(fs::exists(AutoSaved()));
}

TEST_F(ParameterOperationsTest, AWriteWithChunkSizeOneHundredSendsSixFrames) {
  link.dispatcher.Settings().chunk_size = 100;
  ASSERT_TRUE(Run(operations.ReadParameters()));
  link.meter.ClearReceivedFrames();
  ASSERT_TRUE(Run(operations.WriteToDevice()));
  std::vector<std::pair<int, int>> frames;  // first register, count
  for (const auto& frame : link.meter.ReceivedFrames()) {
    if (frame[1] != 16) continue;  // the backup and the read-back
    frames.emplace_back(frame[2] << 8 | frame[3], frame[4] << 8 | frame[5]);
  }
  const std::vector<std::pair<int, int>> expected = {{400, 100}, {500, 100}, {600, 100},
                                                     {700, 100}, {800, 100}, {900, 12}};
  EXPECT_EQ(frames, expected);
}

// A buffer that did not come from this meter (or a loaded workbook) would
// wipe the meter's calibration: zeros before any read, the test poll's
// values after a poll. Such a write is refused and sends nothing.
TEST_F(ParameterOperationsTest, AWriteOfATableNotReadFromThisMeterIsRefusedAndSendsNothing) {
  struct Case {
    const char* name;
    std::function<void()> before;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"never read", [] {}, "таблица не считана из этого прибора"},
      {"current values only", [&] { ASSERT_TRUE(Run(link.dispatcher.StartCurrentValues())); },
       "таблица не считана из этого прибора"},
      {"after a test poll",
       [&] {
         ASSERT_TRUE(Run(operations.ReadParameters()));
         ASSERT_TRUE(Run(link.dispatcher.TestTick()));
       },
       "тестового опроса"},
      {"after a failed read",
       [&] {
         link.meter.SetFaults({{sim::FaultKind::kException, 1, 0, 2}});
         ASSERT_TRUE(Run(operations.ReadParameters()));
         ASSERT_FALSE(link.dispatcher.LastSucceeded()) << link.dispatcher.LastStatusText();
         link.meter.SetFaults({});
       },
       "таблица не считана из этого прибора"},
      {"another address",
       [&] {
         ASSERT_TRUE(Run(operations.ReadParameters()));
         link.dispatcher.Settings().address = 2;
       },
       "с адресом 1"},
  };
  const auto before = link.meter.ParameterRegisters();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.before();
    link.meter.ClearReceivedFrames();
    EXPECT_FALSE(operations.WriteToDevice());
    EXPECT_FALSE(link.dispatcher.Busy());
    EXPECT_TRUE(link.ButtonsEnabled());
    EXPECT_NE(link.view.statuses.back().find(c.reason), std::string::npos)
        << link.view.statuses.back();
    EXPECT_NE(link.view.statuses.back().find("Сначала считайте"), std::string::npos);
    EXPECT_TRUE(link.meter.ReceivedFrames().empty());
    EXPECT_EQ(link.meter.ParameterRegisters(), before);
    link.dispatcher.Settings().address = 1;
    operations.ForgetMeter();
  }
}

TEST_F(ParameterOperationsTest, AFailedWriteEndsWithTheStatusAndKeepsTheBuffer) {
  ASSERT_TRUE(Run(operations.ReadParameters()));
  link.dispatcher.Parameters().SetParameterValue(7, 42.0f);
  link.meter.SetFaults({{sim::FaultKind::kNoAnswer}});
  link.dispatcher.Settings().answer_timeout_ms = 10;
  ASSERT_TRUE(Run(operations.WriteToDevice()));
  // The backup read fails first: nothing is written.
  EXPECT_NE(link.dispatcher.LastStatusText().find("Превышен тайм-аут ожидания ответа"),
            std::string::npos);
  EXPECT_NE(link.dispatcher.LastStatusText().find("Ничего не записано"), std::string::npos);
  EXPECT_EQ(Shown(7), 42.0f);
  EXPECT_EQ(link.meter.Parameter(7), 1000.0f + 0.25f * 7);
}

TEST_F(ParameterOperationsTest, TheClockIsSetFromTheComputersLocalTime) {
  link.clock.Set(EncodeDateTime({2024, 3, 7, 9, 5, 59}));
  link.meter.ClearReceivedFrames();
  ASSERT_TRUE(Run(operations.ClockSetRequest()));
  EXPECT_EQ(link.view.statuses.front(), "Синхронизация времени...");
  EXPECT_EQ(link.dispatcher.LastStatusText(), "Завершено успешно");
  const auto frames = link.meter.ReceivedFrames();
  ASSERT_EQ(frames.size(), 1u);
  const std::vector<uint8_t> head(frames[0].begin(), frames[0].end() - 2);
  const std::vector<uint8_t> expected = {1,  16, 0, 0, 0, 3,   6,  // registers 0-2
                                         24, 3,  7, 9, 5, 0xFF};   // 6147, 1801, 1535
  EXPECT_EQ(head, expected);
  const auto set = link.meter.LastClockSet();
  ASSERT_TRUE(set.has_value());
  EXPECT_EQ(*set, (sim::MeterDateTime{2024, 3, 7, 9, 5, 0}));
  // The clock setting leaves the parameter block alone.
  for (int i = 0; i < 256; ++i) ASSERT_EQ(Shown(i), 0.0f);
}

TEST_F(ParameterOperationsTest, AnAutoSaveThatFailsEndsTheReadWithTheReason) {
  // A file where the auto-save folder should be.
  { std::ofstream(folder / u8"авто_") << "x"; }
  ASSERT_TRUE(Run(operations.ReadParameters()));
  EXPECT_FALSE(link.dispatcher.LastSucceeded());
  EXPECT_NE(link.dispatcher.LastStatusText().find("параметры.xls"), std::string::npos)
      << link.dispatcher.LastStatusText();
  EXPECT_TRUE(link.ButtonsEnabled());
  EXPECT_EQ(Shown(5), link.meter.Parameter(5));  // the values arrived all the same
}

// The grid draws and edits the buffer on the main thread while the exchange
// thread works; run under ThreadSanitizer this shows that the two never
// touch the same bytes.
TEST_F(ParameterOperationsTest, TheGridMayDrawAndEditWhileAnExchangeRuns) {
  link.dispatcher.Settings().chunk_size = 7;
  std::atomic<bool> stop{false};
  std::atomic<bool> pending{false};
  std::atomic<int> paints{0};
  // Like a window's repaints: one at a time, coalesced while one waits.
  std::thread repaint_timer([&] {
    do {
      if (!pending.exchange(true)) {
        link.executor.Post([&] {
          std::string all;
          for (int row = 0; row < kParameterRows; ++row) {
            for (int column = 0; column < kParameterColumns; ++column) {
              all += CellText(table.Cell(row, column), link.dispatcher.Parameters());
            }
          }
          StoreEditedText(table.Cell(8, 3), "2,5", link.dispatcher.Parameters());
          ++paints;
          pending = false;
        });
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    } while (!stop);
  });
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(Run(operations.ReadParameters()));
    ASSERT_TRUE(Run(operations.WriteToDevice()));
  }
  stop = true;
  repaint_timer.join();
  link.executor.ProcessPendingEvents();
  EXPECT_EQ(link.dispatcher.LastStatusText(), "Завершено успешно");
  EXPECT_GT(paints.load(), 0);
}

// A value confirmed while a write runs is not sent by that write: the write
// sends the buffer as it stood when it started, never half of an edit.
TEST_F(ParameterOperationsTest, AnEditDuringAWriteGoesWithTheNextWrite) {
  ASSERT_TRUE(Run(operations.ReadParameters()));
  link.dispatcher.Parameters().SetParameterValue(57, 1.0f);
  ASSERT_TRUE(operations.WriteToDevice());
  StoreEditedText(table.Cell(8, 2), "2", link.dispatcher.Parameters());  // value 57
  ASSERT_TRUE(link.Finish());
  EXPECT_EQ(link.meter.Parameter(57), 1.0f);
  ASSERT_TRUE(Run(operations.WriteToDevice()));
  EXPECT_EQ(link.meter.Parameter(57), 2.0f);
}

// The write as a user meets it: a declined confirmation sends nothing; a
// confirmed one lists exactly the one edit, backs the meter's table up
// before anything is sent, writes, reads back and logs.
TEST_F(ParameterOperationsTest, AWriteBacksUpConfirmsTheOneEditWritesVerifiesAndLogs) {
  ASSERT_TRUE(Run(operations.ReadParameters()));
  const auto registers_before = link.meter.ParameterRegisters();
  const ParameterBuffer meter_table = link.dispatcher.Parameters();
  ASSERT_EQ(StoreEditedText(table.Cell(8, 1), "152,5", link.dispatcher.Parameters()), "");

  link.meter.ClearReceivedFrames();
  ASSERT_TRUE(Run(operations.WriteToDevice([](const WritePlan&) { return false; })));
  EXPECT_EQ(link.dispatcher.LastStatusText(), "Запись отменена, прибор не изменён.");
  for (const auto& frame : link.meter.ReceivedFrames()) ASSERT_EQ(frame[1], 3);

  std::vector<std::string> asked;
  std::string backup;
  ASSERT_TRUE(Run(operations.WriteToDevice([&](const WritePlan& plan) {
    for (const ParameterChange& change : plan.changes) asked.push_back(ChangeLine(table, change));
    backup = plan.backup_path;
    EXPECT_EQ(link.meter.ParameterRegisters(), registers_before);  // nothing sent yet
    return true;
  })));
  EXPECT_EQ(asked, std::vector<std::string>{"Диаметр, мм [D], канал 1: 1001,75 -> 152,50"});
  EXPECT_EQ(link.dispatcher.LastStatusText(), "Завершено успешно");
  EXPECT_EQ(link.view.StatusesAfter("Проверка записи...").size(), 1u);
  EXPECT_EQ(link.meter.Parameter(7), 152.5f);
  for (int i = 0; i < 256; ++i) {
    if (i != 7) {
      ASSERT_EQ(link.meter.Parameter(i), meter_table.ParameterValue(i)) << i;
    }
  }

  // The backup holds the table as it was, in "резервные копии" with the
  // meter's address and the moment in its name; the declined write's backup
  // of the same second stays beside it.
  EXPECT_EQ(PathFromUtf8(backup).parent_path().filename(), fs::path(u8"резервные копии"));
  EXPECT_EQ(PathFromUtf8(backup).filename(), fs::path(u8"адрес 1 2024-03-07 09-05-59 (2).xls"));
  WorkbookModel backup_workbook = WorkbookModel::MakeParameterWorkbook();
  ParameterBuffer backed_up;
  LoadParameterWorkbook(backup_workbook, table, backed_up, backup);
  EXPECT_TRUE(CompareTables(table, meter_table, backed_up, ValueScope::Shown).empty());

  std::ifstream log(folder / u8"журнал записи параметров.txt", std::ios::binary);
  const std::string text = Cp1251ToUtf8(std::string(std::istreambuf_iterator<char>(log), {}));
  EXPECT_NE(text.find("07.03.2024 09:05:59  запись параметров: адрес 1"), std::string::npos)
      << text;
  EXPECT_NE(text.find("    Диаметр, мм [D], канал 1: 1001,75 -> 152,50\r\n"), std::string::npos);
  EXPECT_NE(text.find("  резервная копия: " + backup), std::string::npos);
  EXPECT_NE(text.find("итог: записано и проверено"), std::string::npos);
}

TEST_F(ParameterOperationsTest, AMeterThatKeepsAnotherValueFailsTheWriteNamingTheCell) {
  ASSERT_TRUE(Run(operations.ReadParameters()));
  ASSERT_EQ(StoreEditedText(table.Cell(8, 1), "152,5", link.dispatcher.Parameters()), "");
  sim::FaultPlan clamp{sim::FaultKind::kStoreOther};
  clamp.count = 415;  // the high word of value 7
  link.meter.SetFaults({clamp});
  ASSERT_TRUE(Run(operations.WriteToDevice()));
  EXPECT_FALSE(link.dispatcher.LastSucceeded());
  const std::string& status = link.dispatcher.LastStatusText();
  EXPECT_NE(status.find("Прибор хранит не то, что записано (1): Диаметр, мм [D], канал 1: "
                        "записано 152,50, в приборе "),
            std::string::npos)
      << status;
  EXPECT_NE(status.find("резервные копии"), std::string::npos);
  ASSERT_TRUE(operations.LastWrite().has_value());
  EXPECT_EQ(operations.LastWrite()->result, WriteOutcome::Result::Differs);
  ASSERT_EQ(operations.LastWrite()->mismatches.size(), 1u);
  EXPECT_EQ(operations.LastWrite()->mismatches[0].value_index, 7);
}

// The line dies after the backup's eight frames and three of the write's:
// the meter now holds the new values in the first 192 registers and the old
// ones after them. The backup, loaded and written, brings it back exactly,
// values shown nowhere included.
TEST_F(ParameterOperationsTest, ALineThatDiesMidWriteLeavesAMixedTableThatTheBackupRestores) {
  link.dispatcher.Settings().attempts = 1;
  link.dispatcher.Settings().answer_timeout_ms = 10;
  ASSERT_TRUE(Run(operations.ReadParameters()));
  const auto original = link.meter.ParameterRegisters();
  StoreEditedText(table.Cell(8, 1), "152,5", link.dispatcher.Parameters());  // value 7, frame 1
  StoreEditedText(table.Cell(37, 4), "9", link.dispatcher.Parameters());     // value 213, frame 7
  sim::FaultPlan cut{sim::FaultKind::kCut};
  cut.after = 8 + 3;
  link.meter.SetFaults({cut});
  ASSERT_TRUE(Run(operations.WriteToDevice()));
  const std::string status = link.dispatcher.LastStatusText();
  EXPECT_NE(status.find("Запись прервана: Превышен тайм-аут ожидания ответа. Прибор подтвердил "
                        "3 из 8 кадров и теперь может хранить смешанную таблицу"),
            std::string::npos)
      << status;
  const std::string backup = operations.LastWrite()->backup_path;
  EXPECT_NE(status.find("Резервная копия прежней таблицы: " + backup), std::string::npos);
  EXPECT_EQ(link.meter.Parameter(7), 152.5f);
  EXPECT_EQ(link.meter.Parameter(213), 1000.0f + 0.25f * 213);

  link.meter.SetFaults({});
  operations.LoadWorkbook(backup);
  ASSERT_TRUE(Run(operations.WriteToDevice()));
  EXPECT_EQ(link.dispatcher.LastStatusText(), "Завершено успешно");
  EXPECT_EQ(link.meter.ParameterRegisters(), original);
}

}  // namespace
}  // namespace flovir
