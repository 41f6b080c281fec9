#pragma once
// The slave's end of a serial line, as the devices of the simulator see it.
// The server (meter_server.h) owns the pseudo-terminal and calls a LineDevice
// with whatever the master sends; the device answers through the Line. The
// meter is one such device (MeterLineDevice); a modem in front of it is
// another, which passes bytes on to the meter's device in data mode.
//
// Every call into a LineDevice comes from the server's one line thread, so a
// device needs no lock for the state that only the line touches.

#include <chrono>
#include <cstdint>
#include <span>

namespace flovir::sim {

// The character format that the master set on its end of the line, read
// from the pseudo-terminal. The Linux pty keeps the baud rate, the stop bits
// and the odd-parity flag, but clears the parity-enable flag: "no parity"
// and "even parity" look alike, so only odd parity is seen.
struct LineFormat {
  unsigned baud = 9600;  // 0 when the master set B0 (hang up)
  bool odd_parity = false;
  bool two_stop_bits = false;

  // Bit times of one character on the wire: start, 8 data bits, the parity
  // bit if any, one or two stop bits.
  unsigned BitsPerByte() const { return 10 + (odd_parity ? 1 : 0) + (two_stop_bits ? 1 : 0); }
  bool operator==(const LineFormat&) const = default;
};

// What a device can do with the line. Only valid inside the LineDevice call
// that received it.
class Line {
 public:
  virtual ~Line() = default;
  // The master's present line format.
  virtual LineFormat Format() const = 0;
  // The time one character takes on the wire in that format; zero when the
  // server does not pace the line (or the master hung it up).
  virtual std::chrono::nanoseconds CharacterTime() const = 0;
  // Sends bytes to the master, paced at the master's baud rate unless the
  // server runs without pacing. Returns when the last byte has left; bytes
  // that the master does not take (nobody reads the line) are lost.
  virtual void Send(std::span<const uint8_t> bytes) = 0;
  // Keeps the line quiet for the given time (turnaround, gaps, delays);
  // returns early when the server stops.
  virtual void Wait(std::chrono::nanoseconds duration) = 0;
  // True once the server has been asked to stop.
  virtual bool Stopping() const = 0;
};

class LineDevice {
 public:
  virtual ~LineDevice() = default;
  // Bytes from the master, in the order and the pieces they arrived in.
  virtual void Received(std::span<const uint8_t> bytes, Line& line) = 0;
  // Called every few milliseconds while nothing arrives, so that a device can
  // act on silence (the end of a frame, a modem's guard time).
  virtual void Tick(Line& line) = 0;
};

}  // namespace flovir::sim
