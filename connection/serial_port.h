#pragma once
// The serial port: termios on Linux (serial_port.cpp), the comm API on
// Windows (serial_port_windows.cpp); the reads, writes and timeouts are
// those of the platform's ports. One thread may read or write while another
// purges or closes the port.

#include <atomic>
#include <cstdint>
#include <string>

#include "connection/system_port.h"

namespace flovir {

class SerialPort : public SystemPort {
 public:
  SerialPort() = default;
  ~SerialPort() override;

  // "ttyUSB0" names /dev/ttyUSB0; a name with a slash is a path as it stands.
  // On Windows "COM5" names \\.\COM5; a name with a backslash is a path.
  static std::string DevicePath(const std::string& name);

  // Opens the port for this program alone and puts the line into raw mode,
  // keeping its speed and character format. Returns false, with the system's
  // reason in LastError(), when the device is absent, busy or no terminal.
  bool Open(const std::string& name);
  // The system's code of the last Open that failed (errno, GetLastError());
  // 0 after one that succeeded.
  ErrorCode OpenErrorCode() const { return open_error_code_; }
  // The driver's queues; Linux sizes them itself.
  bool SetQueueSizes(uint32_t input, uint32_t output);

#ifdef _WIN32
  // Also hands the five values to the system as they are.
  bool SetTimeouts(const PortTimeouts& timeouts) override;
#endif
  LineSettings GetLineSettings() override;
  // 8 data bits, no flow control, DTR and RTS off. False for a speed the
  // driver does not know or a closed port.
  bool SetLineSettings(const LineSettings& settings) override;
  void Purge() override;

 private:
  bool FailOpen(ErrorCode error, Handle handle) {
    open_error_code_ = error;
    return Fail(error, handle);
  }

  ErrorCode open_error_code_ = 0;
#ifdef _WIN32
  void BeforeReadPiece(Handle handle, uint32_t wait_ms) override;
  bool SetSystemTimeouts(Handle handle, uint32_t read_wait_ms);

  std::atomic<uint32_t> system_read_wait_{0};
  // The silence after which the system ends a piece of a read: three
  // characters at the line's speed. Shorter, a piece would end between two
  // bytes of one reply, and every piece costs a system call.
  std::atomic<uint32_t> piece_gap_ms_{1};
#else
  bool ReleaseHandle(Handle handle) override;
#endif
};

}  // namespace flovir
