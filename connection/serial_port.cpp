#include "connection/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "connection/deadline.h"

namespace flovir {

namespace {

struct SpeedCode {
  uint32_t baud;
  speed_t code;
};

constexpr SpeedCode kSpeeds[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},   {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600}, {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SpeedCodeOf(uint32_t baud, speed_t& code) {
  for (const SpeedCode& s : kSpeeds) {
    if (s.baud == baud) {
      code = s.code;
      return true;
    }
  }
  return false;
}

uint32_t BaudOf(speed_t code) {
  for (const SpeedCode& s : kSpeeds) {
    if (s.code == code) return s.baud;
  }
  return 0;
}

// A comm port has no line discipline: bytes pass unchanged in both
// directions. The speed and character format stay as they were.
void MakeRaw(termios& t) {
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~HUPCL;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
}

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

// An operation on the open descriptor. While any Use lives, Close waits
// before it releases the descriptor.
class SerialPort::Use {
 public:
  explicit Use(SerialPort& port) : port_(port) {
    std::lock_guard lock(port_.mutex_);
    if (port_.fd_ < 0 || port_.closing_) return;
    fd = port_.fd_;
    wake_fd = port_.wake_fd_;
    timeouts = port_.timeouts_;
    ++port_.users_;
  }
  ~Use() {
    if (fd < 0) return;
    std::lock_guard lock(port_.mutex_);
    if (--port_.users_ == 0) port_.idle_.notify_all();
  }
  explicit operator bool() const { return fd >= 0; }

  int fd = -1;
  int wake_fd = -1;
  PortTimeouts timeouts;

 private:
  SerialPort& port_;
};

SerialPort::~SerialPort() {
  Close();
}

std::string SerialPort::DevicePath(const std::string& name) {
  return name.find('/') == std::string::npos ? "/dev/" + name : name;
}

bool SerialPort::Open(const std::string& name) {
  Close();
  const auto fail = [this](int error, int fd) {
    if (fd >= 0) ::close(fd);
    std::lock_guard lock(mutex_);
    last_error_ = std::strerror(error);
    return false;
  };
  if (name.empty()) return fail(ENOENT, -1);
  const int fd = ::open(DevicePath(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(errno, -1);
  termios t{};
  if (tcgetattr(fd, &t) != 0) return fail(errno, fd);
  // No sharing: another program holding the port gets it to itself.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(EBUSY, fd);
  ioctl(fd, TIOCEXCL);
  MakeRaw(t);
  if (tcsetattr(fd, TCSANOW, &t) != 0) return fail(errno, fd);
  const int wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd < 0) return fail(errno, fd);

  std::lock_guard lock(mutex_);
  fd_ = fd;
  wake_fd_ = wake_fd;
  timeouts_ = PortTimeouts{};
  vanished_ = false;
  last_error_.clear();
  name_ = name;
  return true;
}

bool SerialPort::Close() {
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
  // The exclusive flag belongs to the tty, not to our descriptor: a
  // pseudo-terminal held open elsewhere would stay locked after we leave.
  ioctl(fd, TIOCNXCL);
  const int result = ::close(fd);
  const int error = errno;
  ::close(wake_fd);
  std::lock_guard lock(mutex_);
  if (result != 0) last_error_ = std::strerror(error);
  return result == 0;
}

bool SerialPort::SetQueueSizes(uint32_t, uint32_t) {
  return IsOpen();
}

std::string SerialPort::LastError() const {
  std::lock_guard lock(mutex_);
  return last_error_;
}

std::string SerialPort::Name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

bool SerialPort::IsOpen() const {
  std::lock_guard lock(mutex_);
  return fd_ >= 0;
}

LineSettings SerialPort::GetLineSettings() {
  Use use(*this);
  LineSettings settings;
  termios t{};
  if (!use || tcgetattr(use.fd, &t) != 0) return settings;
  settings.BaudRate = BaudOf(cfgetospeed(&t));
  switch (t.c_cflag & CSIZE) {
    case CS5:
      settings.DataBits = 5;
      break;
    case CS6:
      settings.DataBits = 6;
      break;
    case CS7:
      settings.DataBits = 7;
      break;
    default:
      settings.DataBits = 8;
      break;
  }
  settings.parity = !(t.c_cflag & PARENB)  ? Parity::None
                    : (t.c_cflag & PARODD) ? Parity::Odd
                                           : Parity::Even;
  settings.stopBits = (t.c_cflag & CSTOPB) ? StopBits::Two : StopBits::One;
  settings.Flags = (t.c_cflag & CRTSCTS) || (t.c_iflag & (IXON | IXOFF)) ? 1 : 0;
  return settings;
}

bool SerialPort::SetLineSettings(const LineSettings& settings) {
  Use use(*this);
  speed_t speed;
  termios t{};
  if (!use || !SpeedCodeOf(settings.BaudRate, speed) || tcgetattr(use.fd, &t) != 0) return false;
  MakeRaw(t);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8;
  if (settings.parity != Parity::None) t.c_cflag |= PARENB;
  if (settings.parity == Parity::Odd) t.c_cflag |= PARODD;
  if (settings.stopBits == StopBits::Two) t.c_cflag |= CSTOPB;
  t.c_iflag &= ~(INPCK | IGNPAR);  // no parity checking
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  if (tcsetattr(use.fd, TCSANOW, &t) != 0) return false;
  // DTR and RTS off; a pseudo-terminal has no modem lines and refuses this.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(use.fd, TIOCMBIC, &lines);
  return true;
}

bool SerialPort::SetTimeouts(const PortTimeouts& timeouts) {
  std::lock_guard lock(mutex_);
  if (fd_ < 0) return false;
  timeouts_ = timeouts;
  return true;
}

PortTimeouts SerialPort::GetTimeouts() const {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

void SerialPort::Purge() {
  Use use(*this);
  if (use) tcflush(use.fd, TCIOFLUSH);
}

uint32_t SerialPort::Write(const uint8_t* data, size_t count) {
  Use use(*this);
  size_t written = 0;
  const Deadline deadline =
      TotalDeadline(use.timeouts.WriteMultiplier, use.timeouts.WriteConstant, count);
  while (use && !vanished_ && written < count) {
    const ssize_t n = ::write(use.fd, data + written, count - written);
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

uint32_t SerialPort::Read(uint8_t* data, size_t capacity, const ReadComplete& complete) {
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
      vanished_ = true;  // end of file or EIO: the device has gone
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

void SerialPort::WaitForCloseUntil(int wake_fd, const Deadline& deadline) {
  pollfd wake = {wake_fd, POLLIN, 0};
  while (poll(&wake, 1, deadline.RemainingMs()) < 0 && errno == EINTR) {
  }
}

}  // namespace flovir
