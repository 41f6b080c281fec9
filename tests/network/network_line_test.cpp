// The network line: connecting, the timeouts on the socket, the faults of a
// network, and the link's two framings over it against the simulated meter.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/times.h>
#include <unistd.h>

#include <chrono>

#include "connection/connection.h"
#include "link/mbap.h"
#include "tests/link/link_fixture.h"
#include "tools/meter-sim/tcp_server.h"

namespace flovir::test {
namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A loopback listener that never accepts; `backlog_full` also fills its
// queue, so that a further connection hangs in the handshake.
class Listener {
 public:
  explicit Listener(bool backlog_full = false) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    bind(fd_, reinterpret_cast<sockaddr*>(&a), length);
    listen(fd_, 0);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    for (int i = 0; backlog_full && i < 3; ++i) {
      const int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      connect(c, reinterpret_cast<sockaddr*>(&a), length);
      fillers_.push_back(c);
    }
  }
  ~Listener() {
    for (int c : fillers_) close(c);
    if (fd_ >= 0) close(fd_);
  }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  int Accept() { return accept(fd_, nullptr, nullptr); }
  void Close() {
    close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::vector<int> fillers_;
};

TEST(HostPort, TheFormsOfAnAddressAndTheFieldsStatus) {
  struct Case {
    const char* text;
    bool valid;
    const char* host;
  };
  for (const Case& c :
       {Case{"127.0.0.1:502", true, "127.0.0.1"}, Case{"[::1]:10001", true, "::1"},
        Case{"meter-7.example:65535", true, "meter-7.example"}, Case{"::1:502", false, ""},
        Case{"host", false, ""}, Case{"host:0", false, ""}, Case{"host:65536", false, ""},
        Case{":502", false, ""}, Case{"host:50x", false, ""}, Case{"[]:502", false, ""}}) {
    std::string host, port;
    EXPECT_EQ(SplitHostPort(c.text, host, port), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(host, c.host) << c.text;
    }
  }
  SettingsFields fields;
  fields.type = ConnectionType::TcpIp;
  fields.host = "meter:0";
  EXPECT_EQ(ParseSettings(fields).error,
            "Поле \"адрес:порт\": \"meter:0\" не является адресом вида узел:порт (порт от 1 "
            "до 65535)");
  fields.type = ConnectionType::Direct;
  EXPECT_TRUE(ParseSettings(fields).settings) << "no address needed on a serial line";
}

TEST(NetworkPort, ConnectsByIpv4Ipv6AndName) {
  sim::SimulatedMeter meter;
  sim::TcpMeterServer v4(meter);
  TcpPort port;
  EXPECT_TRUE(port.Open(v4.HostPort(), 5000)) << port.LastError();
  // "localhost" may name ::1 first, where nobody listens: the next address
  // is tried within the same time.
  EXPECT_TRUE(port.Open("localhost:" + std::to_string(v4.Port()), 5000)) << port.LastError();
  try {
    sim::TcpMeterServer v6(meter, {.address = "::1"});
    EXPECT_TRUE(port.Open(v6.HostPort(), 5000)) << port.LastError();
  } catch (const std::system_error&) {
    GTEST_SKIP() << "no IPv6 loopback on this machine";
  }
}

TEST(NetworkPort, RefusedUnknownAndSilentHostsFailPlainlyWithinTheTimeout) {
  TcpPort port;
  Listener closed;
  closed.Close();
  EXPECT_FALSE(port.Open(closed.HostPort(), 5000));
  EXPECT_EQ(port.LastError(), "Connection refused");
  EXPECT_FALSE(port.Open("no-such-host.invalid:502", 5000));
  EXPECT_FALSE(port.LastError().empty());
  EXPECT_FALSE(port.Open("127.0.0.1", 5000));
  EXPECT_EQ(port.LastError(), "\"127.0.0.1\" is not HOST:PORT");

  Listener hanging(/*backlog_full=*/true);
  const auto start = Clock::now();
  EXPECT_FALSE(port.Open(hanging.HostPort(), 300));
  EXPECT_GE(MsSince(start), 290);
  EXPECT_LT(MsSince(start), 10000);
  EXPECT_EQ(port.LastError(), "Connection timed out");
  EXPECT_FALSE(port.IsOpen());
}

// The timeouts keep their meaning on the socket; purge drops what arrived;
// a connection the peer has closed reads nothing, waiting out the timeout
// instead of spinning.
TEST(NetworkPort, TimeoutsPurgeAndAClosedConnection) {
  Listener listener;
  TcpPort port;
  ASSERT_TRUE(port.Open(listener.HostPort(), 5000));
  const int peer = listener.Accept();
  ASSERT_GE(peer, 0);
  port.SetTimeouts({50, 0, 200, 0, 0});
  uint8_t buffer[16];

  auto start = Clock::now();
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u) << "a silent peer";
  EXPECT_GE(MsSince(start), 190);

