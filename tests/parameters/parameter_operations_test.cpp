#include "parameters/parameter_operations.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "parameters/value_conversion.h"
#include "tests/support/files.h"
#include "tests/support/rig.h"
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
  EXPECT_EQ(link.view.statuses.end()[-2], "Запись параметров...");
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
  link.meter.ClearReceivedFrames();
  ASSERT_TRUE(Run(operations.WriteToDevice()));
  std::vector<std::pair<int, int>> frames;  // first register, count
  for (const auto& frame : link.meter.ReceivedFrames()) {
    ASSERT_EQ(frame[1], 16);
    frames.emplace_back(frame[2] << 8 | frame[3], frame[4] << 8 | frame[5]);
  }
  const std::vector<std::pair<int, int>> expected = {{400, 100}, {500, 100}, {600, 100},
                                                     {700, 100}, {800, 100}, {900, 12}};
  EXPECT_EQ(frames, expected);
}

TEST_F(ParameterOperationsTest, AWriteBeforeAnyReadSendsZeros) {
  ASSERT_TRUE(Run(operations.WriteToDevice()));
  for (uint16_t r : link.meter.ParameterRegisters()) ASSERT_EQ(r, 0);
}

TEST_F(ParameterOperationsTest, AFailedWriteEndsWithTheStatusAndKeepsTheBuffer) {
  link.dispatcher.Parameters().SetParameterValue(7, 42.0f);
  link.meter.SetFaults({{sim::FaultKind::kNoAnswer}});
  link.dispatcher.Settings().answer_timeout_ms = 10;
  ASSERT_TRUE(Run(operations.WriteToDevice()));
  EXPECT_EQ(link.dispatcher.LastStatusText(), "Превышен тайм-аут ожидания ответа");
  EXPECT_EQ(Shown(7), 42.0f);
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
  link.dispatcher.Parameters().SetParameterValue(57, 1.0f);
  ASSERT_TRUE(operations.WriteToDevice());
  StoreEditedText(table.Cell(8, 2), "2", link.dispatcher.Parameters());  // value 57
  ASSERT_TRUE(link.Finish());
  EXPECT_EQ(link.meter.Parameter(57), 1.0f);
  ASSERT_TRUE(Run(operations.WriteToDevice()));
  EXPECT_EQ(link.meter.Parameter(57), 2.0f);
}

}  // namespace
}  // namespace flovir
