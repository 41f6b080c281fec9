#pragma once
// The simulated ФЛОВИР meter without any transport: a Modbus-RTU slave that
// takes request frames and returns reply frames. MeterServer (meter_server.h)
// puts it on a pseudo-terminal; tests may also call it directly.
//
// Register map (every 32-bit value low-order word first):
//   0-63     read: current values (volumes, operating times, mains time, the
//            clock, flows, channel statuses, volume scale codes).
//   0-2      write: a command. A write that ends at register 2 runs the
//            command held in registers 0-2 (so a selector sent in two frames,
//            registers 0-1 then register 2, works as one):
//              reg 0 = year%100 << 8 | month, reg 1 = day << 8 | hour,
//              reg 2 = value type << 8 | kind.
//            Kinds 0, 1, 2 (hourly, daily, monthly) with value type 0
//            (interval) or, for kinds 1 and 2, 1 (integrator) select the
//            entry that registers 200-225 show from then on. Kind 255 sets
//            the clock; register 2's high byte is then the minutes and the
//            seconds become 0. A date, hour or kind that does not exist is
//            refused with exception 3 and changes nothing.
//   200-225  read: the selected archive entry, as it was when selected (all
//            zero before the first selection).
//   400-911  read and write: the parameter block, 256 float32 values.
//   880-1135 read: the test block that the program's test page polls with
//            its chunk size; 880-911 are the last parameter registers,
//            912-1135 the live flow rates of channels 1-4 as float32, over
//            and over.
// A read or write must lie wholly inside one block, else exception 2.
// Function codes other than 3 and 16 get exception 1; a register count out
// of range or a byte count that does not match it, exception 3. Frames with
// a bad CRC, of the wrong length, or for another slave address get no reply;
// slave address 0 (broadcast) runs a write without replying.
//
// Archive data. Every hour since the meter's first day has a deterministic
// hourly entry computed from its date and hour alone: volume counts V1-V4,
// operating times B1-B4 and MainsTime in 1/10000 h, event bits now and then
// (a power cut shortens the mains and operating times of an hour). An hour
// is recorded once it has ended by the meter's clock and began on or after
// 00:00 of the first day. From the recorded hours:
//   hourly interval (kind 0, type 0) at D h: that hour's entry, once
//     recorded (the running hour has none yet);
//   daily interval (kind 1, type 0) at D: the sum of D's recorded hours;
//   monthly interval (kind 2, type 0) at month M: the sum of M's recorded
//     hours;
//   daily integrator (kind 1, type 1) at D: the sum of every recorded hour
//     before 00:00 of D, so integrator(D + 1) - integrator(D) is the sum of
//     D's 24 hourly entries;
//   monthly integrator (kind 2, type 1) at M: the sum of every recorded hour
//     before 00:00 of the 1st of M.
// An interval entry whose interval lies wholly before the first day or
// begins after the meter's clock, and an integrator reading whose moment
// lies before 00:00 of the first day or after the clock, holds the no-data
// marker 0xFFFFFFFF in V1-V4 and B1-B4, and zero MainsTime and event words.
// Event bits (three per channel: X failure, < below minimum, > above
// maximum, at bits 2, 0, 1 of channel 1 and three bits higher per channel)
// lie in EventWordA for channels 1-2 and EventWordB for channels 3-4 in
// hourly and monthly entries, and all in both words in daily entries.
// Integrator readings carry the running MainsTime and no event bits.
//
// The current values are the integrators at the meter's clock: the recorded
// hours plus the elapsed part of the running hour. The clock runs from the
// time source plus the offset that the last clock write set.
//
// Every public member is safe to call from any thread.

#include <array>
#include <chrono>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace flovir::sim {

// A calendar date and time of day on the meter's (local, zone-less) clock.
struct MeterDateTime {
  int year = 2000, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
  auto operator<=>(const MeterDateTime&) const = default;
};

// Where "now" comes from. The default is the computer's local time.
using TimeSource = std::function<MeterDateTime()>;
MeterDateTime ComputerLocalTime();

enum class ArchiveKind : uint8_t { kHourly = 0, kDaily = 1, kMonthly = 2 };
enum class ArchiveValueType : uint8_t { kInterval = 0, kIntegrator = 1 };

inline constexpr uint32_t kNoData = 0xFFFFFFFF;

// One archive entry as registers 200-225 show it.
struct ArchiveEntry {
  std::array<uint32_t, 4> volume{};     // V1-V4, counts
  std::array<uint32_t, 4> operating{};  // B1-B4, 1/10000 h
  uint32_t mains = 0;                   // MainsTime, 1/10000 h
  uint32_t event_a = 0;
  uint32_t event_b = 0;
  bool operator==(const ArchiveEntry&) const = default;
  // The 26 registers of the window: V, B, mains, two unused, the event
  // words, two unused.
  std::array<uint16_t, 26> Registers() const;
};

