#pragma once
// A small raw termios master for the line tests: opens the simulator's
// pseudo-terminal like a serial port and records when each byte arrives.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace flovir::sim::test {

using SteadyClock = std::chrono::steady_clock;

struct Arrival {
  std::vector<uint8_t> bytes;
  std::vector<SteadyClock::time_point> times;  // one per byte
  SteadyClock::time_point sent;                // when the request was written
  int error = 0;                               // errno of a failed read, or POLLHUP

  // Milliseconds from the request to byte i's arrival.
  double At(size_t i) const {
    return std::chrono::duration<double, std::milli>(times.at(i) - sent).count();
  }
};

class PtyClient {
 public:
  explicit PtyClient(const std::string& path, speed_t speed = B9600, bool odd_parity = false,
                     bool two_stop_bits = false) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (odd_parity) t.c_cflag |= PARENB | PARODD;
    if (two_stop_bits) t.c_cflag |= CSTOPB;
    tcsetattr(fd_, TCSANOW, &t);
    tcflush(fd_, TCIOFLUSH);
  }
  ~PtyClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  void Write(const std::vector<uint8_t>& bytes) const {
    [[maybe_unused]] const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
  }

  // Sends the request and collects what comes back until `silence` passes
  // after a byte, or `timeout` passes with nothing at all.
  Arrival Exchange(const std::vector<uint8_t>& request,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(3000),
                   std::chrono::milliseconds silence = std::chrono::milliseconds(300)) const {
    tcflush(fd_, TCIFLUSH);
    Arrival arrival;
    arrival.sent = SteadyClock::now();
    Write(request);
    Collect(arrival, timeout, silence);
    return arrival;
  }

  void Collect(Arrival& arrival, std::chrono::milliseconds timeout,
               std::chrono::milliseconds silence) const {
    for (;;) {
      const auto wait = arrival.bytes.empty() ? timeout : silence;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return;
      if (!(p.revents & POLLIN)) {
        arrival.error = POLLHUP;
        return;
      }
      uint8_t buffer[512];
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) {
        arrival.error = n < 0 ? errno : POLLHUP;
        return;
      }
      const auto now = SteadyClock::now();
      arrival.bytes.insert(arrival.bytes.end(), buffer, buffer + n);
      arrival.times.insert(arrival.times.end(), static_cast<size_t>(n), now);
    }
  }

 private:
  int fd_ = -1;
};

}  // namespace flovir::sim::test
