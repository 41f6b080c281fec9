// End to end over a real pseudo-terminal: the Linux serial port, the
// simulated Hayes modem in front of the simulated meter, the exchange thread
// and the dispatcher.

#include <gtest/gtest.h>

#include "connection/connection.h"
#include "connection/remote_modem_setup.h"
#include "connection/serial_port.h"
#include "link/executor.h"
#include "operations/archive_download.h"
#include "operations/clock.h"
#include "operations/dispatcher.h"
#include "operations/register_map.h"
#include "tests/modem/virtual_line.h"
#include "tools/meter-sim/hayes_modem.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"
#include "workbook/serial_date.h"

namespace flovir::test {
namespace {

// 7 March 2024, 10:20, on both the computer's and the meter's clock.
double Now() {
  return EncodeDateTime({2024, 3, 7, 10, 20, 0});
}

class ModemOverPty : public ::testing::Test {
 protected:
  static sim::MeterOptions MeterOptions() {
    sim::MeterOptions o;
    o.clock = [] { return sim::MeterDateTime{2024, 3, 7, 10, 20, 0}; };
    return o;
  }
  static sim::HayesModemOptions ModemOptions() {
    sim::HayesModemOptions o;
    o.guard = 200ms;
    return o;
  }
  static sim::ServerOptions ServerOptions() {
    sim::ServerOptions o;
    o.pacing = false;
    return o;
  }
  LinkParts Link() {
    LinkParts link;
    link.request = &dispatcher.Request();
    link.executor = &executor;
    link.exchange_completed = [this] { dispatcher.ExchangeCompleted(); };
    link.on_thread_changed = [this](ExchangeThread* t) { dispatcher.SetThread(t); };
    return link;
  }
  static ConnectionTiming Timing() {
    ConnectionTiming t;
    t.dial_wait = 10s;
    t.escape_guard = 400ms;  // twice the modem's guard time
    return t;
  }
  flovir::Settings Settings(ConnectionType type) const {
    flovir::Settings s;
    s.type = type;
    s.port_name = server.SlavePath();
    s.number = "89001234567";
    return s;
  }
  bool Finish() {
    return executor.RunUntil([this] { return !dispatcher.Busy(); }, 120000);
  }

  sim::SimulatedMeter meter{MeterOptions()};
  sim::MeterLineDevice meter_line{meter, 1ms};
  sim::HayesModem modem{meter_line, ModemOptions()};
  sim::MeterServer server{modem, ServerOptions()};
  SerialPortProvider ports;
  QueueExecutor executor;
  RecordingView view;
  FixedClock clock{Now()};
  Dispatcher dispatcher{view, clock};
  Connection connection{view, ports, Link(), Timing()};
};

TEST_F(ModemOverPty, HourlyArchiveThroughAGsmCall) {
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Gsm)))
      << (view.messages.empty() ? view.statuses.back() : view.messages.back().text);
  ASSERT_NE(connection.Thread(), nullptr);
  EXPECT_TRUE(connection.Thread()->IsSleeping());
  EXPECT_TRUE(modem.DataMode());

  const double day = EncodeDateTime({2024, 3, 6, 0, 0, 0});
  ASSERT_TRUE(dispatcher.StartArchive(OperationKind::HourlyArchive, day, day));
  ASSERT_TRUE(Finish());
  EXPECT_EQ(view.statuses.back(), "Завершено успешно");
  const WorkbookModel& book = dispatcher.Archive().Workbook();
  // The first and last hours of the day on the "hours" sheet, as the meter holds them.
  for (int hour : {0, 23}) {
    const auto entry = meter.Entry(sim::ArchiveKind::kHourly, sim::ArchiveValueType::kInterval,
                                   {2024, 3, 6, hour, 0, 0});
    EXPECT_DOUBLE_EQ(book.GetCellNumber(1, 2, static_cast<uint16_t>(8 + hour)),
                     ScaledVolume(ApplyNoDataMarker(entry.volume[0]), VolumeScaleOf(3)));
    EXPECT_DOUBLE_EQ(book.GetCellNumber(1, 6, static_cast<uint16_t>(8 + hour)),
                     CountToHours(ApplyNoDataMarker(entry.operating[0])));
  }

  ASSERT_TRUE(connection.Stop());
  EXPECT_EQ(view.messages.back().text, "Соединение прервано");
  EXPECT_FALSE(modem.InCall());
  EXPECT_EQ(modem.Commands().back(), "ATH0");
  EXPECT_EQ(connection.Thread(), nullptr);
  EXPECT_FALSE(dispatcher.StartCurrentValues());  // no line, nothing starts
}

// Stop does not wait for the operation: the request in flight is dropped,
// and the call is hung up all the same.
TEST_F(ModemOverPty, StopInTheMiddleOfADownloadHangsUp) {
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Gsm)));
  const double day = EncodeDateTime({2024, 3, 6, 0, 0, 0});
  ASSERT_TRUE(dispatcher.StartArchive(OperationKind::HourlyArchive, day - 20, day));
  ASSERT_TRUE(executor.RunUntil(
      [this] { return view.statuses.back().rfind("Выполнено...", 0) == 0; }, 60000));

  EXPECT_TRUE(connection.Stop());
  EXPECT_FALSE(dispatcher.Busy());
  EXPECT_FALSE(modem.InCall());
  EXPECT_EQ(modem.Commands().back(), "ATH0");
}

