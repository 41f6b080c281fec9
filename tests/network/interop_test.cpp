// Our master against independent servers on the loopback, and independent
// masters against our simulated meter on the network: pymodbus with its RTU
// framer over TCP (a transparent converter), libmodbus speaking Modbus TCP
// (a gateway).

#include <gtest/gtest.h>
#include <modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "tests/link/interop_common.h"
#include "tests/support/programs.h"
#include "tools/meter-sim/tcp_server.h"

namespace flovir::test {
namespace {

constexpr int kBlock = 300;

// A loopback port nobody listens on at this moment.
uint16_t FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  close(fd);
  return ntohs(a.sin_port);
}

// Connects until the server is up (Python takes a moment to start).
std::unique_ptr<NetLink> ConnectWhenUp(const std::string& host_port, WireFraming framing) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    try {
      return std::make_unique<NetLink>(host_port, framing);
    } catch (const std::runtime_error&) {
      if (std::chrono::steady_clock::now() > until) throw;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
}

class PymodbusRtuOverTcpServer : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string script = FLOVIR_SOURCE_DIR "/tests/network/pymodbus_tcp_peer.py";
    const std::string port = std::to_string(FreePort());
    const std::string size = std::to_string(kBlock);
    const char* argv[] = {"/usr/bin/python3", script.c_str(), "server",
                          port.c_str(),       size.c_str(),   nullptr};
    ASSERT_EQ(posix_spawn(&pid_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    link = ConnectWhenUp("127.0.0.1:" + port, WireFraming::Rtu);
  }
  void TearDown() override {
    link.reset();
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  pid_t pid_ = -1;
  std::unique_ptr<NetLink> link;
};

TEST_F(PymodbusRtuOverTcpServer, EveryChunkSizeWritesAndReadsAndExceptionsKeepTheirText) {
  std::vector<uint8_t> data(2 * kBlock);
  ASSERT_EQ(link->Run(3, 0, kBlock, data.data()), ExchangeStatus::Success);
  for (int r = 0; r < kBlock; ++r) ASSERT_EQ(data[2 * r] | data[2 * r + 1] << 8, r * 3 + 1);
  SweepChunkSizes(*link, kBlock);
  ExpectIllegalAddressOutside(*link, kBlock);
}

// A libmodbus Modbus TCP server at unit 1 on its own thread, registers 0-299.
class LibmodbusTcpServer : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = FreePort();
    ctx_ = modbus_new_tcp("127.0.0.1", port_);
    ASSERT_NE(ctx_, nullptr);
    listen_ = modbus_tcp_listen(ctx_, 1);
    ASSERT_GE(listen_, 0) << modbus_strerror(errno);
    map_ = modbus_mapping_new_start_address(0, 0, 0, 0, 0, kBlock, 0, 0);
    for (int r = 0; r < kBlock; ++r) map_->tab_registers[r] = static_cast<uint16_t>(r * 3 + 1);
    thread_ = std::thread([this] { Serve(); });
    link = std::make_unique<NetLink>("127.0.0.1:" + std::to_string(port_), WireFraming::ModbusTcp);
  }
  void TearDown() override {
    link.reset();
    stop_ = true;
    thread_.join();
    close(listen_);
    modbus_mapping_free(map_);
    modbus_free(ctx_);
  }

  std::unique_ptr<NetLink> link;

 private:
  void Serve() {
    pollfd p = {listen_, POLLIN, 0};
    while (!stop_ && poll(&p, 1, 20) <= 0) {
    }
    if (stop_ || modbus_tcp_accept(ctx_, &listen_) < 0) return;
    while (!stop_) {
      pollfd c = {modbus_get_socket(ctx_), POLLIN, 0};
      if (poll(&c, 1, 20) <= 0) continue;
      uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
      const int length = modbus_receive(ctx_, query);
      if (length < 0) break;  // our master closed the connection
      if (length > 0) modbus_reply(ctx_, query, length, map_);
    }
    modbus_close(ctx_);
  }