// A fault that the meter plays on its replies, on request.
enum class FaultKind : uint8_t {
  kException,      // exception `count` instead of the reply
  kOtherAddress,   // the reply comes from slave address + 1, with a valid CRC
  kBadCrc,         // the CRC's low byte inverted
  kLeadingZero,    // one 0x00 byte before the reply
  kTrailingZeros,  // `count` 0x00 bytes after the reply
  kStray,          // `duration` before the reply, a valid frame of its length that
                   // answers another request (a read of input registers, a
                   // write to the registers after these)
  kTwice,          // the reply again, `duration` after it
  kSplitReply,     // the reply stops after half its bytes for `duration`
  kDelay,          // the reply starts `duration` later than usual; beyond the
                   // master's answer timeout it is a late reply, and requests
                   // that came meanwhile are answered right after it
  kNoAnswer,       // silence
  kStoreOther,     // a write to register `count` keeps the written value plus one
                   // there, and is acknowledged as usual (a meter that clamps or
                   // refuses a value in silence)
  kCut,            // the line is dead: frames no longer reach the meter, which
                   // neither obeys nor answers them
};

// Several faults may be in force at once; they act in the order of the
// kinds above.
struct FaultPlan {
  FaultKind kind = FaultKind::kNoAnswer;
  unsigned every = 1;                      // hits replies every, 2 * every, ...; 1 hits all
  unsigned limit = 0;                      // wears off after hitting this many replies; 0 never
  unsigned count = 2;                      // trailing zero bytes, or the exception code
  std::chrono::milliseconds duration{80};  // split gap or extra delay
  unsigned after = 0;                      // lets this many replies pass before it acts
};

// A reply and how it is to be timed on the line.
struct Reply {
  std::vector<uint8_t> bytes;  // empty: the meter stays silent
  size_t split_at = 0;         // non-zero: a pause of `gap` after this many bytes
  std::chrono::milliseconds gap{0};
  std::chrono::milliseconds delay{0};  // added to the turnaround time
  std::vector<uint8_t> stray;          // non-empty: sent `stray_gap` before the reply
  std::chrono::milliseconds stray_gap{0};
  bool twice = false;  // the reply is sent again `twice_gap` after it
  std::chrono::milliseconds twice_gap{0};
};

struct MeterOptions {
  uint8_t address = 1;
  // The first day of the archives lies this many days before the clock's
  // date when the meter is created.
  int history_days = 400;
  std::array<float, 4> scale_codes{3, 3, 2, 1};  // VolumeScaleCode 1-4
  TimeSource clock{};                            // empty: ComputerLocalTime
};

class SimulatedMeter {
 public:
  explicit SimulatedMeter(MeterOptions options = {});

  // The reply to one request frame (the whole frame, CRC included), with
  // the faults in force applied. Empty bytes mean silence.
  Reply Answer(const uint8_t* frame, size_t length);
  // The bytes of Answer alone.
  std::vector<uint8_t> HandleFrame(const uint8_t* frame, size_t length);

  uint8_t Address() const;
  // The meter's clock now.
  MeterDateTime Clock() const;
  // The clock as the last clock write set it, if any.
  std::optional<MeterDateTime> LastClockSet() const;
  // 00:00 of this date is where the archives begin.
  MeterDateTime FirstDay() const;

  // The entry the meter holds for the kind, value type and date-hour, as a
  // selection at this moment would show it. Fields not used by the kind (the
  // hour of a daily entry, the day of a monthly one) are ignored; the others
  // must name a real date and hour.
  ArchiveEntry Entry(ArchiveKind kind, ArchiveValueType type, const MeterDateTime& when) const;
  // Registers 0-63 at this moment.
  std::array<uint16_t, 64> CurrentValues() const;

  // Registers 400-911.
  std::array<uint16_t, 512> ParameterRegisters() const;
  float Parameter(size_t index) const;  // value 0-255
  void SetParameter(size_t index, float value);

  // A failed channel (1-4) reports ChannelStatus 0 and flow 0.
  void SetChannelFailed(int channel, bool failed);
  void SetScaleCode(int channel, float code);

  // Replaces the faults in force; an empty list ends them. Counting of
  // `every` and `limit` starts again.
  void SetFaults(std::vector<FaultPlan> faults);

  // Every frame handed to the meter, whatever its address or CRC, oldest
  // first (the last 4096).
  std::vector<std::vector<uint8_t>> ReceivedFrames() const;
  void ClearReceivedFrames();

 private:
  struct ActiveFault {
    FaultPlan plan;
    unsigned hits = 0;
  };

  std::vector<uint8_t> Execute(const uint8_t* frame, size_t length);
  std::vector<uint8_t> ReadRegisters(uint16_t start, uint16_t count);
  std::vector<uint8_t> WriteRegisters(const uint8_t* frame, uint16_t start, uint16_t count);
  uint8_t RunCommand();
  bool LineCut() const;
  std::optional<uint16_t> StoreOtherRegister() const;
  void ApplyFaults(Reply& reply, uint8_t function);
  int64_t NowSeconds() const;  // the meter's clock, seconds of the local epoch
  ArchiveEntry EntryAt(ArchiveKind kind, ArchiveValueType type, const MeterDateTime& when,
                       int64_t now) const;
  std::array<uint16_t, 64> CurrentValuesAt(int64_t now) const;

  mutable std::mutex mutex_;
  MeterOptions options_;
  int64_t clock_offset_ = 0;  // seconds added to the time source
  std::optional<MeterDateTime> last_clock_set_;
  int64_t first_day_ = 0;  // days of the local epoch
  std::array<uint16_t, 3> command_{};
  std::array<uint16_t, 26> window_{};
  std::array<uint16_t, 512> parameters_{};
  std::array<bool, 4> failed_{};
  std::vector<ActiveFault> faults_;
  unsigned replies_ = 0;
  std::vector<std::vector<uint8_t>> received_;
};

}  // namespace flovir::sim
