// The serial port on Windows. The port is opened for overlapped input and
// output so that a close on one thread ends a wait on another at once.
//
// SetTimeouts hands the five values to the system as they are. A read then
// keeps its interval and total limits itself, with the same monotonic
// deadlines as on Linux, and reads in short pieces: the system returns a
// piece 1 ms after its last byte, or waits for a first byte up to the time
// left. So the read ends as soon as a complete reply is there, instead of
// waiting out the interval after its last byte, and it never waits without
// a read outstanding (no busy loop on a silent line).

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>

#include "connection/serial_port.h"
#include "workbook/platform_files.h"

namespace flovir {

namespace {

// The Windows special case: an interval of MAXDWORD with both total values 0
// returns at once with whatever has arrived.
bool ReturnsImmediately(const PortTimeouts& t) {
  return t.ReadInterval == MAXDWORD && t.ReadMultiplier == 0 && t.ReadConstant == 0;
}

Deadline TotalDeadline(uint32_t multiplier, uint32_t constant, size_t count) {
  if (multiplier == 0 && constant == 0) return Deadline::Never();
  return Deadline::After(uint64_t{multiplier} * count + constant);
}

// The longest single wait for the first byte; a read without a total limit
// asks again after it.
constexpr uint32_t kLongestWaitMs = 60'000;
// For SetSystemTimeouts: the five values of SetTimeouts.
constexpr uint32_t kAsTheyAre = MAXDWORD;

// One overlapped read or write: started, then waited for together with the
// port's close event. A close cancels the operation and waits until the
// system has let go of the buffer.
class Overlapped {
 public:
  Overlapped() { overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~Overlapped() {
    if (overlapped_.hEvent) CloseHandle(overlapped_.hEvent);
  }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;

  // The bytes transferred, or -1 when the operation failed or was cancelled
  // by closing (closed then tells which). A read that timed out is no
  // failure (wine reports it as ERROR_TIMEOUT, Windows as success).
  long long Finish(HANDLE port, BOOL started, HANDLE close_event, bool& closed) {
    closed = false;
    DWORD count = 0;
    if (!started && GetLastError() != ERROR_IO_PENDING) return -1;
    const HANDLE events[2] = {overlapped_.hEvent, close_event};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
      closed = true;
      CancelIoEx(port, &overlapped_);
    }
    if (!GetOverlappedResult(port, &overlapped_, &count, TRUE) && GetLastError() != ERROR_TIMEOUT) {
      return -1;
    }
    return count;
  }

  OVERLAPPED* get() { return &overlapped_; }
  bool valid() const { return overlapped_.hEvent != nullptr; }

 private:
  OVERLAPPED overlapped_{};
};

}  // namespace

class SerialPort::Use {
 public:
  explicit Use(SerialPort& port) : port_(port) {
    std::lock_guard lock(port_.mutex_);
    if (!port_.handle_ || port_.closing_) return;
    handle = port_.handle_;
    close_event = port_.close_event_;
    timeouts = port_.timeouts_;
    ++port_.users_;
  }
  ~Use() {
    if (!handle) return;
    std::lock_guard lock(port_.mutex_);
    if (--port_.users_ == 0) port_.idle_.notify_all();
  }
  explicit operator bool() const { return handle != nullptr; }

  HANDLE handle = nullptr;
  HANDLE close_event = nullptr;
  PortTimeouts timeouts;

 private:
  SerialPort& port_;
};

SerialPort::~SerialPort() {
  Close();
}

std::string SerialPort::DevicePath(const std::string& name) {
  return name.find('\\') == std::string::npos ? "\\\\.\\" + name : name;
}

bool SerialPort::Open(const std::string& name) {
  Close();
  const auto fail = [this](DWORD error, HANDLE handle) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    std::lock_guard lock(mutex_);
    last_error_ = WindowsErrorText(error);
    return false;
  };
  if (name.empty()) return fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  // No sharing: the port belongs to this program until it closes it.
  const HANDLE handle =
      CreateFileW(Utf16FromUtf8(DevicePath(name)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return fail(GetLastError(), handle);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) return fail(GetLastError(), handle);
  const HANDLE close_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!close_event) return fail(GetLastError(), handle);

  std::lock_guard lock(mutex_);
  handle_ = handle;
  close_event_ = close_event;
  timeouts_ = PortTimeouts{};
  SetSystemTimeouts(handle, kAsTheyAre);
  vanished_ = false;
  last_error_.clear();
  name_ = name;
  return true;
}

bool SerialPort::Close() {
  HANDLE handle;
  HANDLE close_event;
  {
    std::unique_lock lock(mutex_);
    if (!handle_ || closing_) return false;
    closing_ = true;
    SetEvent(close_event_);
    idle_.wait(lock, [this] { return users_ == 0; });
    handle = handle_;
    close_event = close_event_;
    handle_ = nullptr;
    close_event_ = nullptr;
    closing_ = false;
  }
  const BOOL closed = CloseHandle(handle);
  const DWORD error = GetLastError();
  CloseHandle(close_event);
  std::lock_guard lock(mutex_);
  if (!closed) last_error_ = WindowsErrorText(error);
  return closed;
}

bool SerialPort::SetQueueSizes(uint32_t input, uint32_t output) {
  Use use(*this);
  return use && SetupComm(use.handle, input, output);
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
  return handle_ != nullptr;
}

