// The operations on a bad line, over a real pseudo-terminal: late replies,
// replies sent twice and stray frames, mixed with the other faults of the
// simulated meter, during the parameter read and write, the three archives,
// the current values and the test poll. Every operation either ends as it
// does on a clean line (the same report, the same values) or fails with a
// status and saves nothing.

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>

#include "operations/archive_workbook.h"
#include "operations/report_files.h"
#include "parameters/parameter_operations.h"
#include "tests/support/rig.h"

namespace flovir {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using sim::FaultKind;
using sim::FaultPlan;
using testing::At;
using testing::MeterTime;

constexpr uint32_t kAnswerTimeoutMs = 250;

// The dispatcher and the parameter operations on our serial port, with the
// meter's server on the other end of a pseudo-terminal; the meter answers
// after a turnaround, so that a reply left over from a late one comes after
// the master has moved on.
struct SoakLine {
  SoakLine() {
    dispatcher.SetProgramFolder(folder.Path() + "/");
    dispatcher.Settings().attempts = 3;
    if (!serial.Open(server.SlavePath())) throw std::runtime_error(serial.LastError());
    serial.SetLineSettings({});
    serial.SetTimeouts({50, 0, kAnswerTimeoutMs, 0, 0});
    thread = std::make_unique<ExchangeThread>(serial, dispatcher.Request(), executor,
                                              [this] { dispatcher.ExchangeCompleted(); });
    dispatcher.SetThread(thread.get());
  }
  ~SoakLine() {
    dispatcher.SetThread(nullptr);
    serial.Close();
    thread->Terminate();
    server.Stop();
  }

  static sim::MeterOptions Meter() {
    sim::MeterOptions options;
    options.clock = [] { return MeterTime(testing::Rig::kNow); };
    return options;
  }

  // Runs an operation to its end; true when it succeeded.
  bool Run(bool started) {
    EXPECT_TRUE(started);
    EXPECT_TRUE(executor.RunUntil([this] { return !dispatcher.Busy(); }, 600000));
    return dispatcher.LastSucceeded();
  }

  testing::ScratchFolder folder{"flovir-soak"};
  FixedClock clock{testing::Rig::kNow};
  sim::SimulatedMeter meter{Meter()};
  sim::MeterServer server{meter, {.turnaround = 15ms, .pacing = false}};
  SerialPort serial;
  QueueExecutor executor;
  testing::RecordingView view;
  Dispatcher dispatcher{view, clock};
  std::unique_ptr<ExchangeThread> thread;
  ParameterTable table;
  WorkbookModel xls0 = WorkbookModel::MakeParameterWorkbook();
  ParameterOperations parameters{dispatcher, table, xls0};
};

// One operation: how to start it, the files it saves, and what the user
// sees of it (compared with the clean line's).
struct Operation {
  const char* name;
  std::function<bool(SoakLine&)> start;
  std::vector<fs::path> files;  // relative to the program's folder
  std::function<std::vector<std::string>(SoakLine&)> result;
};

std::vector<std::string> Report(SoakLine& line, ReportKind kind) {
  return line.view.reports[static_cast<size_t>(kind)];
}

std::vector<std::string> ArchiveResult(SoakLine& line, ReportKind kind) {
  std::vector<std::string> result = Report(line, kind);
  result.push_back(testing::ReadFile(line.folder / kArchiveWorkbookName));
  return result;
}

std::vector<Operation> Operations() {
  const fs::path autosave = u8"авто_";
  const double day = At(2024, 3, 5);
  return {
      {"parameter read",
       [](SoakLine& l) { return l.parameters.ReadParameters(); },
       {autosave / u8"параметры.xls"},
       [](SoakLine& l) {
         std::vector<std::string> values;
         for (size_t i = 0; i < 256; ++i) {
           const float value = l.dispatcher.Parameters().ParameterValue(i);
           values.push_back(std::to_string(std::bit_cast<uint32_t>(value)));
         }
         return values;
       }},
      {"current values",
       [](SoakLine& l) { return l.dispatcher.StartCurrentValues(); },
       {autosave / fs::path(kCurrentReportFile)},
       [](SoakLine& l) { return Report(l, ReportKind::Current); }},
      {"test poll",
       [](SoakLine& l) { return l.dispatcher.TestTick(); },
       {},
       [](SoakLine& l) { return l.view.test_lines; }},
      {"hourly archive",
       [day](SoakLine& l) {
         return l.dispatcher.StartArchive(OperationKind::HourlyArchive, day, day);
       },
       {kArchiveWorkbookName, autosave / fs::path(kHourlyReportFile)},
       [](SoakLine& l) { return ArchiveResult(l, ReportKind::Hourly); }},
      {"daily archive",
       [day](SoakLine& l) {
         return l.dispatcher.StartArchive(OperationKind::DailyArchive, day - 4, day);
       },
       {kArchiveWorkbookName, autosave / fs::path(kDailyReportFile)},
       [](SoakLine& l) { return ArchiveResult(l, ReportKind::Daily); }},
      {"monthly archive",
       [](SoakLine& l) {
         return l.dispatcher.StartArchive(OperationKind::MonthlyArchive, At(2023, 12, 1),
                                          At(2024, 2, 1));
       },
       {kArchiveWorkbookName, autosave / fs::path(kMonthlyReportFile)},
       [](SoakLine& l) { return ArchiveResult(l, ReportKind::Monthly); }},
  };
}

std::vector<float> MeterTable(const sim::SimulatedMeter& meter) {
  std::vector<float> values;
  for (size_t i = 0; i < 256; ++i) values.push_back(meter.Parameter(i));
  return values;
}

// The fault mixes, each the whole time an operation runs; every fault hits
// at most three replies of an operation.
std::vector<std::vector<FaultPlan>> Mixes() {
  const auto late = kAnswerTimeoutMs * 1ms;
  return {
      {{.kind = FaultKind::kDelay, .every = 5, .limit = 3, .duration = late * 3 / 2}},
      {{.kind = FaultKind::kTwice, .every = 4, .limit = 3, .duration = 30ms}},
      {{.kind = FaultKind::kStray, .every = 3, .limit = 3, .duration = 20ms}},
      {{.kind = FaultKind::kDelay, .every = 7, .limit = 3, .duration = late * 2},
       {.kind = FaultKind::kBadCrc, .every = 5, .limit = 3},
       {.kind = FaultKind::kNoAnswer, .every = 11, .limit = 3},
       {.kind = FaultKind::kSplitReply, .every = 13, .limit = 3, .duration = 120ms}},
      {{.kind = FaultKind::kTwice, .every = 6, .limit = 3, .duration = 0ms},
       {.kind = FaultKind::kStray, .every = 5, .limit = 3, .duration = 20ms},
       {.kind = FaultKind::kDelay, .every = 9, .limit = 3, .duration = late * 11 / 10},
       {.kind = FaultKind::kOtherAddress, .every = 13, .limit = 3}},
  };
}

class LineFaultsSoak : public ::testing::Test {
 protected:
  // Runs the operation on the bad line after one on a clean line: it ends
  // alike, or fails with a status and saves none of its files.
  void Check(const Operation& op, const std::vector<FaultPlan>& faults) {
    line.meter.SetFaults({});
    ASSERT_TRUE(line.Run(op.start(line))) << op.name << ": " << line.dispatcher.LastStatusText();
    const auto clean = op.result(line);
    for (const fs::path& file : op.files) fs::remove(line.folder / file);
    line.view.test_lines.clear();

    line.meter.SetFaults(faults);
    const bool ok = line.Run(op.start(line));
    line.meter.SetFaults({});
    Count(ok);
    if (ok) {
      EXPECT_EQ(op.result(line), clean) << op.name << " ended well with other results";
    } else {
      EXPECT_NE(line.dispatcher.LastStatusText(), "Завершено успешно");
      for (const fs::path& file : op.files) {
        EXPECT_FALSE(fs::exists(line.folder / file)) << op.name << " failed but saved " << file;
      }
      if (op.files.empty()) {
        EXPECT_TRUE(line.view.test_lines.empty()) << op.name;
      }
    }
  }

