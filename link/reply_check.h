#pragma once
// The checks a reply goes through: zero-byte stripping, validation in the
// order of the protocol, and the early recognition of a complete reply.

#include <cstddef>
#include <cstdint>

#include "link/exchange_request.h"

namespace flovir {

// Removes leading zero bytes (moving the rest down), then trailing zero bytes
// while the reply is longer than expected. Returns the new length.
size_t StripReplyZeros(uint8_t* reply, size_t length, size_t expected);

// The status of a stripped reply: 12 empty, 10 CRC (also below 3 bytes), 9
// other address, the exception's status, 11 wrong length, 0 accepted.
ExchangeStatus CheckReply(const uint8_t* reply, size_t length, size_t expected, uint8_t address);

// Status of an exception reply's code. Codes 1 to 8 are their own statuses;
// 0x0B (gateway target failed to respond) is 16; any other code is 17, so it
// never reads as success or as one of our own failures.
ExchangeStatus ExceptionStatus(uint8_t code);

// True when the bytes received so far, after leading zero bytes, are a
// complete reply: the expected length with a valid CRC, or five bytes of an
// exception reply with a valid CRC.
bool IsCompleteReply(const uint8_t* data, size_t count, size_t expected);

}  // namespace flovir