  ASSERT_EQ(send(peer, "\x01\x02\x03", 3, 0), 3);
  EXPECT_EQ(port.Read(buffer, 1), 1u);  // the loopback hands over the whole send at once
  port.Purge();
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u) << "purged";

  const uint8_t frame[] = {0x01, 0x03, 0x00};
  EXPECT_EQ(port.Write(frame, 3), 3u);
  EXPECT_EQ(recv(peer, buffer, sizeof buffer, 0), 3);
  ASSERT_EQ(send(peer, "\x07\x08", 2, 0), 2);
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 2u);

  close(peer);
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u) << "finds the connection closed at once";
  EXPECT_TRUE(port.Lost());
  EXPECT_EQ(port.Name(), listener.HostPort());
  tms before{};
  times(&before);
  start = Clock::now();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
  EXPECT_GE(MsSince(start), 3 * 190) << "each later read waits out its timeout";
  tms after{};
  times(&after);
  EXPECT_LT(after.tms_utime + after.tms_stime - before.tms_utime - before.tms_stime,
            sysconf(_SC_CLK_TCK) / 5)
      << "no busy waiting";
  EXPECT_EQ(port.Write(frame, 3), 0u);
}

TEST(Mbap, TheReplyOfTheTransactionIsFoundAndOthersAreSkipped) {
  using Bytes = std::vector<uint8_t>;
  const Bytes reply7 = {0x00, 0x07, 0x00, 0x00, 0x00, 0x05, 0x01, 0x03, 0x02, 0x12, 0x34};
  const Bytes reply6 = {0x00, 0x06, 0x00, 0x00, 0x00, 0x05, 0x01, 0x03, 0x02, 0xAB, 0xCD};
  const Bytes exception7 = {0x00, 0x07, 0x00, 0x00, 0x00, 0x03, 0x01, 0x83, 0x02};
  const Bytes not_mbap = {0x01, 0x03, 0x02, 0x12, 0x34, 0xB5, 0x33, 0x00, 0x00};
  const auto join = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    const char* what;
    Bytes wire;
    Bytes rtu;  // without the CRC; empty for none
    bool malformed;
  };
  for (const Case& c : {
           Case{"the reply", reply7, {0x01, 0x03, 0x02, 0x12, 0x34}, false},
           Case{"a stale reply first", join(reply6, reply7), {0x01, 0x03, 0x02, 0x12, 0x34}, false},
           Case{"another transaction only", reply6, {}, false},
           Case{"half a reply", Bytes(reply7.begin(), reply7.end() - 1), {}, false},
           Case{"an exception", exception7, {0x01, 0x83, 0x02}, false},
           Case{"RTU bytes", not_mbap, {}, true},
       }) {
    uint8_t rtu[256] = {};
    const MbapReply found = RtuFromMbap(c.wire.data(), c.wire.size(), 7, rtu);
    EXPECT_EQ(found.malformed, c.malformed) << c.what;
    EXPECT_EQ(HasMbapReply(c.wire.data(), c.wire.size(), 7), !c.rtu.empty()) << c.what;
    if (c.rtu.empty()) {
      EXPECT_EQ(found.rtu_length, 0u) << c.what;
      continue;
    }
    ASSERT_EQ(found.rtu_length, c.rtu.size() + 2) << c.what;
    EXPECT_EQ(Bytes(rtu, rtu + c.rtu.size()), c.rtu) << c.what;
    EXPECT_EQ(rtu[c.rtu.size()] | rtu[c.rtu.size() + 1] << 8, ModbusCrc(rtu, c.rtu.size()));
  }
}

