#include "tools/meter-sim/tcp_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/modbus_frame.h"

namespace flovir::sim {
namespace {

constexpr std::chrono::milliseconds kPollTick{5};
constexpr size_t kMbapHeader = 7;

// The few places where Winsock differs from the BSD sockets.
#ifdef _WIN32
constexpr int kNoSigPipe = 0;
int LastSocketError() {
  return WSAGetLastError();
}
const std::error_category& SocketErrors() {
  return std::system_category();
}
int Poll(pollfd* fds, unsigned long count, int ms) {
  return WSAPoll(fds, count, ms);
}
void CloseSocket(TcpMeterServer::Socket s) {
  closesocket(s);
}
TcpMeterServer::Socket NewSocket(int family) {
  static const int started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) return INVALID_SOCKET;
  return WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
}
TcpMeterServer::Socket Accept(TcpMeterServer::Socket listening) {
  return ::accept(listening, nullptr, nullptr);
}
bool Valid(TcpMeterServer::Socket s) {
  return s != INVALID_SOCKET;
}
#else
constexpr int kNoSigPipe = MSG_NOSIGNAL;
int LastSocketError() {
  return errno;
}
const std::error_category& SocketErrors() {
  return std::generic_category();
}
int Poll(pollfd* fds, unsigned long count, int ms) {
  return ::poll(fds, count, ms);
}
void CloseSocket(TcpMeterServer::Socket s) {
  ::close(s);
}
TcpMeterServer::Socket NewSocket(int family) {
  return ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
TcpMeterServer::Socket Accept(TcpMeterServer::Socket listening) {
  return ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC);
}
bool Valid(TcpMeterServer::Socket s) {
  return s >= 0;
}
#endif

[[noreturn]] void ThrowSystemError(const std::string& what) {
  throw std::system_error(LastSocketError(), SocketErrors(), what);
}

bool IsIpv6(const std::string& address) {
  return address.find(':') != std::string::npos;
}

}  // namespace

// The connection as a line: no pacing (the converter's serial side is not
// simulated), replies go out in one piece unless a fault splits them.
class TcpMeterServer::SocketLine : public Line {
 public:
  SocketLine(TcpMeterServer& server, Socket socket) : server_(server), socket_(socket) {}

  LineFormat Format() const override { return {}; }
  std::chrono::nanoseconds CharacterTime() const override { return {}; }
  void Send(std::span<const uint8_t> bytes) override {
    sent = true;
    while (!bytes.empty() && !closed) {
      const int length = static_cast<int>(std::min<size_t>(bytes.size(), 1 << 20));
      const long sent =
          ::send(socket_, reinterpret_cast<const char*>(bytes.data()), length, kNoSigPipe);
      if (sent < 0 && LastSocketError() == EINTR) continue;
      if (sent <= 0) {
        closed = true;
        return;
      }
      bytes = bytes.subspan(static_cast<size_t>(sent));
    }
  }
  // One whole reply has gone: the moment a planned drop happens.
  void ReplySent() {
    sent = false;
    if (server_.options_.drop_after > 0 && !server_.dropped_ &&
        ++server_.replies_ >= server_.options_.drop_after) {
      server_.dropped_ = true;
      closed = true;
    }
  }
  void Wait(std::chrono::nanoseconds duration) override {
    std::unique_lock lock(server_.stop_mutex_);
    server_.stop_cv_.wait_for(lock, duration, [this] { return server_.stopping_.load(); });
  }
  bool Stopping() const override { return server_.stopping_; }

  bool closed = false;
  bool sent = false;  // bytes went out since the last ReplySent

 private:
  TcpMeterServer& server_;
  Socket socket_;
};

TcpMeterServer::TcpMeterServer(SimulatedMeter& meter, TcpServerOptions options)
    : meter_(meter), options_(std::move(options)) {
  const bool v6 = IsIpv6(options_.address);
  sockaddr_storage address{};
  socklen_t length = 0;
  bool valid;
  if (v6) {
    auto& a = reinterpret_cast<sockaddr_in6&>(address);
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(options_.port);
    valid = inet_pton(AF_INET6, options_.address.c_str(), &a.sin6_addr) == 1;
    length = sizeof a;
  } else {
    auto& a = reinterpret_cast<sockaddr_in&>(address);
    a.sin_family = AF_INET;
    a.sin_port = htons(options_.port);
    valid = inet_pton(AF_INET, options_.address.c_str(), &a.sin_addr) == 1;
    length = sizeof a;
  }
  if (!valid) {
    throw std::system_error(std::make_error_code(std::errc::invalid_argument),
                            "not an address: " + options_.address);
  }
  listen_fd_ = NewSocket(v6 ? AF_INET6 : AF_INET);
  if (!Valid(listen_fd_)) ThrowSystemError("cannot make a socket");
  const int on = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listen_fd_, 4) != 0) {
    const std::system_error error(
        LastSocketError(), SocketErrors(),
        "cannot listen on " + options_.address + " port " + std::to_string(options_.port));
    CloseSocket(listen_fd_);
    throw error;
  }
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                   : reinterpret_cast<sockaddr_in&>(address).sin_port);
  thread_ = std::thread([this] { Run(); });
}

