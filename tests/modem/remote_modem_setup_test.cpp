// The remote modem setup: its probe and search, the command list, and how a
// line is accepted.

#include "connection/remote_modem_setup.h"

#include <gtest/gtest.h>

#include "tests/modem/virtual_line.h"

namespace flovir::test {
namespace {

class RemoteSetupTest : public ::testing::Test {
 protected:
  sim::HayesModemOptions ModemOptions() {
    sim::HayesModemOptions o;
    o.clock = [this] { return clock.now; };
    return o;
  }
  RemoteSetupOutcome Apply(const std::vector<std::string>& commands) {
    return ApplyModemCommands(port, view, commands);
  }
  std::vector<std::string> AfterProbe() const {
    auto c = modem.Commands();
    std::erase(c, "AT&FE0");
    return c;
  }

  VirtualClock clock;
  RecordingDevice meter;
  sim::HayesModem modem{meter, ModemOptions()};
  VirtualPort port{modem, clock, Format(9600)};
  RecordingView view;
};

TEST_F(RemoteSetupTest, DefaultListIsSentInOrderAndEndsSuccessfully) {
  EXPECT_EQ(Apply(RemoteModemSetup::DefaultCommands()), RemoteSetupOutcome::Done);
  EXPECT_EQ(AfterProbe(), (std::vector<std::string>{"AT&F", "AT&S1", "ATS0=1", "AT&D0",
                                                    "AT+IPR=9600", "ATE0", "AT&W"}));
  EXPECT_EQ(view.statuses, (std::vector<std::string>{"Поиск модема... 0%", "Настройка модема...",
                                                     "Завершено успешно"}));
  EXPECT_EQ(port.sent[0].timeouts, (PortTimeouts{200, 0, 2000, 0, 0}));
  EXPECT_EQ(port.sent[1].text, "AT&F\r");
  EXPECT_EQ(port.sent[1].timeouts, (PortTimeouts{200, 0, 5000, 0, 0}));
}

TEST_F(RemoteSetupTest, RejectedLineStopsTheListThere) {
  modem.Configure([](auto& o) {
    o.factory_echo = false;
    o.failing = {"ATS0=1"};
  });
  EXPECT_EQ(Apply(RemoteModemSetup::DefaultCommands()), RemoteSetupOutcome::Rejected);
  EXPECT_EQ(view.statuses.back(), "Ошибка. Неверный параметр: ATS0=1");
  EXPECT_EQ(AfterProbe(), (std::vector<std::string>{"AT&F", "AT&S1", "ATS0=1"}));
}

// AT&F turns the echo back on; the echo of "ATS0=1" is acceptance enough.
TEST_F(RemoteSetupTest, EchoedAutoAnswerLineIsAcceptedWithoutItsOk) {
  modem.Configure([](auto& o) {
    o.factory_echo = true;
    o.failing = {"ATS0=1"};
  });
  EXPECT_EQ(Apply(RemoteModemSetup::DefaultCommands()), RemoteSetupOutcome::Done);
  EXPECT_EQ(AfterProbe().size(), 7u);
}

TEST_F(RemoteSetupTest, EchoDoesNotMakeOtherLinesAcceptable) {
  modem.Configure([](auto& o) { o.failing = {"AT&D0"}; });
  EXPECT_EQ(Apply(RemoteModemSetup::DefaultCommands()), RemoteSetupOutcome::Rejected);
  EXPECT_EQ(view.statuses.back(), "Ошибка. Неверный параметр: AT&D0");
}

TEST_F(RemoteSetupTest, SearchCountsToOneHundredWhenFound) {
  modem.Configure([](auto& o) { o.format = ModemFormat(4800, true); });
  port.SetLineSettings(Format(38400));
  EXPECT_EQ(Apply({"AT&W"}), RemoteSetupOutcome::Done);
  // No parity at seven speeds, then odd parity at 1200, 2400 and 4800.
  const std::vector<std::string> expected = {
      "Поиск модема... 0%",  "Поиск модема... 0%",  "Поиск модема... 2%",   "Поиск модема... 4%",
      "Поиск модема... 7%",  "Поиск модема... 9%",  "Поиск модема... 12%",  "Поиск модема... 14%",
      "Поиск модема... 17%", "Поиск модема... 19%", "Поиск модема... 100%", "Настройка модема...",
      "Завершено успешно"};
  EXPECT_EQ(view.statuses, expected);
  EXPECT_EQ(port.sent[1].timeouts, (PortTimeouts{20, 0, 500, 0, 0}));
  EXPECT_EQ(port.sent[7].timeouts, (PortTimeouts{2, 0, 500, 0, 0}));
  EXPECT_EQ(port.GetLineSettings(), Format(4800, Parity::Odd));
}

TEST_F(RemoteSetupTest, SilentModemSendsNoCommands) {
  modem.Configure([](auto& o) { o.format = ModemFormat(115200); });
  EXPECT_EQ(Apply(RemoteModemSetup::DefaultCommands()), RemoteSetupOutcome::NoModem);
  EXPECT_EQ(view.statuses.back(), "Модем не отвечает");
  EXPECT_EQ(port.sent.size(), 43u);
  EXPECT_EQ(view.statuses[view.statuses.size() - 2], "Поиск модема... 100%");
}

TEST_F(RemoteSetupTest, EmptyListLeavesThePortAlone) {
  EXPECT_EQ(Apply({}), RemoteSetupOutcome::NothingToSend);
  EXPECT_TRUE(port.sent.empty());
  EXPECT_NE(view.statuses.back().find("пуст"), std::string::npos);
}

TEST(RemoteModemSetupList, KeepsAtMost255ShortLines) {
  RemoteModemSetup setup;
  std::string error;
  EXPECT_TRUE(setup.SetCommands(std::vector<std::string>(255, "AT"), error));
  EXPECT_FALSE(setup.SetCommands(std::vector<std::string>(256, "ATZ"), error));
  EXPECT_NE(error.find("256"), std::string::npos);
  EXPECT_EQ(setup.Commands().size(), 255u);  // the old list stays
  EXPECT_FALSE(setup.SetCommands({"AT" + std::string(253, 'X')}, error));
  EXPECT_TRUE(setup.SetCommands({"AT" + std::string(252, 'X')}, error));
  setup.Reset();
  EXPECT_EQ(setup.Commands(), RemoteModemSetup::DefaultCommands());
}

TEST(RemoteModemSetupList, LinesOfATextFile) {
  EXPECT_EQ(SplitCommandLines("AT&F\r\nATE0\n\n  \nAT&W"),
            (std::vector<std::string>{"AT&F", "ATE0", "AT&W"}));
  EXPECT_TRUE(SplitCommandLines("").empty());
  EXPECT_TRUE(SplitCommandLines("\r\n\r\n").empty());
}

// The setup takes the port of a direct connection only, and keeps the
// dispatcher away from it while it runs.
class RemoteSetupOnConnectionTest : public RemoteSetupTest {
 protected:
  RemoteSetupOnConnectionTest() {
    LinkParts link;
    link.on_thread_changed = [this](ExchangeThread* t) { thread_changes.push_back(t); };
    connection = std::make_unique<Connection>(view, ports, link);
  }
  VirtualPorts ports{port};
  std::vector<ExchangeThread*> thread_changes;
  std::unique_ptr<Connection> connection;
};

TEST_F(RemoteSetupOnConnectionTest, RefusedWithoutADirectConnection) {
  RemoteModemSetup setup;
  EXPECT_EQ(setup.Apply(*connection, view), RemoteSetupOutcome::PortBusy);
  EXPECT_TRUE(port.sent.empty());
}

TEST_F(RemoteSetupOnConnectionTest, RunsOnTheDirectConnection) {
  Settings s;
  s.port_name = "ttyS0";
  ASSERT_TRUE(connection->Start(s));
  RemoteModemSetup setup;
  EXPECT_EQ(setup.Apply(*connection, view), RemoteSetupOutcome::Done);
  EXPECT_FALSE(connection->ModemDialogueActive());
  EXPECT_EQ(view.statuses.back(), "Завершено успешно");
}

// The window repaints during the setup, so Stop can be clicked meanwhile:
// it must not pull the port from under the setup.
TEST_F(RemoteSetupOnConnectionTest, StopWaitsForTheSetup) {
  Settings s;
  s.port_name = "ttyS0";
  ASSERT_TRUE(connection->Start(s));
  struct ClickingView : RecordingView {
    Connection* connection = nullptr;
    int refused = 0;
    void ProcessPendingEvents() override { refused += connection->Stop() ? 0 : 1; }
  } clicking;
  clicking.connection = connection.get();
  RemoteModemSetup setup;
  EXPECT_EQ(setup.Apply(*connection, clicking), RemoteSetupOutcome::Done);
  EXPECT_EQ(clicking.refused, 2);  // at the search and at the commands
  EXPECT_TRUE(connection->Connected());
  EXPECT_TRUE(port.open);
}

}  // namespace
}  // namespace flovir::test