class BothFramings : public testing::TestWithParam<WireFraming> {
 protected:
  sim::TcpFraming SimFraming() const {
    return GetParam() == WireFraming::Rtu ? sim::TcpFraming::kRtu : sim::TcpFraming::kModbusTcp;
  }
};

// The parameter block written and read back at the largest chunks, and an
// exception reply with its text, over each framing.
TEST_P(BothFramings, TheParameterBlockRoundTripAndAnException) {
  sim::SimulatedMeter meter;
  sim::TcpMeterServer server(meter, {.framing = SimFraming()});
  NetLink link(server.HostPort(), GetParam());
  std::vector<uint8_t> data(1024);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + 5);
  ASSERT_EQ(link.Run(16, 400, 512, data.data(), 123), ExchangeStatus::Success);
  std::vector<uint8_t> back(1024);
  ASSERT_EQ(link.Run(3, 400, 512, back.data(), 125), ExchangeStatus::Success);
  EXPECT_EQ(back, data);
  EXPECT_EQ(meter.ParameterRegisters()[0], 5 | (18 << 8));

  EXPECT_EQ(link.Run(3, 100, 10, back.data(), 64, 1), ExchangeStatus::IllegalDataAddress);
  meter.SetFaults({{.kind = sim::FaultKind::kException, .count = 4}});
  EXPECT_EQ(link.Run(3, 0, 10, back.data(), 64, 1), ExchangeStatus::SlaveDeviceFailure);
}

// The connection drops after three replies, in the middle of a read of
// five frames: the frames done stay, and the request ends at once with the
// lost line named instead of waiting out its tries.
TEST_P(BothFramings, APeerThatClosesTheConnectionEndsTheRequestAtOnce) {
  sim::SimulatedMeter meter;
  sim::TcpMeterServer server(meter, {.framing = SimFraming(), .drop_after = 3});
  NetLink link(server.HostPort(), GetParam(), 10000);
  std::vector<uint8_t> data(2 * 50, 0xEE);
  const auto start = Clock::now();
  EXPECT_EQ(link.Run(3, 400, 50, data.data(), 10, 3), ExchangeStatus::PortLost);
  EXPECT_LT(MsSince(start), 9000);
  EXPECT_EQ(LostPortText(link.thread().PortName()),
            "Порт " + server.HostPort() + " потерян: устройство отключено или закрыто");
  EXPECT_EQ(link.request().DataCursor, data.data() + 60);
  const auto held = meter.ParameterRegisters();
  EXPECT_EQ(data[58] | data[59] << 8, held[29]);
  EXPECT_EQ(data[60], 0xEE);
}

// A converter whose network stalls: two replies of a read of eight frames
// of one size come 1.5 answer timeouts late. The block read is the meter's,
// never shifted by a frame.
TEST_P(BothFramings, LateRepliesNeverShiftTheParameterBlock) {
  sim::SimulatedMeter meter;
  sim::TcpMeterServer server(
      meter, {.framing = SimFraming(), .turnaround = std::chrono::milliseconds(20)});
  NetLink link(server.HostPort(), GetParam(), 300);
  meter.SetFaults({{.kind = sim::FaultKind::kDelay,
                    .every = 3,
                    .limit = 2,
                    .duration = std::chrono::milliseconds(450)}});
  std::vector<uint8_t> data(1024, 0xEE);
  ASSERT_EQ(link.Run(3, 400, 512, data.data(), 64), ExchangeStatus::Success);
  const auto held = meter.ParameterRegisters();
  for (size_t r = 0; r < held.size(); ++r) {
    ASSERT_EQ(data[2 * r] | data[2 * r + 1] << 8, held[r]) << "register " << 400 + r;
  }
}

