// Collections end to end: simulated meters on pseudo-terminals (one behind
// a simulated GSM modem, one that never answers), read by flovir-cli
// collect and by the collection run itself; the files read back by Python.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <mutex>

#include "collect/runner.h"
#include "tests/support/files.h"
#include "tests/support/programs.h"
#include "tools/meter-sim/hayes_modem.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"
#include "tools/meter-sim/tcp_server.h"
#include "workbook/serial_date.h"

namespace flovir::collect {
namespace {

using namespace std::chrono_literals;
using Instant = std::chrono::steady_clock::time_point;
using testing::ReadFile;
using testing::ScratchFolder;

// When a meter was first and last asked for something that needs its clock
// (current values, archive selections): the span it was busy.
class Activity {
 public:
  sim::TimeSource Clock() {
    return [this] {
      std::lock_guard lock(mutex_);
      const Instant now = std::chrono::steady_clock::now();
      if (first_ == Instant{}) first_ = now;
      last_ = now;
      return sim::ComputerLocalTime();
    };
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    first_ = last_ = Instant{};
  }
  bool Overlaps(Activity& other) {
    std::scoped_lock lock(mutex_, other.mutex_);
    return first_ < other.last_ && other.first_ < last_;
  }

 private:
  std::mutex mutex_;
  Instant first_{}, last_{};
};

sim::MeterOptions WithClock(Activity& activity) {
  sim::MeterOptions o;
  o.clock = activity.Clock();
  return o;
}

// A meter on every line type: two on their own serial lines, one behind a
// GSM modem, one behind a dial-up modem, one behind a converter passing RTU
// frames, one behind a Modbus TCP gateway; and one silent.
class FleetOnEveryLine : public ::testing::Test {
 protected:
  FleetOnEveryLine() {
    silent.SetFaults({{sim::FaultKind::kNoAnswer}});
    for (Activity* a : {&activity_a, &activity_b, &activity_c}) a->Reset();
    std::ofstream(scratch / "fleet.toml") << R"([defaults]
collect = ["current", "hourly", "daily", "params"]
history_days = 1
timeout = 1000

[[meter]]
name = "pump-1"
port = ")" + server_a.SlavePath() + R"("

[[meter]]
name = "pump-2"
port = ")" + server_b.SlavePath() + R"("

[[meter]]
name = "well-7"
line = "gsm"
number = "89001234567"
port = ")" + server_c.SlavePath() + R"("

[[meter]]
name = "well-8"
line = "dialup"
number = "89001234568"
port = ")" + server_d.SlavePath() + R"("

[[meter]]
name = "net-rtu"
line = "tcp"
host = ")" + tcp_rtu.HostPort() + R"("

[[meter]]
name = "net-mbap"
line = "modbus-tcp"
host = ")" + tcp_mbap.HostPort() + R"("

[[meter]]
name = "silent"
port = ")" + server_silent.SlavePath() + R"("
timeout = 300
attempts = 1
)";
  }

  testing::ProgramRun Collect(const std::string& out, const std::string& more) {
    return testing::RunCapturing(testing::kCli + " collect " + scratch.Path("fleet.toml") +
                                 " --out " + scratch.Path(out) + " " + more + " 2>/dev/null");
  }