LineSettings SerialPort::GetLineSettings() {
  Use use(*this);
  LineSettings settings;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!use || !GetCommState(use.handle, &dcb)) return settings;
  settings.BaudRate = dcb.BaudRate;
  settings.DataBits = dcb.ByteSize;
  settings.parity = dcb.Parity == ODDPARITY    ? Parity::Odd
                    : dcb.Parity == EVENPARITY ? Parity::Even
                                               : Parity::None;
  settings.stopBits = dcb.StopBits == TWOSTOPBITS ? StopBits::Two : StopBits::One;
  // The flag word follows the baud rate in the control block.
  std::memcpy(&settings.Flags, reinterpret_cast<const char*>(&dcb.BaudRate) + sizeof dcb.BaudRate,
              sizeof settings.Flags);
  return settings;
}

bool SerialPort::SetLineSettings(const LineSettings& settings) {
  Use use(*this);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!use || !GetCommState(use.handle, &dcb)) return false;
  dcb.BaudRate = settings.BaudRate;
  dcb.ByteSize = 8;
  dcb.Parity = settings.parity == Parity::Odd    ? ODDPARITY
               : settings.parity == Parity::Even ? EVENPARITY
                                                 : NOPARITY;
  dcb.StopBits = settings.stopBits == StopBits::Two ? TWOSTOPBITS : ONESTOPBIT;
  // The whole flag word 0: no parity checking, no flow control of either
  // kind, DTR and RTS disabled.
  std::memset(reinterpret_cast<char*>(&dcb.BaudRate) + sizeof dcb.BaudRate, 0, sizeof(DWORD));
  return SetCommState(use.handle, &dcb);
}

bool SerialPort::SetTimeouts(const PortTimeouts& timeouts) {
  std::lock_guard lock(mutex_);
  if (!handle_) return false;
  timeouts_ = timeouts;
  return SetSystemTimeouts(handle_, kAsTheyAre);
}

PortTimeouts SerialPort::GetTimeouts() const {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

// The system's read values for the next piece of a read: wait up to
// read_wait_ms for a first byte and end 1 ms after the last one; 0 returns
// at once with what has arrived; kAsTheyAre the caller's five values. Called
// under mutex_.
bool SerialPort::SetSystemTimeouts(void* handle, uint32_t read_wait_ms) {
  COMMTIMEOUTS t{timeouts_.ReadInterval, timeouts_.ReadMultiplier, timeouts_.ReadConstant,
                 timeouts_.WriteMultiplier, timeouts_.WriteConstant};
  if (read_wait_ms != kAsTheyAre) {
    t.ReadIntervalTimeout = read_wait_ms ? 1 : MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = read_wait_ms;
  }
  system_read_wait_ = read_wait_ms;
  return SetCommTimeouts(static_cast<HANDLE>(handle), &t);
}

void SerialPort::Purge() {
  Use use(*this);
  if (use) PurgeComm(use.handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
}

uint32_t SerialPort::Write(const uint8_t* data, size_t count) {
  Use use(*this);
  long long written = 0;
  if (use && !vanished_ && count > 0) {
    Overlapped operation;
    bool closed = false;
    const BOOL started = operation.valid() && WriteFile(use.handle, data, static_cast<DWORD>(count),
                                                        nullptr, operation.get());
    written =
        operation.valid() ? operation.Finish(use.handle, started, use.close_event, closed) : -1;
    if (written < 0) {
      if (!closed) vanished_ = true;
      written = 0;
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
  const bool at_once = ReturnsImmediately(t);
  const Deadline total =
      at_once ? Deadline::After(0) : TotalDeadline(t.ReadMultiplier, t.ReadConstant, capacity);
  if (vanished_) {
    WaitForCloseUntil(use.close_event, total);
    return 0;
  }

  size_t count = 0;
  Deadline gap = Deadline::Never();  // the interval limit runs from the last byte
  Overlapped operation;
  for (bool first = true; operation.valid(); first = false) {
    const Deadline next = Deadline::Earliest(total, gap);
    if (!first && next.Passed()) break;
    const uint32_t wait =
        at_once ? 0
                : (next.IsNever() ? kLongestWaitMs
                                  : std::clamp<uint32_t>(next.RemainingMs(), 1, kLongestWaitMs));
    {
      std::lock_guard lock(mutex_);
      if (wait != system_read_wait_) SetSystemTimeouts(use.handle, wait);
    }
    const auto started = std::chrono::steady_clock::now();
    ResetEvent(operation.get()->hEvent);
    bool closed = false;
    const BOOL begun = ReadFile(use.handle, data + count, static_cast<DWORD>(capacity - count),
                                nullptr, operation.get());
    const long long n = operation.Finish(use.handle, begun, use.close_event, closed);
    if (closed) break;
    if (n < 0) {
      vanished_ = true;  // the device has gone (adapter pulled)
      break;
    }
    if (n > 0) {
      count += static_cast<size_t>(n);
      if (count == capacity || (complete && complete(data, count))) break;
      if (t.ReadInterval > 0 && !at_once) gap = Deadline::After(t.ReadInterval);
      continue;
    }
    if (at_once) break;
    // Nothing, long before the system's wait was up: a line that reports
    // an end instead of data has gone away.
    if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(wait / 2)) {
      vanished_ = true;
      break;
    }
  }
  bytes_transferred_ = static_cast<uint32_t>(count);
  return static_cast<uint32_t>(count);
}

void SerialPort::WaitForCloseUntil(void* close_event, const Deadline& deadline) {
  const int remaining = deadline.RemainingMs();
  WaitForSingleObject(static_cast<HANDLE>(close_event),
                      remaining < 0 ? INFINITE : static_cast<DWORD>(remaining));
}

}  // namespace flovir
