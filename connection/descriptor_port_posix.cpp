#include "connection/descriptor_port.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace flovir {

namespace {

// The Windows special case: an interval of MAXDWORD with both total values 0
// returns at once with whatever has arrived.
bool ReturnsImmediately(const PortTimeouts& t) {
  return t.ReadInterval == UINT32_MAX && t.ReadMultiplier == 0 && t.ReadConstant == 0;
}

Deadline TotalDeadline(uint32_t multiplier, uint32_t constant, size_t count) {
  if (multiplier == 0 && constant == 0) return Deadline::Never();
  return Deadline::After(uint64_t{multiplier} * count + constant);
}

}  // namespace

DescriptorPort::Use::Use(DescriptorPort& port) : port_(port) {
  std::lock_guard lock(port_.mutex_);
  if (port_.fd_ < 0 || port_.closing_) return;
  fd = port_.fd_;
  wake_fd = port_.wake_fd_;
  timeouts = port_.timeouts_;
  ++port_.users_;
}

DescriptorPort::Use::~Use() {
  if (fd < 0) return;
  std::lock_guard lock(port_.mutex_);
  if (--port_.users_ == 0) port_.idle_.notify_all();
}

DescriptorPort::~DescriptorPort() {
  Close();
}

bool DescriptorPort::Fail(int error, int fd) {
  return Fail(std::string(std::strerror(error)), fd);
}

bool DescriptorPort::Fail(const std::string& reason, int fd) {
  if (fd >= 0) ::close(fd);
  std::lock_guard lock(mutex_);
  last_error_ = reason;
  return false;
}

bool DescriptorPort::Adopt(int fd, const std::string& name) {
  const int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd < 0) return Fail(errno, fd);
  std::lock_guard lock(mutex_);
  fd_ = fd;
  wake_fd_ = wake_fd;
  timeouts_ = PortTimeouts{};
  vanished_ = false;
  last_error_.clear();
  name_ = name;
  return true;
}

bool DescriptorPort::Close() {
  int fd;
  int wake_fd;
  {
    std::unique_lock lock(mutex_);
    if (fd_ < 0 || closing_) return false;
    closing_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wake_fd_, &one, sizeof one);
    idle_.wait(lock, [this] { return users_ == 0; });
    fd = fd_;
    wake_fd = wake_fd_;
    fd_ = -1;
    wake_fd_ = -1;
    closing_ = false;
  }
  BeforeClose(fd);
  const int result = ::close(fd);
  const int error = errno;
  ::close(wake_fd);
  std::lock_guard lock(mutex_);
  if (result != 0) last_error_ = std::strerror(error);
  return result == 0;
}

std::string DescriptorPort::LastError() const {
  std::lock_guard lock(mutex_);
  return last_error_;
}

std::string DescriptorPort::Name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

bool DescriptorPort::IsOpen() const {
  std::lock_guard lock(mutex_);
  return fd_ >= 0;
}

bool DescriptorPort::SetTimeouts(const PortTimeouts& timeouts) {
  std::lock_guard lock(mutex_);
  if (fd_ < 0) return false;
  timeouts_ = timeouts;
  return true;
}

PortTimeouts DescriptorPort::GetTimeouts() const {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

long DescriptorPort::WriteSome(int fd, const uint8_t* data, size_t count) {
  return ::write(fd, data, count);
}

uint32_t DescriptorPort::Write(const uint8_t* data, size_t count) {
  Use use(*this);
  size_t written = 0;
  const Deadline deadline =
      TotalDeadline(use.timeouts.WriteMultiplier, use.timeouts.WriteConstant, count);
  while (use && !vanished_ && written < count) {
    const long n = WriteSome(use.fd, data + written, count - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      vanished_ = true;
      break;
    }
    pollfd fds[2] = {{use.fd, POLLOUT, 0}, {use.wake_fd, POLLIN, 0}};
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

uint32_t DescriptorPort::Read(uint8_t* data, size_t capacity, const ReadComplete& complete) {
  Use use(*this);
  bytes_transferred_ = 0;
  if (!use || capacity == 0) return 0;
  const PortTimeouts& t = use.timeouts;
  const Deadline total = ReturnsImmediately(t)
                             ? Deadline::After(0)
                             : TotalDeadline(t.ReadMultiplier, t.ReadConstant, capacity);
  if (vanished_) {
    WaitForCloseUntil(use.wake_fd, total);
    return 0;
  }

  size_t count = 0;
  Deadline gap = Deadline::Never();  // the interval limit runs from the last byte
  for (bool first = true;; first = false) {
    const Deadline next = Deadline::Earliest(total, gap);
    if (!first && next.Passed()) break;
    pollfd fds[2] = {{use.fd, POLLIN, 0}, {use.wake_fd, POLLIN, 0}};
    const int ready = poll(fds, 2, next.RemainingMs());
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) break;  // closing
    if (fds[0].revents & POLLIN) {
      const ssize_t n = ::read(use.fd, data + count, capacity - count);
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

void DescriptorPort::WaitForCloseUntil(int wake_fd, const Deadline& deadline) {
  pollfd wake = {wake_fd, POLLIN, 0};
  while (poll(&wake, 1, deadline.RemainingMs()) < 0 && errno == EINTR) {
  }
}

}  // namespace flovir
