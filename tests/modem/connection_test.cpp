// Connection start and stop against the simulated Hayes modem on a virtual
// line: the modem search, the GSM dialogue, the dial results and the hang-up.

#include "connection/connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "tests/modem/virtual_line.h"

namespace flovir::test {
namespace {

// Test names from a parameter's text: its letters and digits.
std::string Alnum(const std::string& text) {
  std::string name;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c))) name += c;
  }
  return name;
}

class ConnectionTest : public ::testing::Test {
 protected:
  sim::HayesModemOptions ModemOptions() {
    sim::HayesModemOptions o;
    o.clock = [this] { return clock.now; };
    o.guard = 1000ms;
    return o;
  }
  ConnectionTiming Timing() {
    ConnectionTiming t;
    t.dial_wait = 10s;
    t.sleep = [this](std::chrono::milliseconds d) {
      waits.push_back(d);
      clock.now += d;
    };
    return t;
  }
  static flovir::Settings Settings(ConnectionType type, std::string number = "89001234567") {
    flovir::Settings s;
    s.type = type;
    s.port_name = "ttyS0";
    s.number = std::move(number);
    return s;
  }
  void Configure(const std::function<void(sim::HayesModemOptions&)>& change) {
    modem.Configure(change);
  }
  // The command lines the modem heard, without the probe.
  std::vector<std::string> Dialogue() const {
    auto commands = modem.Commands();
    commands.erase(std::remove(commands.begin(), commands.end(), "AT&FE0"), commands.end());
    return commands;
  }
  const Message& Box() const { return view.messages.back(); }

  VirtualClock clock;
  std::vector<std::chrono::milliseconds> waits;
  RecordingDevice meter;
  sim::HayesModem modem{meter, ModemOptions()};
  VirtualPort port{modem, clock, Format(9600)};
  VirtualPorts ports{port};
  RecordingView view;
  Connection connection{view, ports, LinkParts{}, Timing()};
};

// --- Opening and the direct line ---------------------------------------------

TEST_F(ConnectionTest, DirectLineAppliesTheListsAndTheModbusTimeouts) {
  auto s = Settings(ConnectionType::Direct);
  s.line = {38400, Parity::Odd, StopBits::Two};
  s.answer_timeout_ms = 1500;
  ASSERT_TRUE(connection.Start(s));
  EXPECT_EQ(port.GetLineSettings(), Format(38400, Parity::Odd, StopBits::Two));
  EXPECT_EQ(port.GetTimeouts(), (PortTimeouts{50, 0, 1500, 0, 0}));
  EXPECT_EQ(view.statuses.back(), "Порт открыт");
  EXPECT_TRUE(port.sent.empty());

  EXPECT_TRUE(connection.Stop());
  EXPECT_EQ(view.statuses,
            (std::vector<std::string>{"Порт открыт", "Закрытие соединения...", "Порт закрыт"}));
  EXPECT_FALSE(connection.Connected());
  EXPECT_FALSE(port.open);
}

TEST_F(ConnectionTest, PortThatCannotBeOpenedEndsTheStart) {
  ports.open_fails = true;
  EXPECT_FALSE(connection.Start(Settings(ConnectionType::Gsm)));
  EXPECT_EQ(view.statuses, std::vector<std::string>{"Не удалось открыть порт"});
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(ConnectionTest, SettingsOutOfRangeAreRefusedBeforeThePortOpens) {
  for (uint32_t bad : {0u, 3600001u}) {
    auto s = Settings(ConnectionType::Direct);
    s.answer_timeout_ms = bad;
    EXPECT_FALSE(connection.Start(s)) << bad;
    EXPECT_NE(view.statuses.back().find("Тайм-аут ожидания ответа"), std::string::npos);
  }
  auto s = Settings(ConnectionType::Gsm);
  s.line.baud_rate = 9601;
  EXPECT_FALSE(connection.Start(s));
  EXPECT_EQ(view.statuses.back(), "Неверный формат линии");
  EXPECT_TRUE(ports.opened.empty());
}

TEST_F(ConnectionTest, DirectStopThatCannotCloseKeepsTheConnection) {
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Direct)));
  ports.close_fails = true;
  EXPECT_FALSE(connection.Stop());
  EXPECT_EQ(view.statuses.back(), "Не удалось закрыть порт");
  EXPECT_TRUE(connection.Connected());
}

