#include "connection/system_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace flovir {

SystemPort::Use::Use(SystemPort& port) : port_(port) {
  std::lock_guard lock(port_.mutex_);
  if (port_.handle_ < 0 || port_.closing_) return;
  handle = port_.handle_;
  wake = port_.wake_;
  timeouts = port_.timeouts_;
  ++port_.users_;
}

SystemPort::Use::~Use() {
  if (handle < 0) return;
  std::lock_guard lock(port_.mutex_);
  if (--port_.users_ == 0) port_.idle_.notify_all();
}

SystemPort::~SystemPort() {
  Close();
}

bool SystemPort::Fail(int error, int fd) {
  return Fail(std::string(std::strerror(error)), fd);
}

bool SystemPort::Fail(const std::string& reason, int fd) {
  if (fd >= 0) ReleaseHandle(fd);
  std::lock_guard lock(mutex_);
  last_error_ = reason;
  return false;
}

bool SystemPort::Adopt(int fd, const std::string& name) {
  const int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd < 0) return Fail(errno, fd);
  std::lock_guard lock(mutex_);
  handle_ = fd;
  wake_ = wake_fd;
  timeouts_ = PortTimeouts{};
  vanished_ = false;
  last_error_.clear();
  name_ = name;
  return true;
}

bool SystemPort::Close() {
  int fd;
  int wake_fd;
  {
    std::unique_lock lock(mutex_);
    if (handle_ < 0 || closing_) return false;
    closing_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wake_, &one, sizeof one);
    idle_.wait(lock, [this] { return users_ == 0; });
    fd = handle_;
    wake_fd = wake_;
    handle_ = -1;
    wake_ = -1;
    closing_ = false;
  }
  const bool closed = ReleaseHandle(fd);
  const int error = errno;
  ::close(wake_fd);
  std::lock_guard lock(mutex_);
  if (!closed) last_error_ = std::strerror(error);
  return closed;
}

bool SystemPort::ReleaseHandle(int fd) {
  return ::close(fd) == 0;
}

std::string SystemPort::LastError() const {
  std::lock_guard lock(mutex_);
  return last_error_;
}

std::string SystemPort::Name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

bool SystemPort::IsOpen() const {
  std::lock_guard lock(mutex_);
  return handle_ >= 0;
}

bool SystemPort::SetTimeouts(const PortTimeouts& timeouts) {
  std::lock_guard lock(mutex_);
  if (handle_ < 0) return false;
  timeouts_ = timeouts;
  return true;
}

PortTimeouts SystemPort::GetTimeouts() const {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

long SystemPort::WriteSome(int fd, const uint8_t* data, size_t count) {
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

uint32_t SystemPort::Read(uint8_t* data, size_t capacity, const ReadComplete& complete) {
  Use use(*this);
  bytes_transferred_ = 0;
  if (!use || capacity == 0) return 0;
  const PortTimeouts& t = use.timeouts;
  const Deadline total = ReturnsImmediately(t)
                             ? Deadline::After(0)
                             : TotalDeadline(t.ReadMultiplier, t.ReadConstant, capacity);
  if (vanished_) {
    WaitForCloseUntil(use.wake, total);
    return 0;
  }

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
  bytes_transferred_ = static_cast<uint32_t>(count);
  return static_cast<uint32_t>(count);
}

void SystemPort::WaitForCloseUntil(int wake_fd, const Deadline& deadline) {
  pollfd wake = {wake_fd, POLLIN, 0};
  while (poll(&wake, 1, deadline.RemainingMs()) < 0 && errno == EINTR) {
  }
}

}  // namespace flovir
