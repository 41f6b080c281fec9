// The network line on Windows: a Winsock connection whose socket is read
// and written as an overlapped handle, like the comm port.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>

#include "connection/tcp_port.h"
#include "operations/settings.h"
#include "workbook/platform_files.h"

namespace flovir {

namespace {

// Winsock is started once for the program and left to the system at exit.
int StartWinsock() {
  static const int error = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return error;
}

// A connection attempt to one address within the deadline; the socket when
// it is up, INVALID_SOCKET with the reason in error otherwise.
SOCKET ConnectOne(const ADDRINFOW& address, const Deadline& deadline, int& error) {
  const SOCKET s = WSASocketW(address.ai_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                              WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    error = WSAGetLastError();
    return s;
  }
  u_long non_blocking = 1;
  ioctlsocket(s, FIONBIO, &non_blocking);
  error = 0;
  if (connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
    error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(s, &writable);
      FD_SET(s, &failed);
      const int ms = deadline.RemainingMs();
      timeval limit{ms / 1000, (ms % 1000) * 1000};
      const int ready = select(0, nullptr, &writable, &failed, &limit);
      int length = sizeof error;
      if (ready == 0) {
        error = WSAETIMEDOUT;
      } else if (ready < 0) {
        error = WSAGetLastError();
      } else if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
                 0) {
        error = WSAGetLastError();
      }
    }
  }
  if (error != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  non_blocking = 0;
  ioctlsocket(s, FIONBIO, &non_blocking);
  // Frames are small and the meter waits for each: send them at once.
  const BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  return s;
}

}  // namespace

TcpPort::~TcpPort() {
  Close();
}

bool TcpPort::Open(const std::string& host_port, uint32_t timeout_ms) {
  Close();
  std::string host, service;
  if (!SplitHostPort(host_port, host, service)) {
    return Fail("\"" + host_port + "\" is not HOST:PORT", nullptr);
  }
  if (const int error = StartWinsock(); error != 0) return Fail(error, nullptr);
  const Deadline deadline = Deadline::After(timeout_ms);
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  ADDRINFOW* found = nullptr;
  if (const int error =
          GetAddrInfoW(Utf16FromUtf8(host).c_str(), Utf16FromUtf8(service).c_str(), &hints, &found);
      error != 0) {
    return Fail(error, nullptr);
  }
  const std::unique_ptr<ADDRINFOW, decltype(&FreeAddrInfoW)> addresses(found, FreeAddrInfoW);
  int error = WSAEHOSTUNREACH;
  for (const ADDRINFOW* a = found; a && !deadline.Passed(); a = a->ai_next) {
    const SOCKET s = ConnectOne(*a, deadline, error);
    if (s != INVALID_SOCKET) return Adopt(reinterpret_cast<void*>(s), host_port);
  }
  return Fail(deadline.Passed() ? WSAETIMEDOUT : error, nullptr);
}

bool TcpPort::ReleaseHandle(Handle handle) {
  return closesocket(reinterpret_cast<SOCKET>(handle)) == 0;
}

bool TcpPort::SetLineSettings(const LineSettings& settings) {
  if (!IsOpen()) return false;
  line_ = settings;
  return true;
}

void TcpPort::Purge() {
  Use use(*this);
  const SOCKET s = reinterpret_cast<SOCKET>(use.handle);
  char sink[512];
  u_long waiting = 0;
  while (use && ioctlsocket(s, FIONREAD, &waiting) == 0 && waiting > 0 &&
         recv(s, sink, sizeof sink, 0) > 0) {
  }
}

}  // namespace flovir