// --- The modem search -------------------------------------------------------

TEST_F(ConnectionTest, ModemAtThePresentFormatIsFoundWithoutSearching) {
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::DialUp)));
  EXPECT_TRUE(view.Percents().empty());
  EXPECT_EQ(port.sent[0].text, "AT&FE0\r");
  EXPECT_EQ(port.sent[0].timeouts, (PortTimeouts{20, 0, 500, 0, 0}));
  EXPECT_EQ(port.sent[1].text, "AT&FE0V1\r");
}

TEST_F(ConnectionTest, SearchFindsAModemAt9600AfterThreeSteps) {
  port.SetLineSettings(Format(38400));
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::DialUp)));
  EXPECT_EQ(view.Percents(), (std::vector<std::string>{"0%", "2%", "5%", "98%"}));
  // The first probe, then 1200, 2400, 4800 and 9600 with their timeouts.
  ASSERT_GE(port.sent.size(), 5u);
  EXPECT_EQ(port.sent[1].line, Format(1200));
  EXPECT_EQ(port.sent[1].timeouts, (PortTimeouts{20, 0, 500, 0, 0}));
  EXPECT_EQ(port.sent[3].timeouts, (PortTimeouts{6, 0, 166, 0, 0}));
  EXPECT_EQ(port.sent[4].line, Format(9600));
  EXPECT_EQ(port.sent[4].timeouts, (PortTimeouts{5, 0, 125, 0, 0}));
  EXPECT_EQ(port.sent[5].text, "AT&FE0V1\r");
}

TEST_F(ConnectionTest, SearchTriesFormatsStopBitsOutermostAndSpeedInnermost) {
  Configure([](auto& o) { o.format = ModemFormat(115200); });
  port.SetLineSettings(Format(1200, Parity::Even));
  EXPECT_FALSE(connection.Start(Settings(ConnectionType::Gsm)));

  ASSERT_EQ(port.sent.size(), 43u);
  const uint32_t bauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600};
  size_t k = 1;
  for (StopBits s : {StopBits::One, StopBits::Two}) {
    for (Parity p : {Parity::None, Parity::Odd, Parity::Even}) {
      for (int b = 0; b < 7; ++b, ++k) {
        EXPECT_EQ(port.sent[k].line, Format(bauds[b], p, s)) << k;
        EXPECT_EQ(port.sent[k].timeouts.ReadConstant, 500u / (b + 1)) << k;
      }
    }
  }
  const auto percents = view.Percents();
  ASSERT_EQ(percents.size(), 42u);
  EXPECT_EQ(percents.front(), "0%");
  EXPECT_EQ(percents.back(), "98%");
  EXPECT_EQ(view.statuses.back(), "Модем не отвечает");
  EXPECT_TRUE(view.messages.empty());
  EXPECT_FALSE(port.open);
}

TEST_F(ConnectionTest, ModemAt115200IsFoundOnlyWhenThePortIsAlreadyThere) {
  Configure([](auto& o) { o.format = ModemFormat(115200); });
  port.SetLineSettings(Format(115200));
  EXPECT_TRUE(connection.Start(Settings(ConnectionType::DialUp)));
  EXPECT_TRUE(view.Percents().empty());
}

TEST_F(ConnectionTest, SearchFindsOddParityAndTwoStopBits) {
  Configure([](auto& o) { o.format = ModemFormat(2400, true, true); });
  port.SetLineSettings(Format(38400));
  auto s = Settings(ConnectionType::DialUp);
  s.line.parity = Parity::Odd;
  ASSERT_TRUE(connection.Start(s));
  // s = 1, p = 1, b = 1 is the 30th combination.
  EXPECT_EQ(view.Percents().size(), 30u);
  EXPECT_EQ(view.Percents().back(), "98%");
  EXPECT_EQ(Dialogue()[1], "AT+ICF=2,0");
}

