// The simulated Hayes modem on its own: what it hears, how it answers, and
// when it leaves data mode.

#include "tools/meter-sim/hayes_modem.h"

#include <gtest/gtest.h>

#include "connection/modem_command.h"
#include "tests/modem/virtual_line.h"

namespace flovir::test {
namespace {

class HayesModemTest : public ::testing::Test {
 protected:
  HayesModemTest() { port.SetTimeouts({20, 0, 500, 0, 0}); }
  sim::HayesModemOptions ModemOptions() {
    sim::HayesModemOptions o;
    o.clock = [this] { return clock.now; };
    o.echo = false;
    o.guard = 1000ms;
    return o;
  }
  std::string Command(const std::string& text) { return ModemCommand(port, text); }
  void Connect() {
    ASSERT_EQ(Command("ATD 1\r"), "\r\nCONNECT 9600\r\n");
    ASSERT_TRUE(modem.DataMode());
  }
  void Pass(std::chrono::milliseconds d) { clock.now += d; }
  std::string ReadAll() {
    uint8_t buffer[100];
    return std::string(reinterpret_cast<char*>(buffer), port.Read(buffer, sizeof buffer));
  }

  VirtualClock clock;
  RecordingDevice meter;
  sim::HayesModem modem{meter, ModemOptions()};
  VirtualPort port{modem, clock, Format(9600)};
};

TEST_F(HayesModemTest, AnswersFramedResultsAndInformation) {
  EXPECT_EQ(Command("AT\r"), "\r\nOK\r\n");
  EXPECT_EQ(Command("AT+CGMI\r"), "\r\nSIMCOM_Ltd\r\n\r\nOK\r\n");
  EXPECT_EQ(Command("AT+CPIN?\r"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
  EXPECT_EQ(Command("AT+CREG?\r"), "\r\n+CREG: 0,1\r\n\r\nOK\r\n");
  EXPECT_EQ(Command("AT+COPS?\r"), "\r\n+COPS: 0,0,\"MTS RUS\"\r\n\r\nOK\r\n");
  EXPECT_EQ(Command("ATW7\r"), "\r\nERROR\r\n");
  EXPECT_EQ(Command("AT+XYZ\r"), "\r\nERROR\r\n");
  EXPECT_EQ(Command("at&fe0v1\r"), "\r\nOK\r\n");
  EXPECT_EQ(Command("AT&F\r"), "\r\nOK\r\n");
  EXPECT_EQ(Command("AT\r"), "AT\r\r\nOK\r\n") << "AT&F brings the factory echo back";
}

TEST_F(HayesModemTest, EchoesWhatIsTypedWhenEchoIsOn) {
  EXPECT_EQ(Command("ATE1\r"), "\r\nOK\r\n");
  EXPECT_EQ(Command("ATS0=1\r"), "ATS0=1\r\r\nOK\r\n");
  EXPECT_EQ(Command("ATE0\r"), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(Command("AT\r"), "\r\nOK\r\n");
}

TEST_F(HayesModemTest, HearsNothingAtAnotherFormat) {
  port.SetLineSettings(Format(19200));
  EXPECT_EQ(Command("AT\r"), "");
  port.SetLineSettings(Format(9600, Parity::Odd));
  EXPECT_EQ(Command("AT\r"), "");
  port.SetLineSettings(Format(9600, Parity::None, StopBits::Two));
  EXPECT_EQ(Command("AT\r"), "");
  // Even parity looks like none on a pseudo-terminal.
  port.SetLineSettings(Format(9600, Parity::Even));
  EXPECT_EQ(Command("AT\r"), "\r\nOK\r\n");
}

TEST_F(HayesModemTest, NoiseBeforeTheCommandIsIgnored) {
  EXPECT_EQ(Command("+++AT\r"), "\r\nOK\r\n");
}

TEST_F(HayesModemTest, FormatAndSpeedChangeAfterTheirOk) {
  EXPECT_EQ(Command("AT+ICF=2,0\r"), "\r\nOK\r\n");
  EXPECT_EQ(Command("AT\r"), "");
  port.SetLineSettings(Format(9600, Parity::Odd));
  EXPECT_EQ(Command("AT+IPR=57600\r"), "\r\nOK\r\n");
  port.SetLineSettings(Format(57600, Parity::Odd));
  EXPECT_EQ(Command("AT+ICF=1,0\r"), "\r\nOK\r\n");
  port.SetLineSettings(Format(57600, Parity::None, StopBits::Two));
  EXPECT_EQ(Command("AT\r"), "\r\nOK\r\n");
  EXPECT_EQ(Command("AT+IPR=1234\r"), "\r\nERROR\r\n");
  EXPECT_EQ(Command("AT+ICF=4\r"), "\r\nERROR\r\n");
}

TEST_F(HayesModemTest, AnyCommandCanBeMadeToFail) {
  modem.Configure([](auto& o) { o.failing = {"AT&W", "AT+CGMM"}; });
  EXPECT_EQ(Command("AT&W\r"), "\r\nERROR\r\n");
  EXPECT_EQ(Command("AT+CGMM\r"), "\r\nERROR\r\n");
  EXPECT_EQ(Command("AT&W0\r"), "\r\nOK\r\n");
}

TEST_F(HayesModemTest, EscapeNeedsSilenceOnBothSides) {
  Connect();
  const std::string data = "\x01\x03";
  port.Write(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  // Too soon after data: the pluses are data too.
  port.Write(reinterpret_cast<const uint8_t*>("+++"), 3);
  Pass(1500ms);
  EXPECT_EQ(ReadAll(), "");
  EXPECT_TRUE(modem.DataMode());
  EXPECT_EQ(meter.Bytes(), "\x01\x03+++");

  Pass(1500ms);
  port.Write(reinterpret_cast<const uint8_t*>("+++"), 3);
  port.SetTimeouts({200, 0, 5000, 0, 0});
  EXPECT_EQ(ReadAll(), "\r\nOK\r\n");  // once the guard after it has passed
  EXPECT_FALSE(modem.DataMode());
  EXPECT_TRUE(modem.InCall());
  EXPECT_EQ(meter.Bytes(), "\x01\x03+++");
  EXPECT_EQ(Command("ATH0\r"), "\r\nOK\r\n");
  EXPECT_FALSE(modem.InCall());
}

TEST_F(HayesModemTest, PlusesFollowedByDataAreData) {
  Connect();
  Pass(1500ms);
  port.Write(reinterpret_cast<const uint8_t*>("++"), 2);
  port.Write(reinterpret_cast<const uint8_t*>("x"), 1);
  Pass(1500ms);
  EXPECT_EQ(ReadAll(), "");
  EXPECT_EQ(meter.Bytes(), "++x");
  EXPECT_TRUE(modem.DataMode());
}

}  // namespace
}  // namespace flovir::test

namespace flovir::test {
namespace {

TEST(ModemOptions, ShapeTheModemAndRejectBadValues) {
  sim::ModemArguments args;
  std::string error;
  EXPECT_FALSE(sim::ParseModemOption("--address", "1", args, error));
  EXPECT_TRUE(sim::ParseModemOption("--modem", "gsm", args, error));
  EXPECT_TRUE(sim::ParseModemOption("--dial", "busy", args, error));
  EXPECT_TRUE(sim::ParseModemOption("--modem-speed", "57600", args, error));
  EXPECT_TRUE(sim::ParseModemOption("--modem-creg", "5", args, error));
  EXPECT_TRUE(sim::ParseModemOption("--modem-fail", "at&w", args, error));
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_TRUE(args.enabled);
  EXPECT_EQ(args.options.dial, sim::DialOutcome::kBusy);
  EXPECT_EQ(args.options.format.baud, 57600u);
  EXPECT_EQ(args.options.registration, 5);
  EXPECT_EQ(args.options.failing, std::set<std::string>{"AT&W"});

  for (auto [option, value] : {std::pair{"--modem", "isdn"}, std::pair{"--dial", "maybe"},
                               std::pair{"--modem-speed", "9601"}, std::pair{"--modem-creg", "6"},
                               std::pair{"--modem-creg", ""}}) {
    error.clear();
    EXPECT_TRUE(sim::ParseModemOption(option, value, args, error));
    EXPECT_FALSE(error.empty()) << option << " " << value;
  }
}

}  // namespace
}  // namespace flovir::test
