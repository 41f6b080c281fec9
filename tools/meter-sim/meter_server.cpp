#include "tools/meter-sim/meter_server.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

namespace flovir::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kPollTick{5};

[[noreturn]] void ThrowSystemError(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

unsigned BaudOf(speed_t speed) {
  switch (speed) {
    case B0:
      return 0;
    case B50:
      return 50;
    case B75:
      return 75;
    case B110:
      return 110;
    case B134:
      return 134;
    case B150:
      return 150;
    case B200:
      return 200;
    case B300:
      return 300;
    case B600:
      return 600;
    case B1200:
      return 1200;
    case B1800:
      return 1800;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    case B230400:
      return 230400;
    case B460800:
      return 460800;
    case B500000:
      return 500000;
    case B576000:
      return 576000;
    case B921600:
      return 921600;
    case B1000000:
      return 1000000;
    default:
      return 0;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// The pseudo-terminal

class MeterServer::PtyLine : public Line {
 public:
  explicit PtyLine(MeterServer& server) : server_(server) {}

  LineFormat Format() const override { return server_.Format(); }

  std::chrono::nanoseconds CharacterTime() const override {
    const LineFormat format = Format();
    if (!server_.options_.pacing || format.baud == 0) return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(1'000'000'000LL * format.BitsPerByte() / format.baud);
  }

  void Send(std::span<const uint8_t> bytes) override {
    if (!server_.options_.pacing) {
      Write(bytes);
      return;
    }
    const auto byte_time = CharacterTime();
    if (byte_time.count() == 0) return;  // the master hung the line up
    // Byte i is written when its last bit would have arrived at the master.
    // A late wake-up writes every byte that is due at once, so that fast
    // lines keep their pace too.
    const auto start = Clock::now();
    size_t sent = 0;
    while (sent < bytes.size()) {
      const auto due = std::min<size_t>(bytes.size(), (Clock::now() - start) / byte_time);
      if (due > sent) {
        Write(bytes.subspan(sent, due - sent));
        sent = due;
      } else if (!WaitUntil(start + byte_time * static_cast<int64_t>(sent + 1))) {
        return;
      }
    }
  }

  void Wait(std::chrono::nanoseconds duration) override { WaitUntil(Clock::now() + duration); }

  bool Stopping() const override { return server_.stopping_; }

 private:
  // False when the server stops first.
  bool WaitUntil(Clock::time_point deadline) {
    std::unique_lock lock(server_.stop_mutex_);
    return !server_.stop_cv_.wait_until(lock, deadline,
                                        [this] { return server_.stopping_.load(); });
  }

  void Write(std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
      const ssize_t written = ::write(server_.master_fd_, bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return;  // the master's input is full: the bytes are lost
      bytes = bytes.subspan(static_cast<size_t>(written));
    }
  }

  MeterServer& server_;
};

MeterServer::MeterServer(SimulatedMeter& meter, ServerOptions options)
    : own_device_(std::make_unique<MeterLineDevice>(meter, options.turnaround)),
      device_(*own_device_),
      options_(std::move(options)) {
  Open();
}

MeterServer::MeterServer(LineDevice& device, ServerOptions options)
    : device_(device), options_(std::move(options)) {
  Open();
}

MeterServer::~MeterServer() {
  Stop();
}

void MeterServer::Open() {
  termios raw{};
  cfmakeraw(&raw);
  cfsetispeed(&raw, B9600);
  cfsetospeed(&raw, B9600);
  if (openpty(&master_fd_, &slave_fd_, nullptr, &raw, nullptr) != 0) {
    ThrowSystemError("cannot create a pseudo-terminal");
  }
  fcntl(master_fd_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_fd_, F_SETFD, FD_CLOEXEC);
  fcntl(master_fd_, F_SETFL, fcntl(master_fd_, F_GETFL) | O_NONBLOCK);
  char name[PATH_MAX] = {};
  if (ptsname_r(master_fd_, name, sizeof name) != 0) {
    const int error = errno;
    ::close(master_fd_);
    ::close(slave_fd_);
    errno = error;
    ThrowSystemError("cannot name the pseudo-terminal");
  }
  slave_path_ = name;
  if (!options_.link.empty()) {
    struct stat existing {};
    if (lstat(options_.link.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
      ::unlink(options_.link.c_str());
    }
    if (::symlink(slave_path_.c_str(), options_.link.c_str()) != 0) {
      const int error = errno;
      ::close(master_fd_);
      ::close(slave_fd_);
      errno = error;
      ThrowSystemError("cannot link " + options_.link + " to " + slave_path_);
    }
  }
  line_ = std::make_unique<PtyLine>(*this);
  thread_ = std::thread([this] { Run(); });
}

LineFormat MeterServer::Format() const {
  termios settings{};
  if (tcgetattr(master_fd_, &settings) != 0) return {0, false, false};
  return {BaudOf(cfgetospeed(&settings)), (settings.c_cflag & PARODD) != 0,
          (settings.c_cflag & CSTOPB) != 0};
}

void MeterServer::Run() {
  uint8_t buffer[512];
  while (!stopping_) {
    pollfd poll_fd{master_fd_, POLLIN, 0};
    const int ready = ::poll(&poll_fd, 1, static_cast<int>(kPollTick.count()));
    if (ready > 0) {
      const ssize_t count =
          (poll_fd.revents & POLLIN) ? ::read(master_fd_, buffer, sizeof buffer) : -1;
      if (count > 0 && options_.required_format && Format() != *options_.required_format) {
        continue;  // characters at another speed or framing: noise to this meter
      }
      if (count > 0) {
        device_.Received(std::span<const uint8_t>(buffer, static_cast<size_t>(count)), *line_);
        continue;
      }
      line_->Wait(kPollTick);  // an error on the line: no busy loop
    }
    device_.Tick(*line_);
  }
}

void MeterServer::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(stop_mutex_);
    stopping_ = true;
  }
  stop_cv_.notify_all();
  thread_.join();
  ::close(master_fd_);
  ::close(slave_fd_);
  master_fd_ = slave_fd_ = -1;
  if (!options_.link.empty()) {
    char target[PATH_MAX] = {};
    const ssize_t length = ::readlink(options_.link.c_str(), target, sizeof target - 1);
    if (length > 0 && slave_path_ == std::string(target, static_cast<size_t>(length))) {
      ::unlink(options_.link.c_str());
    }
  }
}

}  // namespace flovir::sim