// --- Configuration and the GSM queries ------------------------------------

TEST_F(ConnectionTest, GsmConnectsWithTheWholeDialogueInOrder) {
  auto s = Settings(ConnectionType::Gsm, "+79001234567");
  s.answer_timeout_ms = 2500;
  ASSERT_TRUE(connection.Start(s));
  EXPECT_EQ(Dialogue(), (std::vector<std::string>{"AT+CGMI", "AT+CGMM", "AT+CPIN?", "AT+CREG?",
                                                  "AT+COPS?", "AT&FE0V1", "AT+ICF=3,0",
                                                  "AT+IPR=9600", "ATD +79001234567"}));
  EXPECT_EQ(Box().title, "Модемная связь");
  EXPECT_EQ(Box().icon, MessageIcon::Information);
  EXPECT_EQ(Box().text,
            "Соединение установлено\rмодем: SIMCOM_Ltd SIMCOM_SIM800\rоператор: \"MTS RUS\"");
  EXPECT_EQ(view.statuses,
            (std::vector<std::string>{"Поиск модема...", "Инициализация модема...",
                                      "Набор номера...Вызов...", "Завершено успешно"}));
  EXPECT_TRUE(connection.Connected());
  EXPECT_TRUE(modem.DataMode());
  EXPECT_EQ(port.GetTimeouts(), (PortTimeouts{50, 0, 2500, 0, 0}));
  EXPECT_EQ(connection.ModemReport(), Box().text);
}

TEST_F(ConnectionTest, GsmInRoamingSaysSo) {
  Configure([](auto& o) { o.registration = 5; });
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Gsm)));
  EXPECT_EQ(Box().text,
            "Соединение установлено\rмодем: SIMCOM_Ltd SIMCOM_SIM800\rоператор: \"MTS RUS\", "
            "роуминг");
}

struct SimCase {
  std::string sim_state;
  std::string finding;
};

class SimStateTest : public ConnectionTest, public ::testing::WithParamInterface<SimCase> {};

TEST_P(SimStateTest, SimThatIsNotReadyEndsTheCallBeforeRegistration) {
  Configure([](auto& o) { o.sim_state = GetParam().sim_state; });
  EXPECT_FALSE(connection.Start(Settings(ConnectionType::Gsm)));
  EXPECT_EQ(Box().text, GetParam().finding + "модем: SIMCOM_Ltd SIMCOM_SIM800");
  EXPECT_EQ(Box().icon, MessageIcon::Error);
  EXPECT_EQ(view.statuses.back(), "Ошибка модема");
  EXPECT_EQ(Dialogue().back(), "AT+CPIN?");
  EXPECT_FALSE(port.open);
}

INSTANTIATE_TEST_SUITE_P(
    States, SimStateTest,
    ::testing::Values(SimCase{"SIM PIN", "Требуется ввести PIN-код или SIM-карта блокирована.\r"},
                      SimCase{"ERROR", "SIM-карта отсутствует.\r"},
                      SimCase{"PH-NET PIN", "+CPIN: PH-NET PIN\r"}),
    [](const auto& info) { return Alnum(info.param.sim_state); });

class RegistrationTest : public ConnectionTest,
                         public ::testing::WithParamInterface<std::pair<int, std::string>> {};

TEST_P(RegistrationTest, EveryStateThatAllowsNoCallIsExplained) {
  Configure([](auto& o) { o.registration = GetParam().first; });
  EXPECT_FALSE(connection.Start(Settings(ConnectionType::Gsm)));
  EXPECT_EQ(Box().text, GetParam().second + "модем: SIMCOM_Ltd SIMCOM_SIM800");
  EXPECT_EQ(Dialogue().back(), "AT+CREG?");
}

