// flovir-cli and the window reach the meter by one path: the core's
// Connection. The same current-values read over a direct line and over a GSM
// call, once through flovir-cli and once through Connection and the
// dispatcher alone, must leave the same report file and the modem must hear
// the same dialogue.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "connection/connection.h"
#include "link/executor.h"
#include "operations/clock.h"
#include "operations/dispatcher.h"
#include "tests/modem/virtual_line.h"
#include "tests/support/files.h"
#include "tests/support/programs.h"
#include "tools/meter-sim/hayes_modem.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"
#include "workbook/serial_date.h"

namespace flovir::test {
namespace {

using testing::ScratchFolder;

// The meter of a test, behind the simulated modem for a GSM line.
struct MeterSite {
  explicit MeterSite(ConnectionType type) {
    sim::MeterOptions meter_options;
    meter_options.clock = [] { return sim::MeterDateTime{2024, 3, 7, 10, 20, 0}; };
    meter = std::make_unique<sim::SimulatedMeter>(meter_options);
    sim::ServerOptions server_options;
    server_options.pacing = false;
    if (type == ConnectionType::Direct) {
      server = std::make_unique<sim::MeterServer>(*meter, server_options);
      return;
    }
    line = std::make_unique<sim::MeterLineDevice>(*meter, 1ms);
    sim::HayesModemOptions modem_options;
    modem_options.guard = 200ms;
    modem = std::make_unique<sim::HayesModem>(*line, modem_options);
    server = std::make_unique<sim::MeterServer>(*modem, server_options);
  }
  std::vector<std::string> Dialogue() const {
    return modem ? modem->Commands() : std::vector<std::string>{};
  }

  std::unique_ptr<sim::SimulatedMeter> meter;
  std::unique_ptr<sim::MeterLineDevice> line;
  std::unique_ptr<sim::HayesModem> modem;
  std::unique_ptr<sim::MeterServer> server;
};

struct Outcome {
  bool succeeded = false;
  std::string report;  // the bytes of авто_/текущие.txt
  std::vector<std::string> dialogue;
};

const char* kNumber = "89001234567";

Outcome ThroughConnection(ConnectionType type) {
  MeterSite site(type);
  ScratchFolder folder("flovir-one-path");
  QueueExecutor executor;
  RecordingView view;
  FixedClock clock{EncodeDateTime({2024, 3, 7, 10, 20, 0})};
  Dispatcher dispatcher(view, clock);
  dispatcher.SetProgramFolder(folder.Path());
  LinkParts link;
  link.request = &dispatcher.Request();
  link.executor = &executor;
  link.exchange_completed = [&] { dispatcher.ExchangeCompleted(); };
  link.on_thread_changed = [&](ExchangeThread* t) { dispatcher.SetThread(t); };
  SerialPortProvider ports;
  Connection connection(view, ports, link);

  Settings settings;
  settings.type = type;
  settings.port_name = site.server->SlavePath();
  settings.number = kNumber;
  Outcome outcome;
  if (!connection.Start(settings)) return outcome;
  dispatcher.Settings() = settings;
  outcome.succeeded = dispatcher.StartCurrentValues() &&
                      executor.RunUntil([&] { return !dispatcher.Busy(); }, 60000) &&
                      dispatcher.LastSucceeded() && connection.Stop();
  outcome.report = testing::ReadFile(folder / "авто_/текущие.txt");
  outcome.dialogue = site.Dialogue();
  return outcome;
}

Outcome ThroughCli(ConnectionType type) {
  MeterSite site(type);
  ScratchFolder folder("flovir-one-path");
  std::string line;
  if (type == ConnectionType::Gsm) line = std::string(" --line gsm --number ") + kNumber;
  const testing::ProgramRun run =
      testing::RunCapturing(testing::kCli + " current --port " + site.server->SlavePath() + line +
                            " --folder " + testing::Quote(folder.Folder()) + " 2>&1");
  Outcome outcome;
  outcome.succeeded = run.status == 0 && run.output.find("Завершено успешно") != std::string::npos;
  EXPECT_TRUE(outcome.succeeded) << run.output;
  outcome.report = testing::ReadFile(folder / "авто_/текущие.txt");
  outcome.dialogue = site.Dialogue();
  return outcome;
}

class OnePath : public ::testing::TestWithParam<ConnectionType> {};

TEST_P(OnePath, CliAndConnectionReadTheSameValuesTheSameWay) {
  const Outcome core = ThroughConnection(GetParam());
  const Outcome cli = ThroughCli(GetParam());
  ASSERT_TRUE(core.succeeded);
  ASSERT_TRUE(cli.succeeded);
  EXPECT_FALSE(core.report.empty());
  EXPECT_EQ(cli.report, core.report);
  EXPECT_EQ(cli.dialogue, core.dialogue);
  if (GetParam() == ConnectionType::Gsm) {
    const std::vector<std::string> call = {
        "AT&FE0",   "AT+CGMI",    "AT+CGMM",     "AT+CPIN?",        "AT+CREG?", "AT+COPS?",
        "AT&FE0V1", "AT+ICF=3,0", "AT+IPR=9600", "ATD 89001234567", "ATH0"};
    EXPECT_EQ(core.dialogue, call);
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, OnePath,
                         ::testing::Values(ConnectionType::Direct, ConnectionType::Gsm),
                         [](const auto& info) {
                           return info.param == ConnectionType::Direct ? "Direct" : "Gsm";
                         });

}  // namespace
}  // namespace flovir::test
