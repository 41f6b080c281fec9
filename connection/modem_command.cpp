#include "connection/modem_command.h"

#include <algorithm>
#include <cstdint>

namespace flovir {

namespace {
constexpr size_t kMaxCommand = 255;
constexpr size_t kMaxReply = 100;
}  // namespace

std::string ModemCommand(Port& port, std::string_view command) {
  const std::string_view sent = command.substr(0, kMaxCommand);
  port.Write(reinterpret_cast<const uint8_t*>(sent.data()), sent.size());
  uint8_t reply[kMaxReply];
  const uint32_t received = port.Read(reply, sizeof reply);
  return std::string(reinterpret_cast<const char*>(reply), received);
}

bool StripModemReply(std::string& reply) {
  std::erase_if(reply, [](char c) { return static_cast<unsigned char>(c) < 16; });
  if (reply.size() < 2 || !reply.ends_with("OK")) return false;
  reply.resize(reply.size() - 2);
  return true;
}

}  // namespace flovir
