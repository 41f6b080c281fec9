#pragma once
// The network line: a TCP connection to a converter or a Modbus gateway,
// behind the same port interface as the serial line, so the link and every
// operation run over it unchanged. The five timeouts keep their meaning on
// the socket; the line format belongs to the converter's serial side and is
// only remembered here. Whether the bytes are RTU frames (a transparent
// converter) or Modbus TCP (a gateway) is the link's business.

#include <string>

#include "connection/system_port.h"

namespace flovir {

class TcpPort : public SystemPort {
 public:
  TcpPort() = default;
  ~TcpPort() override;

  // Connects to HOST:PORT (an IPv4 or IPv6 address or a name), trying each
  // address the name has until one answers, all within timeout_ms. Returns
  // false, with the reason in LastError(), when the text is no HOST:PORT,
  // the name is unknown, the connection is refused or the time runs out.
  bool Open(const std::string& host_port, uint32_t timeout_ms);

  // Kept for the converter's serial side, which the converter sets itself.
  LineSettings GetLineSettings() override { return line_; }
  bool SetLineSettings(const LineSettings& settings) override;
  // Drops whatever has arrived and not been read.
  void Purge() override;

 private:
#ifdef _WIN32
  bool ReleaseHandle(Handle handle) override;
#else
  long WriteSome(Handle handle, const uint8_t* data, size_t count) override;
#endif

  LineSettings line_;
};

}  // namespace flovir