  ScratchFolder scratch{"collect"};
  Activity activity_a, activity_b, activity_c;
  sim::SimulatedMeter meter_a{WithClock(activity_a)}, meter_b{WithClock(activity_b)},
      meter_c{WithClock(activity_c)}, silent;
  sim::MeterServer server_a{meter_a}, server_b{meter_b};
  sim::MeterLineDevice line_c{meter_c, 5ms};
  sim::HayesModem modem{line_c, {}};
  sim::MeterServer server_c{modem};
  sim::SimulatedMeter meter_d, meter_rtu, meter_mbap;
  sim::MeterLineDevice line_d{meter_d, 5ms};
  sim::HayesModem modem_d{line_d, {}};
  sim::MeterServer server_d{modem_d};
  sim::TcpMeterServer tcp_rtu{meter_rtu};
  sim::TcpMeterServer tcp_mbap{meter_mbap, {.framing = sim::TcpFraming::kModbusTcp}};
  sim::MeterServer server_silent{silent};
};

const char* const kGoodMeters[] = {"pump-1", "pump-2", "well-7", "well-8", "net-rtu", "net-mbap"};

// The summary row of a meter.
std::string SummaryRow(const std::string& summary, const std::string& meter) {
  const size_t at = summary.find("\r\n" + meter + ",");
  if (at == std::string::npos) return {};
  return summary.substr(at + 2, summary.find("\r\n", at + 2) - at - 2);
}

TEST_F(FleetOnEveryLine, GoodMetersCollectedSilentOneReportedAfterItsRetry) {
  const auto t0 = std::chrono::steady_clock::now();
  const testing::ProgramRun one = Collect("one", "--quiet");
  const auto t1 = std::chrono::steady_clock::now();
  // With one job no two meters are ever busy at once.
  EXPECT_FALSE(activity_a.Overlaps(activity_b));
  EXPECT_FALSE(activity_b.Overlaps(activity_c));
  for (Activity* a : {&activity_a, &activity_b, &activity_c}) a->Reset();
  const testing::ProgramRun two = Collect("two", "--jobs 2 --format json --quiet");
  const auto t2 = std::chrono::steady_clock::now();
  EXPECT_TRUE(activity_a.Overlaps(activity_b));
  std::printf("one job %.1f s, two jobs %.1f s\n", std::chrono::duration<double>(t1 - t0).count(),
              std::chrono::duration<double>(t2 - t1).count());

  EXPECT_EQ(one.status, 1) << one.output;
  EXPECT_EQ(two.status, 1) << two.output;
  const std::string summary = ReadFile(scratch / "one" / "summary.csv");
  const std::string header = "meter,line,read,status,seconds,succeeded,link\r\n";
  ASSERT_EQ(summary.substr(0, header.size()), header);
  // A good meter may have needed its retry on a busy machine; it succeeds.
  for (const char* good : kGoodMeters) {
    const std::string row = SummaryRow(summary, good);
    EXPECT_NE(row.find(",current hourly 1d daily 1d params,Завершено успешно"), std::string::npos)
        << summary;
    EXPECT_NE(row.find(",true,"), std::string::npos) << summary;
    // What the line did, per meter.
    EXPECT_NE(row.find(",\"попыток "), std::string::npos) << summary;
  }
  EXPECT_NE(summary.find(",-,Превышен тайм-аут ожидания ответа (retried),"), std::string::npos)
      << summary;
  EXPECT_NE(one.output.find("silent "), std::string::npos) << one.output;  // the printed table

  // Both runs hold the same files, every archive value equal to the workbook's.
  const testing::ProgramRun check =
      testing::RunCapturing(testing::kPython + " " + COLLECT_TESTS_DIR + "/compare_outputs.py " +
                            scratch.Path("one") + " " + scratch.Path("two"));
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_EQ(check.output.substr(0, 3), "ok ") << check.output;

  // A second run the same day reads no archive day again, on any line.
  Collect("one", "--quiet");
  const std::string again = ReadFile(scratch / "one" / "summary.csv");
  for (const char* good : kGoodMeters) {
    EXPECT_NE(SummaryRow(again, good).find(",current hourly up to date daily up to date params,"),
              std::string::npos)
        << again;
  }
}

TEST(Collect, BadFleetFileReadsNothing) {
  ScratchFolder scratch{"collect"};
  sim::SimulatedMeter meter;
  sim::MeterServer server{meter};
  std::ofstream(scratch / "fleet.toml")
      << "[[meter]]\nname = \"a\"\nport = \"" + server.SlavePath() +
             "\"\n[[meter]]\nname = \"a\"\nport = \"/dev/null\"\n";
  const testing::ProgramRun run =
      testing::RunCapturing(testing::kCli + " collect " + scratch.Path("fleet.toml") + " --out " +
                            scratch.Path("out") + " 2>&1");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.output.find("fleet.toml:4: name: 'a' is already the name of the meter at line 1"),
            std::string::npos)
      << run.output;
  EXPECT_TRUE(meter.ReceivedFrames().empty());
  EXPECT_FALSE(std::filesystem::exists(scratch / "out" / "a"));
}

// flovir-cli archive --format: the same values as the workbook it saved.
TEST(Collect, ArchiveCommandPrintsCsvAndJson) {
  ScratchFolder scratch{"collect"};
  const std::string archive = testing::kCli + " --demo archive monthly --from 01.01.2026 --to " +
                              "30.04.2026 --folder " + scratch.Path() + " 2>/dev/null --format ";
  ASSERT_EQ(testing::RunShell(archive + "csv > " + scratch.Path("m.csv")), 0);
  ASSERT_EQ(testing::RunShell(archive + "json > " + scratch.Path("m.json")), 0);
  const testing::ProgramRun check =
      testing::RunCapturing(testing::kPython + " " + COLLECT_TESTS_DIR +
                            "/compare_outputs.py --one " + scratch.Path("temp.xls") + " monthly " +
                            scratch.Path("m.csv") + " " + scratch.Path("m.json"));
  EXPECT_EQ(check.output, "ok 154\n");  // 9 rows of 16 values, 5 mains-off times
}

