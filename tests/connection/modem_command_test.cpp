// The one-shot modem exchange and the clean-up of modem replies.

#include <gtest/gtest.h>

#include "connection/modem_command.h"
#include "connection/serial_port.h"
#include "tests/link/pty_peer.h"

namespace flovir::test {
namespace {

TEST(StripModemReply, RemovesControlBytesAndAFinalOk) {
  std::string reply = "\r\nOK\r\n";
  EXPECT_TRUE(StripModemReply(reply));
  EXPECT_EQ(reply, "");

  reply = "ATE0\r\r\nOK\r\n";
  EXPECT_TRUE(StripModemReply(reply));
  EXPECT_EQ(reply, "ATE0");

  reply = "\r\nSIEMENS\r\n\r\nOK\r\n";
  EXPECT_TRUE(StripModemReply(reply));
  EXPECT_EQ(reply, "SIEMENS");

  reply = "\r\nERROR\r\n";
  EXPECT_FALSE(StripModemReply(reply));
  EXPECT_EQ(reply, "ERROR");

  reply = "K";
  EXPECT_FALSE(StripModemReply(reply));
  reply = "";
  EXPECT_FALSE(StripModemReply(reply));

  reply = std::string(
      "A\x10\x1F\x0F"
      "B",
      5);  // 16 to 31 stay
  EXPECT_FALSE(StripModemReply(reply));
  EXPECT_EQ(reply, std::string("A\x10\x1F"
                               "B",
                               4));

  reply = "OK\r\nNO CARRIER";
  EXPECT_FALSE(StripModemReply(reply)) << "only a final OK counts";
}

class ModemLine : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(port.Open(pty.SlavePath()));
    port.SetTimeouts({200, 0, 1000, 0, 0});
  }
  Pty pty;
  SerialPort port;
};

TEST_F(ModemLine, TheReplyIsExactlyTheBytesRead) {
  std::thread modem([&] {
    EXPECT_EQ(pty.Receive(5000), Bytes({'A', 'T', '+', 'C', 'G', 'M', 'I', '\r'}));
    pty.Send({'\r', '\n', 'X', '\0', 'Y', '\r', '\n', 'O', 'K', '\r', '\n'});
  });
  const std::string reply = ModemCommand(port, "AT+CGMI\r");
  modem.join();
  EXPECT_EQ(reply, std::string("\r\nX\0Y\r\nOK\r\n", 11));
  EXPECT_EQ(port.BytesTransferred(), 11u);
}

TEST_F(ModemLine, ASilentModemGivesAnEmptyReply) {
  port.SetTimeouts({20, 0, 100, 0, 0});
  EXPECT_EQ(ModemCommand(port, "AT&FE0\r"), "");
}

TEST_F(ModemLine, LongCommandsAndRepliesAreBounded) {
  const std::string command(400, 'A');
  std::thread modem([&] {
    EXPECT_EQ(pty.Receive(5000).size(), 255u);
    pty.Send(Bytes(150, 'x'));
  });
  EXPECT_EQ(ModemCommand(port, command).size(), 100u);
  modem.join();
}

}  // namespace
}  // namespace flovir::test