  uint16_t port_ = 0;
  modbus_t* ctx_ = nullptr;
  int listen_ = -1;
  modbus_mapping_t* map_ = nullptr;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(LibmodbusTcpServer, EveryChunkSizeWritesAndReadsAndExceptionsKeepTheirText) {
  std::vector<uint8_t> data = {0x02, 0x01, 0x04, 0x03, 0x06, 0x05};
  ASSERT_EQ(link->Run(16, 0, 3, data.data()), ExchangeStatus::Success);
  const auto lines = link->TraceLines();
  ASSERT_EQ(lines.size(), 2u);
  // The trace shows the MBAP frames as they went over the wire.
  EXPECT_EQ(lines[0],
            "out: 0x00 0x01 0x00 0x00 0x00 0x0D 0x01 0x10 0x00 0x00 0x00 0x03 0x06 0x01 0x02 "
            "0x03 0x04 0x05 0x06 (19 байт)");
  EXPECT_EQ(lines[1], "in:  0x00 0x01 0x00 0x00 0x00 0x06 0x01 0x10 0x00 0x00 0x00 0x03 (12 байт)");
  SweepChunkSizes(*link, kBlock);
  // Transaction ids count on from the sweep's 2 * (300 + 299 + ...) frames.
  std::vector<uint8_t> none(40);
  link->ClearTrace();
  EXPECT_EQ(link->Run(3, kBlock - 5, 10, none.data(), 64, 1), ExchangeStatus::IllegalDataAddress);
  EXPECT_EQ(StatusText(link->request().Status),
            "Адрес данных указанный в запросе не доступен данному подчиненному");
  EXPECT_TRUE(link->TraceLines()[1].ends_with(" 0x00 0x00 0x00 0x03 0x01 0x83 0x02 (9 байт)"));
  EXPECT_EQ(link->Run(16, kBlock, 2, none.data(), 64, 1), ExchangeStatus::IllegalDataAddress);
}

// libmodbus as a Modbus TCP client, pymodbus as an RTU-over-TCP client, both
// against our simulated meter on the loopback.
TEST(IndependentMastersOnTheNetwork, LibmodbusModbusTcpClient) {
  sim::SimulatedMeter meter;
  sim::TcpMeterServer server(meter, {.framing = sim::TcpFraming::kModbusTcp});
  modbus_t* ctx = modbus_new_tcp("127.0.0.1", server.Port());
  ASSERT_NE(ctx, nullptr);
  modbus_set_slave(ctx, 1);
  modbus_set_response_timeout(ctx, 5, 0);
  ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
  uint16_t values[125];
  EXPECT_EQ(modbus_read_registers(ctx, 400, 125, values), 125) << modbus_strerror(errno);
  const auto held = meter.ParameterRegisters();
  EXPECT_TRUE(std::equal(values, values + 125, held.begin()));
  for (int i = 0; i < 100; ++i) values[i] = static_cast<uint16_t>(i * 11 + 3);
  ASSERT_EQ(modbus_write_registers(ctx, 500, 100, values), 100) << modbus_strerror(errno);
  EXPECT_EQ(meter.ParameterRegisters()[100], 3);
  EXPECT_EQ(meter.ParameterRegisters()[199], 99 * 11 + 3);
  EXPECT_EQ(modbus_read_registers(ctx, 100, 10, values), -1);
  EXPECT_EQ(errno, EMBXILADD);
  modbus_close(ctx);
  modbus_free(ctx);
}

TEST(IndependentMastersOnTheNetwork, PymodbusRtuOverTcpClient) {
  sim::SimulatedMeter meter;
  sim::TcpMeterServer server(meter, {.framing = sim::TcpFraming::kRtu});
  EXPECT_EQ(flovir::testing::RunShell(flovir::testing::kPython +
                                      " " FLOVIR_SOURCE_DIR
                                      "/tests/network/pymodbus_tcp_peer.py client 127.0.0.1 " +
                                      std::to_string(server.Port())),
            0);
}

}  // namespace
}  // namespace flovir::test
