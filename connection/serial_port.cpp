#include "connection/serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace

// Closed here, while ReleaseHandle still reaches this class.
SerialPort::~SerialPort() {
  Close();
}

std::string SerialPort::DevicePath(const std::string& name) {
  return name.find('/') == std::string::npos ? "/dev/" + name : name;
}

bool SerialPort::Open(const std::string& name) {
  Close();
  open_error_code_ = 0;
  if (name.empty()) return FailOpen(ENOENT, -1);
  const int fd = ::open(DevicePath(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FailOpen(errno, -1);
  termios t{};
  if (tcgetattr(fd, &t) != 0) return FailOpen(errno, fd);
  // No sharing: another program holding the port gets it to itself.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return FailOpen(EBUSY, fd);
  ioctl(fd, TIOCEXCL);
  MakeRaw(t);
  if (tcsetattr(fd, TCSANOW, &t) != 0) return FailOpen(errno, fd);
  return Adopt(fd, name);
}

// The exclusive flag belongs to the tty, not to our descriptor: a
// pseudo-terminal held open elsewhere would stay locked after we leave.
bool SerialPort::ReleaseHandle(int fd) {
  ioctl(fd, TIOCNXCL);
  return SystemPort::ReleaseHandle(fd);
}

bool SerialPort::SetQueueSizes(uint32_t, uint32_t) {
  return IsOpen();
}

LineSettings SerialPort::GetLineSettings() {
  Use use(*this);
  LineSettings settings;
  termios t{};
  if (!use || tcgetattr(use.handle, &t) != 0) return settings;
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
  settings.Parity = !(t.c_cflag & PARENB)  ? Parity::None
                    : (t.c_cflag & PARODD) ? Parity::Odd
                                           : Parity::Even;
  settings.StopBits = (t.c_cflag & CSTOPB) ? StopBits::Two : StopBits::One;
  settings.Flags = (t.c_cflag & CRTSCTS) || (t.c_iflag & (IXON | IXOFF)) ? 1 : 0;
  return settings;
}

bool SerialPort::SetLineSettings(const LineSettings& settings) {
  Use use(*this);
  speed_t speed;
  termios t{};
  if (!use || !SpeedCodeOf(settings.BaudRate, speed) || tcgetattr(use.handle, &t) != 0)
    return false;
  MakeRaw(t);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8;
  if (settings.Parity != Parity::None) t.c_cflag |= PARENB;
  if (settings.Parity == Parity::Odd) t.c_cflag |= PARODD;
  if (settings.StopBits == StopBits::Two) t.c_cflag |= CSTOPB;
  t.c_iflag &= ~(INPCK | IGNPAR);  // no parity checking
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  if (tcsetattr(use.handle, TCSANOW, &t) != 0) return false;
  // DTR and RTS off; a pseudo-terminal has no modem lines and refuses this.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ioctl(use.handle, TIOCMBIC, &lines);
  return true;
}

void SerialPort::Purge() {
  Use use(*this);
  if (use) tcflush(use.handle, TCIOFLUSH);
}

}  // namespace flovir