INSTANTIATE_TEST_SUITE_P(Network, BothFramings,
                         testing::Values(WireFraming::Rtu, WireFraming::ModbusTcp),
                         [](const auto& info) {
                           return info.param == WireFraming::Rtu ? "RtuOverTcp" : "ModbusTcp";
                         });

// The gateway answers the first try after the master has given up on it:
// the second try sees that stale reply first, skips it, and takes its own.
TEST(ModbusTcp, AStaleReplyOfAnEarlierTryIsSkipped) {
  sim::SimulatedMeter meter;
  sim::TcpMeterServer server(meter, {.framing = sim::TcpFraming::kModbusTcp});
  meter.SetFaults(
      {{.kind = sim::FaultKind::kDelay, .limit = 1, .duration = std::chrono::milliseconds(3000)}});
  NetLink link(server.HostPort(), WireFraming::ModbusTcp, 2000);
  std::vector<uint8_t> data(2 * 4);
  ASSERT_EQ(link.Run(3, 400, 4, data.data(), 64, 2), ExchangeStatus::Success);
  const auto lines = link.TraceLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "in:  (0 байт)");
  EXPECT_TRUE(lines[2].starts_with("out: 0x00 0x02 ")) << lines[2];
  EXPECT_TRUE(lines[3].starts_with("in:  0x00 0x01 0x00 0x00 0x00 0x0B 0x01 0x03 0x08 "))
      << lines[3];
  EXPECT_TRUE(lines[3].ends_with("(34 байт)")) << lines[3];
  EXPECT_EQ(data[0] | data[1] << 8, meter.ParameterRegisters()[0]);
}

// Start and Stop of a "TCP/IP" connection as the window runs them.
class StatusView : public View {
 public:
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void EnableOperationButtons(bool, bool) override {}
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
  void SetReport(ReportKind, const std::vector<std::string>&) override {}
  void AppendTestLine(const std::string&) override {}
  void ProcessPendingEvents() override {}
  std::vector<std::string> statuses;
};

TEST(NetworkConnection, StartRunsRequestsInTheChosenFramingAndStopCloses) {
  sim::SimulatedMeter meter;
  sim::TcpMeterServer gateway(meter, {.framing = sim::TcpFraming::kModbusTcp});
  StatusView view;
  SerialPortProvider ports;
  ExchangeRequest request;
  QueueExecutor executor;
  MemoryTrace trace;
  bool done = false;
  Connection* connected = nullptr;
  LinkParts link;
  link.request = &request;
  link.executor = &executor;
  link.trace = &trace;
  link.exchange_completed = [&] {
    connected->Thread()->Sleep();
    done = true;
  };
  Connection connection(view, ports, link);
  connected = &connection;
  Settings settings;
  settings.type = ConnectionType::TcpIp;
  settings.host = gateway.HostPort();
  settings.framing = WireFraming::ModbusTcp;
  ASSERT_TRUE(connection.Start(settings));
  EXPECT_EQ(view.statuses.back(), "Подключено к " + gateway.HostPort());

  uint8_t data[4] = {};
  request.SlaveAddress = 1;
  request.FunctionCode = 3;
  request.StartRegister = 400;
  request.RegisterCount = 2;
  request.ChunkSize = 64;
  request.Attempts = 1;
  request.DataCursor = data;
  connection.Thread()->Wake();
  ASSERT_TRUE(executor.RunUntil([&] { return done; }, kWaitMs));
  EXPECT_EQ(request.Status, ExchangeStatus::Success);
  EXPECT_TRUE(trace.Lines()[0].starts_with("out: 0x00 0x01 0x00 0x00 0x00 0x06 0x01 0x03"));
  EXPECT_EQ(data[0] | data[1] << 8, meter.ParameterRegisters()[0]);

  EXPECT_TRUE(connection.Stop());
  EXPECT_EQ(view.statuses.back(), "Порт закрыт");
  gateway.Stop();
  EXPECT_FALSE(connection.Start(settings));
  EXPECT_EQ(view.statuses.back(),
            "Не удалось подключиться к " + gateway.HostPort() + ": Connection refused");
  EXPECT_FALSE(connection.Connected());
}

}  // namespace
}  // namespace flovir::test
