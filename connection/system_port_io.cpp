// The line on POSIX systems: a non-blocking file descriptor (a tty, a
// pseudo-terminal or a socket) waited for with poll() together with an
// eventfd that closing signals.

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "connection/system_port.h"

namespace flovir {

SystemPort::Handle SystemPort::MakeWake() {
  return eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

void SystemPort::SignalWake(Handle wake) {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t ignored = ::write(wake, &one, sizeof one);
}

void SystemPort::ReleaseWake(Handle wake) {
  ::close(wake);
}

SystemPort::ErrorCode SystemPort::LastSystemError() {
  return errno;
}

std::string SystemPort::ErrorText(ErrorCode error) {
  return std::strerror(error);
}

bool SystemPort::ReleaseHandle(Handle handle) {
  return ::close(handle) == 0;
}

long SystemPort::WriteSome(Handle fd, const uint8_t* data, size_t count) {
  return ::write(fd, data, count);
}

uint32_t SystemPort::Write(const uint8_t* data, size_t count) {
  Use use(*this);
  size_t written = 0;
  const Deadline deadline =
      TotalDeadline(use.timeouts.WriteMultiplier, use.timeouts.WriteConstant, count);
  while (use && !vanished_ && written < count) {
    const long n = WriteSome(use.handle, data + written, count - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      vanished_ = true;
      break;
    }
    pollfd fds[2] = {{use.handle, POLLOUT, 0}, {use.wake, POLLIN, 0}};
    if (deadline.Passed()) break;
    const int ready = poll(fds, 2, deadline.RemainingMs());
    if (ready < 0 && errno != EINTR) break;
    if (fds[1].revents) break;  // closing
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      vanished_ = true;
      break;
    }
  }
  bytes_transferred_ = static_cast<uint32_t>(written);
  return static_cast<uint32_t>(written);
}

size_t SystemPort::ReadPieces(const Use& use, uint8_t* data, size_t capacity,
                              const ReadComplete& complete, const Deadline& total) {
  const PortTimeouts& t = use.timeouts;
  size_t count = 0;
  Deadline gap = Deadline::Never();  // the interval limit runs from the last byte
  for (bool first = true;; first = false) {
    const Deadline next = Deadline::Earliest(total, gap);
    if (!first && next.Passed()) break;
    pollfd fds[2] = {{use.handle, POLLIN, 0}, {use.wake, POLLIN, 0}};
    const int ready = poll(fds, 2, next.RemainingMs());
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) break;  // closing
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(use.handle, data + count, capacity - count);
      if (n > 0) {
        count += static_cast<size_t>(n);
        if (count == capacity || (complete && complete(data, count))) break;
        if (t.ReadInterval > 0 && !ReturnsImmediately(t)) gap = Deadline::After(t.ReadInterval);
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      vanished_ = true;  // end of file, EIO or a reset connection: the line has gone
      break;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      vanished_ = true;
      break;
    }
  }
  return count;
}

void SystemPort::WaitForCloseUntil(Handle wake_fd, const Deadline& deadline) {
  pollfd wake = {wake_fd, POLLIN, 0};
  while (poll(&wake, 1, deadline.RemainingMs()) < 0 && errno == EINTR) {
  }
}

}  // namespace flovir