INSTANTIATE_TEST_SUITE_P(
    States, RegistrationTest,
    ::testing::Values(
        std::pair{0, std::string("Не зарегистрировано, мобильное оборудование не проводит поиск "
                                 "оператора.\rПопробуйте повторить позже.\r")},
        std::pair{2, std::string("Не зарегистрировано, мобильное оборудование проводит поиск "
                                 "оператора для регистрации.\rПопробуйте повторить позже.\r")},
        std::pair{3, std::string("Регистрация отклонена.\rПопробуйте повторить позже.\r")},
        std::pair{4, std::string("Неизвестно.\rПопробуйте повторить позже.\r")},
        std::pair{7, std::string("+CREG: 0,7\r")}),
    [](const auto& info) { return "State" + std::to_string(info.param.first); });

TEST_F(ConnectionTest, HomeRegistrationConnectsWithoutRoaming) {
  Configure([](auto& o) { o.registration = 1; });
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Gsm)));
  EXPECT_EQ(Box().text.find("роуминг"), std::string::npos);
}

TEST_F(ConnectionTest, RejectedInitStringFailsBeforeTheFormat) {
  auto s = Settings(ConnectionType::DialUp);
  s.init_string = "ATX9&Q";
  Configure([](auto& o) { o.failing = {"ATX9&Q"}; });
  EXPECT_FALSE(connection.Start(s));
  EXPECT_EQ(Box().text, "Не удалось инициализировать модем.\rНеправильная строка инициализации\r");
  EXPECT_EQ(Dialogue(), std::vector<std::string>{"ATX9&Q"});
}

TEST_F(ConnectionTest, EmptyInitStringSendsTheDefault) {
  auto s = Settings(ConnectionType::DialUp);
  s.init_string = "";
  ASSERT_TRUE(connection.Start(s));
  EXPECT_EQ(Dialogue()[0], "AT&FE0V1");
}

struct FormatCase {
  int baud_index, parity_index, stop_bits_index;
  const char* icf;
  const char* ipr;
  LineSettings line;
};

class CharacterFormatTest : public ConnectionTest,
                            public ::testing::WithParamInterface<FormatCase> {};

// The modem takes the new format after its "OK"; the port follows before
// the dial, so the dial is heard only if both changed alike.
TEST_P(CharacterFormatTest, ModemAndPortMoveToTheChosenFormatBeforeTheDial) {
  const FormatCase& c = GetParam();
  auto s = Settings(ConnectionType::DialUp);
  s.line = *LineFormatOf(c.baud_index, c.parity_index, c.stop_bits_index);
  ASSERT_TRUE(connection.Start(s));
  const auto d = Dialogue();
  EXPECT_EQ(d[1], c.icf);
  EXPECT_EQ(d[2], c.ipr);
  EXPECT_EQ(port.sent.back().line, c.line);
  EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>{100ms});
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CharacterFormatTest,
    ::testing::Values(FormatCase{3, 0, 0, "AT+ICF=3,0", "AT+IPR=9600", Format(9600)},
                      FormatCase{4, 1, 0, "AT+ICF=2,0", "AT+IPR=19200", Format(19200, Parity::Odd)},
                      FormatCase{0, 2, 0, "AT+ICF=2,1", "AT+IPR=1200", Format(1200, Parity::Even)},
                      FormatCase{7, 1, 1, "AT+ICF=1,0", "AT+IPR=115200",
                                 Format(115200, Parity::None, StopBits::Two)}),
    [](const auto& info) { return Alnum(info.param.icf) + "_" + Alnum(info.param.ipr); });

// --- The dial ---------------------------------------------------------------

TEST_F(ConnectionTest, DialCommandsOfEachLineAndMode) {
  auto s = Settings(ConnectionType::DialUp, "");
  ASSERT_TRUE(connection.Start(s));
  EXPECT_EQ(port.sent.back().text, "ATDT \r");
  ASSERT_TRUE(connection.Stop());

  s = Settings(ConnectionType::DialUp, "8312");
  s.dial_mode = DialMode::Pulse;
  ASSERT_TRUE(connection.Start(s));
  EXPECT_EQ(port.sent.back().text, "ATDP 8312\r");
  ASSERT_TRUE(connection.Stop());

  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Gsm, "8312")));
  EXPECT_EQ(port.sent.back().text, "ATD 8312\r");
}