  // Writes a new table; the meter then holds exactly it, or the write failed.
  void CheckParameterWrite(const std::vector<FaultPlan>& faults, uint8_t read_chunk, float base) {
    const uint8_t chunk = std::min<uint8_t>(read_chunk, 123);
    // A write sends only a table read from the meter: read on a clean line.
    line.meter.SetFaults({});
    EXPECT_TRUE(line.Run(line.parameters.ReadParameters()));
    std::vector<float> written;
    for (size_t i = 0; i < 256; ++i) {
      written.push_back(base + 0.5f * static_cast<float>(i));
      line.dispatcher.Parameters().SetParameterValue(i, written.back());
    }
    line.dispatcher.Settings().chunk_size = chunk;
    line.meter.SetFaults(faults);
    const bool ok = line.Run(line.parameters.WriteToDevice());
    line.dispatcher.Settings().chunk_size = read_chunk;
    line.meter.SetFaults({});
    Count(ok);
    if (ok) {
      EXPECT_EQ(MeterTable(line.meter), written) << "chunk " << int{chunk};
    }
  }

  void Count(bool ok) { (ok ? succeeded : failed)++; }

  SoakLine line;
  int succeeded = 0;
  int failed = 0;
};

TEST_F(LineFaultsSoak, EveryOperationEndsAsOnACleanLineOrFailsAndSavesNothing) {
  const uint8_t chunks[] = {16, 64, 125};
  const auto mixes = Mixes();
  const auto operations = Operations();
  for (size_t m = 0; m < mixes.size(); ++m) {
    SCOPED_TRACE("fault mix " + std::to_string(m));
    CheckParameterWrite(mixes[m], chunks[m % 3], 100.0f * static_cast<float>(m + 1));
    // The parameters, the current values, the test poll and one of the
    // archives in turn.
    for (size_t op : {size_t{0}, size_t{1}, size_t{2}, 3 + m % 3}) Check(operations[op], mixes[m]);
  }
  std::cout << "[ soak ] " << succeeded << " operations ended well, " << failed
            << " failed with a status\n";
  EXPECT_GT(succeeded, failed) << "the retries should carry most operations";
}

}  // namespace
}  // namespace flovir
