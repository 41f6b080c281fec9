#pragma once
// Modbus TCP framing: a request's PDU goes in an MBAP header (transaction
// id, protocol 0, length, unit id) instead of the RTU address and CRC. The
// link builds RTU frames and checks RTU replies; these turn one into the
// other at the wire, so every check of a reply stays in one place.

#include <cstddef>
#include <cstdint>

namespace flovir {

// How the link's frames go over the line.
enum class WireFraming : uint8_t {
  Rtu,        // as built, CRC included: serial lines and transparent converters
  ModbusTcp,  // in an MBAP header, for Modbus TCP gateways
};

inline constexpr size_t kMbapHeaderSize = 7;

// Writes the MBAP form of an RTU request frame (CRC included) to out, the
// unit id being the frame's slave address; returns its length, which is the
// RTU length + 4.
size_t MbapFromRtu(uint16_t transaction, const uint8_t* rtu, size_t rtu_length, uint8_t* out);

// What the bytes received hold for a transaction.
struct MbapReply {
  size_t rtu_length = 0;   // the matching reply in RTU form (with its CRC); 0 for none
  bool malformed = false;  // bytes that are no MBAP frame of protocol 0 arrived
};

// Looks through the MBAP frames received for the reply to the transaction,
// skipping complete frames of other transactions (stale replies of earlier
// tries), and writes it to rtu as address (the unit id), PDU and CRC, so
// the RTU checks of the link apply unchanged. rtu has room for 256 bytes.
MbapReply RtuFromMbap(const uint8_t* wire, size_t count, uint16_t transaction, uint8_t* rtu);

// True once the bytes received hold the complete reply to the transaction.
bool HasMbapReply(const uint8_t* wire, size_t count, uint16_t transaction);

}  // namespace flovir
