#include "link/reply_check.h"

#include <cstring>

#include "link/exchange_request.h"

namespace flovir {

namespace {

bool CrcMatches(const uint8_t* frame, size_t length) {
  const uint16_t crc = ModbusCrc(frame, length - 2);
  return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}

constexpr size_t kExceptionLength = 5;

}  // namespace

size_t StripReplyZeros(uint8_t* reply, size_t length, size_t expected) {
  size_t leading = 0;
  while (leading < length && reply[leading] == 0) ++leading;
  if (leading > 0) {
    std::memmove(reply, reply + leading, length - leading);
    length -= leading;
  }
  while (length > expected && reply[length - 1] == 0) --length;
  return length;
}

ExchangeStatus ExceptionStatus(uint8_t code) {
  // Codes 1 to 8 are the statuses of the same numbers.
  if (code >= 1 && code <= 8) return static_cast<ExchangeStatus>(code);
  return code == 0x0B ? ExchangeStatus::RemoteNotAnswering : ExchangeStatus::RemoteExchangeError;
}

ExchangeStatus CheckReply(const uint8_t* reply, size_t length, size_t expected,
                          const uint8_t* request) {
  if (length == 0) return ExchangeStatus::Timeout;
  // Below three bytes there is no frame to check a CRC over.
  if (length < 3 || !CrcMatches(reply, length)) return ExchangeStatus::BadCrc;
  if (reply[0] != request[0]) return ExchangeStatus::WrongAddress;
  const uint8_t function = request[1];
  if (reply[1] & 0x80) {
    if (length != kExceptionLength) return ExchangeStatus::DataLost;
    if ((reply[1] & 0x7F) != function) return ExchangeStatus::UnsupportedFunction;
    return ExceptionStatus(reply[2]);
  }
  if (reply[1] != function) return ExchangeStatus::UnsupportedFunction;
  if (length != expected) return ExchangeStatus::DataLost;
  const bool answers = function == kReadHoldingRegisters
                           ? reply[2] == 2 * (request[4] << 8 | request[5])
                           : std::memcmp(reply + 2, request + 2, 4) == 0;  // start and count echoed
  return answers ? ExchangeStatus::Success : ExchangeStatus::DataLost;
}

bool IsValidFrame(const uint8_t* data, size_t count) {
  size_t leading = 0;
  while (leading < count && data[leading] == 0) ++leading;
  return count - leading >= 4 && CrcMatches(data + leading, count - leading);
}

bool IsCompleteReply(const uint8_t* data, size_t count, size_t expected) {
  size_t leading = 0;
  while (leading < count && data[leading] == 0) ++leading;
  const uint8_t* frame = data + leading;
  const size_t length = count - leading;
  if (length == expected && length >= 3) return CrcMatches(frame, length);
  return length == kExceptionLength && (frame[1] & 0x80) && CrcMatches(frame, length);
}

}  // namespace flovir
