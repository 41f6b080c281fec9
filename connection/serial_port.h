#pragma once
// The serial port: termios and poll() on Linux (serial_port.cpp), the comm
// API on Windows (serial_port_windows.cpp), both with the Windows timeout
// semantics the protocol timing was built on. One thread may read or write
// while another purges or closes the port.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "connection/deadline.h"
#include "link/port.h"

namespace flovir {

class SerialPort : public Port {
 public:
  SerialPort() = default;
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // "ttyUSB0" names /dev/ttyUSB0; a name with a slash is a path as it stands.
  // On Windows "COM5" names \\.\COM5; a name with a backslash is a path.
  static std::string DevicePath(const std::string& name);

  // Opens the port for this program alone and puts the line into raw mode,
  // keeping its speed and character format. Returns false, with the system's
  // reason in LastError(), when the device is absent, busy or no terminal.
  bool Open(const std::string& name);
  // A read or write in progress on another thread returns at once; the
  // descriptor is released only after it has left, so no later read or
  // write can reach a descriptor the system has handed out again. Returns
  // false when no port was open or the system's close failed.
  bool Close();
  // The driver's queues are sized by the kernel; kept for the open sequence.
  bool SetQueueSizes(uint32_t input, uint32_t output);
  // The system's text for the last failed Open or Close.
  std::string LastError() const;

  bool IsOpen() const override;
  LineSettings GetLineSettings() override;
  // 8 data bits, no flow control, DTR and RTS off. False for a speed the
  // driver does not know or a closed port.
  bool SetLineSettings(const LineSettings& settings) override;
  bool SetTimeouts(const PortTimeouts& timeouts) override;
  PortTimeouts GetTimeouts() const override;
  void Purge() override;
  uint32_t Write(const uint8_t* data, size_t count) override;
  // A port that has vanished (device unplugged, other end of a pseudo-
  // terminal closed) reads nothing: the read that finds it out returns at
  // once and Lost() turns true; every later read waits out its total
  // timeout, or until Close, and returns 0, so a caller that reads in a
  // loop never spins.
  uint32_t Read(uint8_t* data, size_t capacity, const ReadComplete& complete = {}) override;
  uint32_t BytesTransferred() const override { return bytes_transferred_; }
  bool Lost() const override { return vanished_; }
  std::string Name() const override;

 private:
  class Use;
#ifdef _WIN32
  void WaitForCloseUntil(void* close_event, const Deadline& deadline);
  bool SetSystemTimeouts(void* handle, uint32_t read_wait_ms);

  void* handle_ = nullptr;       // HANDLE, guarded by mutex_
  void* close_event_ = nullptr;  // set when closing: ends every wait
  uint32_t system_read_wait_ = 0;
#else
  void WaitForCloseUntil(int wake_fd, const Deadline& deadline);

  int fd_ = -1;       // guarded by mutex_
  int wake_fd_ = -1;  // eventfd that interrupts every wait when closing
#endif
  mutable std::mutex mutex_;
  std::condition_variable idle_;
  int users_ = 0;  // operations in progress on fd_
  bool closing_ = false;
  PortTimeouts timeouts_;
  LineSettings line_;
  std::string last_error_;
  std::string name_;  // as given to Open; guarded by mutex_
  std::atomic<bool> vanished_{false};
  std::atomic<uint32_t> bytes_transferred_{0};
};

}  // namespace flovir
