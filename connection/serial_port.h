#pragma once
// The serial port on Linux: termios for the line format; the reads, writes
// and timeouts are those of every descriptor port. One thread may read or
// write while another purges or closes the port.

#include <string>

#include "connection/descriptor_port.h"

namespace flovir {

class SerialPort : public DescriptorPort {
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
  // The driver's queues are sized by the kernel; kept for the open sequence.
  bool SetQueueSizes(uint32_t input, uint32_t output);

  LineSettings GetLineSettings() override;
  // 8 data bits, no flow control, DTR and RTS off. False for a speed the
  // driver does not know or a closed port.
  bool SetLineSettings(const LineSettings& settings) override;
  void Purge() override;

 private:
  void BeforeClose(int fd) override;
};

}  // namespace flovir