class DialResultTest
    : public ConnectionTest,
      public ::testing::WithParamInterface<std::pair<sim::DialOutcome, std::string>> {};

TEST_P(DialResultTest, FailedCallIsReportedWithItsReason) {
  Configure([](auto& o) { o.dial = GetParam().first; });
  EXPECT_FALSE(connection.Start(Settings(ConnectionType::DialUp)));
  EXPECT_EQ(Box().text, GetParam().second);
  EXPECT_EQ(Box().icon, MessageIcon::Error);
  EXPECT_EQ(view.statuses.back(), "Ошибка модема");
  EXPECT_FALSE(connection.Connected());
  EXPECT_FALSE(port.open);
}

INSTANTIATE_TEST_SUITE_P(
    Results, DialResultTest,
    ::testing::Values(std::pair{sim::DialOutcome::kBusy, std::string("Абонент занят.\r")},
                      std::pair{sim::DialOutcome::kNoCarrier, std::string("Нет соединения.\r")},
                      std::pair{sim::DialOutcome::kNoAnswer,
                                std::string("Нет ответа от абонента.\r")},
                      // "OK" alone cleans to nothing: an empty line, unrecognised.
                      std::pair{sim::DialOutcome::kVoice, std::string("\r")},
                      std::pair{sim::DialOutcome::kSilence,
                                std::string("Модем не сообщил результат вызова за 10 с.\r")}),
    [](const auto& info) {
      return "Outcome" + std::to_string(static_cast<int>(info.param.first));
    });

TEST_F(ConnectionTest, SilentModemIsGivenUpAfterTheDialWait) {
  Configure([](auto& o) { o.dial = sim::DialOutcome::kSilence; });
  const auto before = clock.now;
  EXPECT_FALSE(connection.Start(Settings(ConnectionType::DialUp)));
  const auto waited = clock.now - before;
  EXPECT_GE(waited, 10s);
  EXPECT_LT(waited, 12s);
}

TEST_F(ConnectionTest, LateDialResultIsAwaited) {
  Configure([](auto& o) { o.dial_delay = 7s; });
  EXPECT_TRUE(connection.Start(Settings(ConnectionType::DialUp)));
}

TEST_F(ConnectionTest, ConnectAmongOtherTextConnects) {
  Configure([](auto& o) {
    o.dial = sim::DialOutcome::kCustom;
    o.custom_dial_reply = "\r\nRING\r\n\r\nCONNECT 9600/RLP\r\n";
  });
  EXPECT_TRUE(connection.Start(Settings(ConnectionType::Gsm)));
}

TEST_F(ConnectionTest, UnknownDialResultIsQuoted) {
  Configure([](auto& o) {
    o.dial = sim::DialOutcome::kCustom;
    o.custom_dial_reply = "\r\nNO DIALTONE\r\n";
  });
  EXPECT_FALSE(connection.Start(Settings(ConnectionType::DialUp)));
  EXPECT_EQ(Box().text, "NO DIALTONE\r");
}

TEST_F(ConnectionTest, VoiceCallIsHungUp) {
  Configure([](auto& o) {
    o.dial = sim::DialOutcome::kCustom;
    o.custom_dial_reply = "\r\nOK\r\n\r\nVOICE\r\n";
  });
  EXPECT_FALSE(connection.Start(Settings(ConnectionType::DialUp)));
  EXPECT_EQ(Box().text, "Соединение в голосовом режиме!\rСоединение прервано!\r");
  EXPECT_EQ(Dialogue().back(), "ATH0");
}

TEST_F(ConnectionTest, VoiceCallThatCannotBeHungUpSaysSo) {
  Configure([](auto& o) {
    o.dial = sim::DialOutcome::kCustom;
    o.custom_dial_reply = "\r\nOK\r\n\r\nVOICE\r\n";
    o.failing = {"ATH0"};
  });
  EXPECT_FALSE(connection.Start(Settings(ConnectionType::DialUp)));
  EXPECT_EQ(Box().text, "Соединение в голосовом режиме!\rНе удалось разорвать соединение!\r");
}

