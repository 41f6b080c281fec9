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

// The status of a stripped reply to the RTU request frame: 12 empty, 10 CRC
// (also below 3 bytes), 9 other address, 18 another function (also for an
// exception), the exception's status, 11 wrong length, 11 a function 3 byte
// count other than twice the registers asked for or a function 16 echo of
// another start or count, 0 accepted. A late reply to an earlier request can
// be a valid frame of the right length: what the frame repeats of the
// request is all it can be told by.
ExchangeStatus CheckReply(const uint8_t* reply, size_t length, size_t expected,
                          const uint8_t* request);

// True when the bytes, after leading zero bytes, are one frame with a valid
// CRC.
bool IsValidFrame(const uint8_t* data, size_t count);

// Status of an exception reply's code. Codes 1 to 8 are their own statuses;
// 0x0B (gateway target failed to respond) is 16; any other code is 17, so it
// never reads as success or as one of our own failures.
ExchangeStatus ExceptionStatus(uint8_t code);

// True when the bytes received so far, after leading zero bytes, are a
// complete reply: the expected length with a valid CRC, or five bytes of an
// exception reply with a valid CRC.
bool IsCompleteReply(const uint8_t* data, size_t count, size_t expected);

}  // namespace flovir