// Today's integrator reading is not recorded yet: the workbook shows zeros,
// CSV and JSON show no value and say why.
TEST(Collect, TodaysIntegratorHasNoValueInCsvAndJson) {
  ScratchFolder scratch{"collect"};
  const double now = SystemClock().Now();
  const std::string today = IsoDateTime(now).substr(0, 10);
  const std::string yesterday = IsoDateTime(now - 1).substr(0, 10);
  const auto dotted = [](const std::string& iso) {
    return iso.substr(8, 2) + "." + iso.substr(5, 2) + "." + iso.substr(0, 4);
  };
  const std::string archive = "--demo archive hourly --from " + dotted(yesterday) + " --to " +
                              dotted(today) + " --folder " + scratch.Path() + " --format ";
  // The archive grows on the hour and today's integrator is stamped with the
  // meter's minute: both outputs and the workbook of the last run must come
  // from one minute.
  const auto minute = [] { return IsoDateTime(SystemClock().Now()).substr(0, 16); };
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::string began = minute();
    for (const char* format : {"csv", "json"}) {
      const testing::CliRun run = testing::RunCli(archive + format);
      ASSERT_EQ(run.status, 0) << format << "\n" << run.errors;
      std::ofstream(scratch / (std::string("h.") + format), std::ios::binary) << run.output;
    }
    if (minute() == began) break;
  }
  const testing::ProgramRun check = testing::RunCapturing(
      testing::kPython + " " + COLLECT_TESTS_DIR + "/compare_outputs.py --one " +
      scratch.Path("temp.xls") + " hourly " + scratch.Path("h.csv") + " " + scratch.Path("h.json"));
  EXPECT_EQ(check.output.substr(0, 3), "ok ") << check.output;
  const Json doc = Json::parse(ReadFile(scratch / "h.json"));
  ASSERT_EQ(doc["integrators"].size(), 2u);
  for (const Json& integrator : doc["integrators"]) {
    // Just after midnight the range ends yesterday: both are recorded.
    const bool of_today = integrator["time"].get<std::string>().starts_with(today);
    EXPECT_EQ(integrator.contains("no_value"), of_today) << integrator;
    EXPECT_EQ(integrator["volume_m3"][0].is_null(), of_today) << integrator;
  }
}

// One table of words and ranges: a value the command line takes, the fleet
// file takes, and the other way round.
TEST(Fleet, AcceptsExactlyWhatTheCommandLineAccepts) {
  const struct {
    const char* key;
    const char* value;  // as TOML writes it; the command line gets it unquoted
  } cases[] = {
      {"address", "0"},        {"address", "247"},     {"address", "248"},     {"timeout", "0"},
      {"timeout", "600001"},   {"timeout", "3600000"}, {"timeout", "3600001"}, {"attempts", "0"},
      {"attempts", "256"},     {"chunk", "0"},         {"chunk", "126"},       {"chunk", "300"},
      {"parity", "\"odd\""},   {"parity", "\"mark\""}, {"stop", "2"},          {"stop", "3"},
      {"host", "\"gw:4001\""}, {"host", "\"gw\""},
  };
  for (const auto& c : cases) {
    bool in_file = true;
    try {
      ParseFleet(
          "[[meter]]\nname = \"m\"\nport = \"p\"\n" + std::string(c.key) + " = " + c.value + "\n",
          "f.toml");
    } catch (const FleetError&) {
      in_file = false;
    }
    std::string word = c.value;
    std::erase(word, '"');
    // A usage error is 2; a line that cannot open, 1.
    const int status = testing::RunCli("raw read 0 1 --port /nonexistent/port --" +
                                       std::string(c.key) + " " + word)
                           .status;
    EXPECT_EQ(in_file, status != 2) << c.key << " = " << c.value << ": exit " << status;
  }
}

// The collection's view of progress, unused here.
class NoProgress : public CollectProgress {
 public:
  void Update(const std::string&, const std::string&, int) override {}
  void Finished(const MeterResult&) override {}
};

size_t SelectorWrites(const sim::SimulatedMeter& meter) {
  size_t writes = 0;
  for (const auto& frame : meter.ReceivedFrames()) writes += frame.size() > 1 && frame[1] == 16;
  return writes;
}

size_t IntervalRows(const std::filesystem::path& folder, const std::string& archive) {
  size_t rows = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(archive + "_") || !name.ends_with(".csv")) continue;
    const std::string text = ReadFile(entry.path());
    for (size_t at = 0; (at = text.find("\ninterval,", at)) != std::string::npos; ++at) ++rows;
  }
  return rows;
}

