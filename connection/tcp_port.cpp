#include "connection/tcp_port.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "operations/settings.h"

namespace flovir {

namespace {

// A connection attempt to one address; the socket when it is up, -1 with
// errno set when it failed or the deadline passed.
int ConnectOne(const addrinfo& address, const Deadline& deadline) {
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address.ai_protocol);
  if (fd < 0) return -1;
  int error = 0;
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    error = errno;
    if (error == EINPROGRESS) {
      pollfd p = {fd, POLLOUT, 0};
      int ready;
      while ((ready = poll(&p, 1, deadline.RemainingMs())) < 0 && errno == EINTR) {
      }
      socklen_t length = sizeof error;
      if (ready == 0) {
        error = ETIMEDOUT;
      } else if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
      }
    }
  }
  if (error != 0) {
    ::close(fd);
    errno = error;
    return -1;
  }
  // Frames are small and the meter waits for each: send them at once.
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

}  // namespace

TcpPort::~TcpPort() {
  Close();
}

bool TcpPort::Open(const std::string& host_port, uint32_t timeout_ms) {
  Close();
  std::string host, service;
  if (!SplitHostPort(host_port, host, service)) {
    return Fail("\"" + host_port + "\" is not HOST:PORT", -1);
  }
  const Deadline deadline = Deadline::After(timeout_ms);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int error = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); error != 0) {
    return error == EAI_SYSTEM ? Fail(errno, -1) : Fail(std::string(gai_strerror(error)), -1);
  }
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
  int error = EHOSTUNREACH;
  for (const addrinfo* a = found; a && !deadline.Passed(); a = a->ai_next) {
    const int fd = ConnectOne(*a, deadline);
    if (fd >= 0) return Adopt(fd, host_port);
    error = errno;
  }
  return Fail(deadline.Passed() ? ETIMEDOUT : error, -1);
}

bool TcpPort::SetLineSettings(const LineSettings& settings) {
  if (!IsOpen()) return false;
  line_ = settings;
  return true;
}

void TcpPort::Purge() {
  Use use(*this);
  uint8_t sink[512];
  while (use && ::recv(use.handle, sink, sizeof sink, MSG_DONTWAIT) > 0) {
  }
}

long TcpPort::WriteSome(int fd, const uint8_t* data, size_t count) {
  return ::send(fd, data, count, MSG_NOSIGNAL);
}

}  // namespace flovir
