#pragma once
// The serial line as the link and the modem dialogues see it. The semantics
// are those of a Windows comm port, on which the meter's protocol timing was
// built: a read returns when its buffer is full, when more than the interval
// timeout passes between two bytes, or when multiplier * requested bytes +
// constant milliseconds have passed since it began.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flovir {

enum class Parity : uint8_t { None = 0, Odd = 1, Even = 2 };
enum class StopBits : uint8_t { One = 0, Two = 1 };

// The members of the line format that the program sets; data bits are always
// 8 and the flag word (flow control, DTR, RTS) always 0.
struct LineSettings {
  uint32_t BaudRate = 9600;
  uint8_t DataBits = 8;
  Parity parity = Parity::None;
  StopBits stopBits = StopBits::One;
  uint32_t Flags = 0;
  bool operator==(const LineSettings&) const = default;
};

// All values in milliseconds; 0 in the interval means no interval limit, and
// 0 in both total values means no total limit (Windows semantics).
struct PortTimeouts {
  uint32_t ReadInterval = 0;
  uint32_t ReadMultiplier = 0;
  uint32_t ReadConstant = 0;
  uint32_t WriteMultiplier = 0;
  uint32_t WriteConstant = 0;
  bool operator==(const PortTimeouts&) const = default;
};

// Called after every chunk of bytes a read receives, with everything received
// so far in that read; returning true ends the read at once. The link uses it
// to stop waiting as soon as a complete reply has arrived.
using ReadComplete = std::function<bool(const uint8_t* data, size_t count)>;

class Port {
 public:
  virtual ~Port() = default;

  virtual bool IsOpen() const = 0;
  virtual LineSettings GetLineSettings() = 0;
  virtual bool SetLineSettings(const LineSettings& settings) = 0;
  virtual bool SetTimeouts(const PortTimeouts& timeouts) = 0;
  virtual PortTimeouts GetTimeouts() const = 0;
  // Discards pending bytes in both directions.
  virtual void Purge() = 0;
  // Returns the byte count written (the BytesTransferred of the write).
  virtual uint32_t Write(const uint8_t* data, size_t count) = 0;
  // Reads up to capacity bytes under the timeouts; returns the count read.
  // A failed read (closed or vanished port) returns 0 without busy waiting.
  virtual uint32_t Read(uint8_t* data, size_t capacity, const ReadComplete& complete = {}) = 0;
  // Byte count of the last write or read.
  virtual uint32_t BytesTransferred() const = 0;
  // True once the device has gone (an adapter pulled out, the other end of
  // a pseudo-terminal closed): nothing will pass again until it is reopened.
  // The read or write that finds this out returns at once.
  virtual bool Lost() const { return false; }
  // The name the port was opened by, for the user's messages.
  virtual std::string Name() const { return {}; }
};

}  // namespace flovir