TcpMeterServer::~TcpMeterServer() {
  Stop();
}

std::string TcpMeterServer::HostPort() const {
  const std::string host =
      IsIpv6(options_.address) ? "[" + options_.address + "]" : options_.address;
  return host + ":" + std::to_string(port_);
}

void TcpMeterServer::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(stop_mutex_);
    stopping_ = true;
  }
  stop_cv_.notify_all();
  thread_.join();
  CloseSocket(listen_fd_);
}

void TcpMeterServer::Run() {
  while (!stopping_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (Poll(&p, 1, static_cast<int>(kPollTick.count())) <= 0) continue;
    const Socket client = Accept(listen_fd_);
    if (!Valid(client)) continue;
    Serve(client);
    CloseSocket(client);
  }
}

// Serves one connection until the master closes it, a planned drop, a new
// connection or Stop.
void TcpMeterServer::Serve(Socket client) {
  const int on = 1;
  setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  SocketLine line(*this, client);
  MeterLineDevice rtu(meter_, options_.turnaround);
  std::vector<uint8_t> pending;  // Modbus TCP: bytes of frames not yet whole

  // A gateway: the PDU of each MBAP frame goes to the meter as an RTU frame,
  // and the meter's reply comes back in an MBAP frame of the same
  // transaction. A reply the gateway would find broken is not passed on.
  const auto answer_mbap = [&] {
    while (pending.size() >= kMbapHeader) {
      const size_t length = BigEndianWord(&pending[4]);
      if (BigEndianWord(&pending[2]) != 0 || length < 2 || length > 254) {
        line.closed = true;  // no Modbus TCP peer: hang up
        return;
      }
      if (pending.size() < 6 + length) return;
      std::vector<uint8_t> request(pending.begin() + 6, pending.begin() + 6 + length);
      const uint8_t transaction[2] = {pending[0], pending[1]};
      pending.erase(pending.begin(), pending.begin() + 6 + static_cast<long>(length));
      AppendCrc(request);
      Reply reply = meter_.Answer(request.data(), request.size());
      std::vector<uint8_t>& bytes = reply.bytes;
      bytes.erase(bytes.begin(),
                  std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; }));
      while (bytes.size() > 5 && bytes.back() == 0 && !HasValidCrc(bytes.data(), bytes.size())) {
        bytes.pop_back();
      }
      if (bytes.size() < 4 || !HasValidCrc(bytes.data(), bytes.size())) continue;
      line.Wait(options_.turnaround + reply.delay);
      const size_t pdu = bytes.size() - 2;
      std::vector<uint8_t> frame = {transaction[0],
                                    transaction[1],
                                    0,
                                    0,
                                    static_cast<uint8_t>(pdu >> 8),
                                    static_cast<uint8_t>(pdu & 0xFF)};
      frame.insert(frame.end(), bytes.begin(), bytes.end() - 2);
      line.Send(frame);
      line.ReplySent();
      if (line.closed) return;
    }
  };

  uint8_t buffer[512];
  while (!stopping_ && !line.closed) {
    pollfd fds[2] = {{client, POLLIN, 0}, {listen_fd_, POLLIN, 0}};
    const int ready = Poll(fds, 2, static_cast<int>(kPollTick.count()));
    if (ready > 0 && fds[1].revents) return;  // a new connection replaces this one
    if (ready > 0 && fds[0].revents) {
      const long count = ::recv(client, reinterpret_cast<char*>(buffer), sizeof buffer, 0);
      if (count <= 0) return;  // the master closed the connection
      const std::span<const uint8_t> bytes(buffer, static_cast<size_t>(count));
      if (options_.framing == TcpFraming::kRtu) {
        rtu.Received(bytes, line);
        if (line.sent) line.ReplySent();
      } else {
        pending.insert(pending.end(), bytes.begin(), bytes.end());
        answer_mbap();
      }
      continue;
    }
    if (options_.framing == TcpFraming::kRtu) {
      rtu.Tick(line);
      if (line.sent) line.ReplySent();
    }
  }
}

}  // namespace flovir::sim