TEST_F(ConnectionTest, FindingsArePrependedNewestFirst) {
  Configure([](auto& o) {
    o.registration = 5;
    o.dial = sim::DialOutcome::kBusy;
  });
  EXPECT_FALSE(connection.Start(Settings(ConnectionType::Gsm)));
  EXPECT_EQ(Box().text,
            "Абонент занят.\rмодем: SIMCOM_Ltd SIMCOM_SIM800\rоператор: \"MTS RUS\", роуминг");
}

// --- Stop -------------------------------------------------------------------

TEST_F(ConnectionTest, StopEscapesAfterTheGuardTimeAndHangsUp) {
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Gsm)));
  const size_t before = port.sent.size();
  view.statuses.clear();
  waits.clear();

  EXPECT_TRUE(connection.Stop());
  ASSERT_EQ(port.sent.size(), before + 2);
  EXPECT_EQ(port.sent[before].text, "+++");
  EXPECT_EQ(port.sent[before].timeouts, (PortTimeouts{200, 0, 5000, 0, 0}));
  EXPECT_EQ(port.sent[before + 1].text, "ATH0\r");
  EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>{2000ms});
  EXPECT_EQ(view.statuses, (std::vector<std::string>{"Закрытие соединения...", "Порт закрыт"}));
  EXPECT_EQ(Box().text, "Соединение прервано");
  EXPECT_EQ(Box().icon, MessageIcon::Warning);
  EXPECT_FALSE(connection.Connected());
  EXPECT_FALSE(modem.InCall());
  EXPECT_FALSE(port.open);
  EXPECT_TRUE(meter.Bytes().empty());  // the escape never reached the meter
}

TEST_F(ConnectionTest, FailedHangUpKeepsThePortOpenAndTheConnectionUp) {
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Gsm)));
  Configure([](auto& o) { o.failing = {"ATH0"}; });
  EXPECT_FALSE(connection.Stop());
  EXPECT_EQ(view.statuses.back(), "Не удалось закрыть порт");
  EXPECT_EQ(Box().text, "Не удалось разорвать соединение!");
  EXPECT_EQ(Box().icon, MessageIcon::Error);
  EXPECT_TRUE(connection.Connected());
  EXPECT_TRUE(port.open);
  EXPECT_EQ(port.GetTimeouts().ReadInterval, 50u);  // ready for Modbus again

  Configure([](auto& o) { o.failing = {}; });
  EXPECT_TRUE(connection.Stop());  // and Stop can be tried again
  EXPECT_FALSE(connection.Connected());
}

// Without the escape's "OK" the hang-up is still tried: a modem already in
// command mode (an earlier Stop escaped but could not hang up) takes it.
TEST_F(ConnectionTest, ModemThatNeedsALongerGuardIsNotHungUp) {
  Configure([](auto& o) { o.guard = 2500ms; });
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Gsm)));
  EXPECT_FALSE(connection.Stop());
  EXPECT_EQ(meter.Bytes(), "+++ATH0\r");  // all of it went down the line as data
  EXPECT_TRUE(connection.Connected());
  EXPECT_TRUE(modem.InCall());
}

TEST_F(ConnectionTest, HungUpButUnclosablePortStillReportsTheHangUp) {
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Gsm)));
  ports.close_fails = true;
  EXPECT_FALSE(connection.Stop());
  EXPECT_EQ(view.statuses.back(), "Не удалось закрыть порт");
  EXPECT_EQ(Box().text, "Соединение прервано");
}

TEST_F(ConnectionTest, DataModePassesBytesToTheMeter) {
  ASSERT_TRUE(connection.Start(Settings(ConnectionType::Gsm)));
  const uint8_t frame[] = {1, 3, 0, 0, 0, 10, 0xC5, 0xCD};
  port.Write(frame, sizeof frame);
  EXPECT_EQ(meter.Bytes(), std::string(reinterpret_cast<const char*>(frame), sizeof frame));
}

}  // namespace
}  // namespace flovir::test