TEST(Collect, NightlyRunReadsOnlyTheNewDayAndAFailedRunKeepsTheState) {
  ScratchFolder scratch{"collect"};
  std::mutex mutex;
  sim::MeterDateTime now{2026, 3, 10, 2, 0, 0};
  sim::MeterOptions o;
  o.clock = [&] {
    std::lock_guard lock(mutex);
    return now;
  };
  sim::SimulatedMeter meter{o};
  sim::MeterServer server{meter, {.pacing = false}};
  FixedClock clock{EncodeDateTime({2026, 3, 10, 2, 0, 0})};
  const auto next_day = [&] {
    {
      // The meter reads its clock under its own lock: never hold this one into the meter.
      std::lock_guard lock(mutex);
      ++now.day;
    }
    clock.Set(clock.Now() + 1);
    meter.ClearReceivedFrames();
  };

  Fleet fleet;
  MeterConfig m;
  m.name = "pump-1";
  m.settings.port_name = server.SlavePath();
  m.collect = {false, true, true, false, false};
  m.history_days = 5;
  m.settings.answer_timeout_ms = 1000;
  m.settings.attempts = 1;
  fleet.meters = {m};
  CollectOptions options;
  options.out_dir = scratch.Path();
  NoProgress progress;
  const std::filesystem::path folder = scratch / "pump-1";

  ASSERT_TRUE(RunCollection(fleet, options, clock, progress)[0].succeeded);
  // Five days: 120 hourly and 5 daily entries, two integrators each.
  EXPECT_EQ(SelectorWrites(meter), 120u + 2 + 5 + 2);

  next_day();
  const MeterResult second = RunCollection(fleet, options, clock, progress)[0];
  ASSERT_TRUE(second.succeeded) << second.status;
  EXPECT_EQ(SelectorWrites(meter), 24u + 2 + 1 + 2);
  EXPECT_EQ(second.read, " hourly 1d daily 1d");
  EXPECT_EQ(IntervalRows(folder, "hourly"), 6u * 24);
  EXPECT_EQ(IntervalRows(folder, "daily"), 6u);
  EXPECT_TRUE(std::filesystem::exists(folder / "hourly_2026-03-10_2026-03-10.xls"));

  // A run that fails half-way (the daily download) leaves the state alone.
  const std::string state = ReadFile(folder / "state.json");
  EXPECT_NE(state.find("\"hourly\": \"2026-03-10\""), std::string::npos) << state;
  next_day();
  // Each try needs 60 replies (53 hourly, 7 daily); every 56th is lost.
  meter.SetFaults({{sim::FaultKind::kNoAnswer, 56}});
  const MeterResult failed = RunCollection(fleet, options, clock, progress)[0];
  EXPECT_FALSE(failed.succeeded);
  EXPECT_TRUE(failed.retried);
  EXPECT_EQ(failed.status, "Превышен тайм-аут ожидания ответа");
  EXPECT_TRUE(std::filesystem::exists(folder / "hourly_2026-03-11_2026-03-11.csv"));
  EXPECT_EQ(ReadFile(folder / "state.json"), state);
}

// A download whose "temp.xls" cannot be saved (a folder holds its name):
// the meter is not collected, and its status is the warning of the result,
// as the message box said it, not the table's failure to read the folder.
TEST(Collect, ArchiveWorkbookThatCannotBeSavedFailsTheMeter) {
  ScratchFolder scratch{"collect"};
  sim::SimulatedMeter meter;
  sim::MeterServer server{meter, {.pacing = false}};
  std::ofstream(scratch / "fleet.toml") << "[[meter]]\nname = \"pump\"\ncollect = [\"daily\"]\n"
                                           "history_days = 1\nport = \"" +
                                               server.SlavePath() + "\"\n";
  std::filesystem::create_directories(scratch / "out" / "pump" / ".work" / "temp.xls");
  const testing::ProgramRun run =
      testing::RunCapturing(testing::kCli + " collect " + scratch.Path("fleet.toml") + " --out " +
                            scratch.Path("out") + " --quiet 2>/dev/null");
  EXPECT_EQ(run.status, 1) << run.output;
  const std::string row = SummaryRow(ReadFile(scratch / "out" / "summary.csv"), "pump");
  EXPECT_NE(row.find(",-,\"Не удалось сохранить файл с полученным архивом. «"), std::string::npos)
      << row;
  EXPECT_NE(row.find(",false,"), std::string::npos) << row;
  EXPECT_FALSE(std::filesystem::exists(scratch / "out" / "pump" / "state.json"));
}

}  // namespace
}  // namespace flovir::collect