TEST_F(ModemOverPty, SearchFindsTheModemAt9600FromAnotherSpeed) {
  {  // the line keeps the format the last program left on it
    SerialPort other;
    ASSERT_TRUE(other.Open(server.SlavePath()));
    other.SetLineSettings(Format(38400));
  }
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::DialUp)));
  EXPECT_EQ(view.Percents(), (std::vector<std::string>{"0%", "2%", "5%", "98%"}));
  EXPECT_EQ(modem.Commands().back(), "ATDT 89001234567");
  EXPECT_EQ(server.Format().baud, 9600u);
}

TEST_F(ModemOverPty, FailedHangUpKeepsTheLineAndCanBeRetried) {
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Gsm)));
  modem.Configure([](auto& o) { o.failing = {"ATH0"}; });
  EXPECT_FALSE(connection.Stop());
  EXPECT_TRUE(connection.Connected());
  ASSERT_NE(connection.OpenPort(), nullptr);
  EXPECT_TRUE(connection.OpenPort()->IsOpen());
  EXPECT_NE(connection.Thread(), nullptr);
  EXPECT_EQ(view.messages.back().text, "Не удалось разорвать соединение!");

  modem.Configure([](auto& o) { o.failing = {}; });
  EXPECT_TRUE(connection.Stop());
  EXPECT_FALSE(modem.InCall());
  EXPECT_FALSE(connection.Connected());
}

TEST_F(ModemOverPty, RemoteSetupOverADirectCable) {
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Direct)));
  RemoteModemSetup setup;
  EXPECT_EQ(setup.Apply(connection, view), RemoteSetupOutcome::Done);
  EXPECT_EQ(view.statuses.back(), "Завершено успешно");
  EXPECT_EQ(modem.Commands(), (std::vector<std::string>{"AT&FE0", "AT&F", "AT&S1", "ATS0=1",
                                                        "AT&D0", "AT+IPR=9600", "ATE0", "AT&W"}));
  EXPECT_TRUE(connection.Stop());
}

// Each outcome of the dialogue over the real line, by the first line of the
// report the user sees.
struct Outcome {
  const char* name;
  ConnectionType type;
  std::function<void(sim::HayesModemOptions&)> modem;
  std::string report_begins;
  bool connects = false;
};

class OutcomeOverPty : public ModemOverPty, public ::testing::WithParamInterface<Outcome> {};

TEST_P(OutcomeOverPty, ReportsTheFinding) {
  modem.Configure(GetParam().modem);
  EXPECT_EQ(connection.Start(Settings(GetParam().type)), GetParam().connects);
  ASSERT_FALSE(view.messages.empty()) << view.statuses.back();
  EXPECT_EQ(view.messages.back().text.rfind(GetParam().report_begins, 0), 0u)
      << view.messages.back().text;
  EXPECT_EQ(connection.OpenPort() != nullptr, GetParam().connects);
}

INSTANTIATE_TEST_SUITE_P(
    Dialogue, OutcomeOverPty,
    ::testing::Values(
        Outcome{"SimPin", ConnectionType::Gsm, [](auto& o) { o.sim_state = "SIM PIN"; },
                "Требуется ввести PIN-код или SIM-карта блокирована.\rмодем: SIMCOM_Ltd"},
        Outcome{"NotSearching", ConnectionType::Gsm, [](auto& o) { o.registration = 0; },
                "Не зарегистрировано, мобильное оборудование не проводит поиск"},
        Outcome{"Searching", ConnectionType::Gsm, [](auto& o) { o.registration = 2; },
                "Не зарегистрировано, мобильное оборудование проводит поиск"},
        Outcome{"Denied", ConnectionType::Gsm, [](auto& o) { o.registration = 3; },
                "Регистрация отклонена.\r"},
        Outcome{"Unknown", ConnectionType::Gsm, [](auto& o) { o.registration = 4; },
                "Неизвестно.\r"},
        Outcome{"Roaming", ConnectionType::Gsm, [](auto& o) { o.registration = 5; },
                "Соединение установлено\rмодем: SIMCOM_Ltd SIMCOM_SIM800\rоператор: \"MTS RUS\", "
                "роуминг",
                true},
        Outcome{"Busy", ConnectionType::DialUp, [](auto& o) { o.dial = sim::DialOutcome::kBusy; },
                "Абонент занят.\r"},
        Outcome{"NoCarrier", ConnectionType::DialUp,
                [](auto& o) { o.dial = sim::DialOutcome::kNoCarrier; }, "Нет соединения.\r"},
        Outcome{"NoAnswer", ConnectionType::DialUp,
                [](auto& o) { o.dial = sim::DialOutcome::kNoAnswer; }, "Нет ответа от абонента.\r"},
        Outcome{"OkAlone", ConnectionType::DialUp,
                [](auto& o) { o.dial = sim::DialOutcome::kVoice; }, "\r"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModemOverPty, DialUpWithAnEmptyNumberSendsTheBareDialCommand) {
  auto s = Settings(ConnectionType::DialUp);
  s.number = "";
  ASSERT_TRUE(connection.Start(s));
  EXPECT_EQ(modem.Commands().back(), "ATDT ");
}

}  // namespace
}  // namespace flovir::test
