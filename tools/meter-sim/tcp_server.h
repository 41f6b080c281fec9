#pragma once
// The simulated meter on the network, as a converter or gateway in front of
// it would show it: RTU over TCP (a transparent converter passes the RTU
// frames, CRC included) or Modbus TCP (a gateway takes MBAP frames). One
// connection is served at a time; a new one takes the place of the last.
//
//   flovir::sim::SimulatedMeter meter;
//   flovir::sim::TcpMeterServer server(meter, {.framing = TcpFraming::kModbusTcp});
//   Connect(server.HostPort());  // "127.0.0.1:40123"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "tools/meter-sim/simulated_meter.h"

namespace flovir::sim {

enum class TcpFraming : uint8_t { kRtu, kModbusTcp };

struct TcpServerOptions {
  TcpFraming framing = TcpFraming::kRtu;
  // The address to listen on; only the loopback in tests.
  std::string address = "127.0.0.1";
  uint16_t port = 0;  // 0: a free port, see Port()
  // Time from a request to its reply.
  std::chrono::milliseconds turnaround{5};
  // Non-zero: once, right after this many replies, the server closes the
  // connection, as a converter that loses its network does.
  unsigned drop_after = 0;
};

class TcpMeterServer {
 public:
#ifdef _WIN32
  using Socket = uintptr_t;  // SOCKET
#else
  using Socket = int;
#endif

  // Throws std::system_error when the address cannot be listened on.
  explicit TcpMeterServer(SimulatedMeter& meter, TcpServerOptions options = {});
  ~TcpMeterServer();
  TcpMeterServer(const TcpMeterServer&) = delete;
  TcpMeterServer& operator=(const TcpMeterServer&) = delete;

  uint16_t Port() const {
    return port_;
  }
  // HOST:PORT to connect to; an IPv6 address in brackets.
  std::string HostPort() const;
  // Ends the thread and closes every socket. Idempotent.
  void Stop();

 private:
  class SocketLine;

  void Run();
  void Serve(Socket client);

  SimulatedMeter& meter_;
  TcpServerOptions options_;
  Socket listen_fd_{};
  uint16_t port_ = 0;
  unsigned replies_ = 0;  // line thread only
  bool dropped_ = false;  // line thread only
  std::mutex stop_mutex_;
  std::condition_variable stop_cv_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace flovir::sim
