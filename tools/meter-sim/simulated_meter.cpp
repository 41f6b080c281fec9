#include "tools/meter-sim/simulated_meter.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <ctime>
#ifdef _WIN32
#include <windows.h>
#endif

#include "tools/meter-sim/meter_archive.h"
#include "tools/meter-sim/modbus_frame.h"

namespace flovir::sim {
namespace {

constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalAddress = 2;
constexpr uint8_t kIllegalValue = 3;
constexpr uint8_t kBroadcast = 0;
constexpr uint8_t kClockCommand = 255;
constexpr size_t kFrameLogLimit = 4096;

struct Block {
  uint16_t first;
  uint16_t count;
  bool Contains(uint16_t start, uint16_t n) const {
    return start >= first && start + n <= first + count;
  }
};
constexpr Block kCurrentValues{0, 64};
constexpr Block kCommand{0, 3};
constexpr Block kWindow{200, 26};
constexpr Block kParameters{400, 512};
constexpr Block kTest{880, 256};

void PutU32(uint16_t* regs, uint32_t value) {
  regs[0] = static_cast<uint16_t>(value & 0xFFFF);
  regs[1] = static_cast<uint16_t>(value >> 16);
}
void PutFloat(uint16_t* regs, float value) {
  PutU32(regs, std::bit_cast<uint32_t>(value));
}
uint16_t Pack(int high, int low) {
  return static_cast<uint16_t>((high & 0xFF) << 8 | (low & 0xFF));
}

// A frame of the reply's length, with a valid CRC, that answers another
// request: the same registers read as input registers (function 4), or a
// write to the registers after these. Exceptions get none.
std::vector<uint8_t> StrayFrame(const std::vector<uint8_t>& reply) {
  if (reply.size() < 7 || (reply[1] & 0x80)) return {};
  std::vector<uint8_t> stray(reply.begin(), reply.end() - 2);
  if (stray[1] == kReadHolding) {
    stray[1] = 4;
  } else {
    const uint16_t next =
        static_cast<uint16_t>(BigEndianWord(&stray[2]) + BigEndianWord(&stray[4]));
    stray[2] = static_cast<uint8_t>(next >> 8);
    stray[3] = static_cast<uint8_t>(next & 0xFF);
  }
  AppendCrc(stray);
  return stray;
}

ArchiveEntry NoDataEntry() {
  ArchiveEntry entry;
  entry.volume.fill(kNoData);
  entry.operating.fill(kNoData);
  return entry;
}

}  // namespace

MeterDateTime ComputerLocalTime() {
#ifdef _WIN32
  // As the program's clock: the system's, not the C runtime's reading of TZ.
  SYSTEMTIME local{};
  GetLocalTime(&local);
  return {local.wYear, local.wMonth,  local.wDay,
          local.wHour, local.wMinute, std::min<int>(local.wSecond, 59)};
#else
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     std::min(local.tm_sec, 59)};
#endif
}

std::array<uint16_t, 26> ArchiveEntry::Registers() const {
  std::array<uint16_t, 26> regs{};
  for (int c = 0; c < 4; ++c) {
    PutU32(&regs[2 * c], volume[c]);
    PutU32(&regs[8 + 2 * c], operating[c]);
  }
  PutU32(&regs[16], mains);
  PutU32(&regs[20], event_a);
  PutU32(&regs[22], event_b);
  return regs;
}

SimulatedMeter::SimulatedMeter(MeterOptions options) : options_(std::move(options)) {
  if (!options_.clock) options_.clock = ComputerLocalTime;
  first_day_ = NowSeconds() / kSecondsPerDay - options_.history_days;
  const std::array<float, 256> values = InitialParameters();
  for (size_t i = 0; i < values.size(); ++i) PutFloat(&parameters_[2 * i], values[i]);
}

int64_t SimulatedMeter::NowSeconds() const {
  return ToSeconds(options_.clock()) + clock_offset_;
}

uint8_t SimulatedMeter::Address() const {
  std::lock_guard lock(mutex_);
  return options_.address;
}

MeterDateTime SimulatedMeter::Clock() const {
  std::lock_guard lock(mutex_);
  return FromSeconds(NowSeconds());
}

std::optional<MeterDateTime> SimulatedMeter::LastClockSet() const {
  std::lock_guard lock(mutex_);
  return last_clock_set_;
}

MeterDateTime SimulatedMeter::FirstDay() const {
  std::lock_guard lock(mutex_);
  return FromSeconds(first_day_ * kSecondsPerDay);
}

ArchiveEntry SimulatedMeter::Entry(ArchiveKind kind, ArchiveValueType type,
                                   const MeterDateTime& when) const {
  std::lock_guard lock(mutex_);
  return EntryAt(kind, type, when, NowSeconds());
}

ArchiveEntry SimulatedMeter::EntryAt(ArchiveKind kind, ArchiveValueType type,
                                     const MeterDateTime& when, int64_t now) const {
  const int64_t first_hour = first_day_ * 24;
  const int64_t now_hour = now / kSecondsPerHour;  // hours before it have ended
  const int64_t recorded_end = std::max(first_hour, now_hour);
  // In hours: the interval [begin, end), or for an integrator the moment `begin`.
  const int day_of_month = kind == ArchiveKind::kMonthly ? 1 : when.day;
  int64_t begin = DayNumber(when.year, when.month, day_of_month) * 24;
  int64_t end = begin;
  switch (kind) {
    case ArchiveKind::kHourly:
      begin += when.hour;
      end = begin + 1;
      break;
    case ArchiveKind::kDaily:
      end = begin + 24;
      break;
    case ArchiveKind::kMonthly:
      end = begin + 24 * DaysInMonth(when.year, when.month);
      break;
  }
  if (type == ArchiveValueType::kIntegrator) {
    if (begin < first_hour || begin * kSecondsPerHour > now) return NoDataEntry();
    Totals totals = SumHours(first_hour, std::min(begin, recorded_end));
    totals.marks = 0;
    return totals.ToEntry(kind);
  }
  if (end <= first_hour || begin * kSecondsPerHour > now) return NoDataEntry();
  if (kind == ArchiveKind::kHourly && begin >= now_hour) return NoDataEntry();  // still running
  return SumHours(std::max(begin, first_hour), std::min(end, recorded_end)).ToEntry(kind);
}

std::array<uint16_t, 64> SimulatedMeter::CurrentValues() const {
  std::lock_guard lock(mutex_);
  return CurrentValuesAt(NowSeconds());
}

std::array<uint16_t, 64> SimulatedMeter::CurrentValuesAt(int64_t now) const {
  const int64_t first_hour = first_day_ * 24;
  const int64_t now_hour = now / kSecondsPerHour;
  Totals totals = SumHours(first_hour, now_hour);
  const Totals running = HourlyAmounts(now_hour);
  if (now_hour >= first_hour) {
    // The running hour counts in proportion to the part of it gone by.
    const uint64_t elapsed = static_cast<uint64_t>(now - now_hour * kSecondsPerHour);
    for (int c = 0; c < 4; ++c) {
      totals.volume[c] += running.volume[c] * elapsed / kSecondsPerHour;
      totals.operating[c] += running.operating[c] * elapsed / kSecondsPerHour;
    }
    totals.mains += running.mains * elapsed / kSecondsPerHour;
  }
  const ArchiveEntry entry = totals.ToEntry(ArchiveKind::kHourly);
  std::array<uint16_t, 64> regs{};
  for (int c = 0; c < 4; ++c) {
    PutU32(&regs[2 * c], entry.volume[c]);
    PutU32(&regs[8 + 2 * c], entry.operating[c]);
  }
  PutU32(&regs[16], entry.mains);
  const MeterDateTime t = FromSeconds(now);
  regs[18] = Pack(t.day, t.hour);
  regs[19] = Pack(t.year % 100, t.month);
  regs[29] = Pack(t.minute, t.second);
  const uint64_t minute = static_cast<uint64_t>(now / 60);
  for (int c = 0; c < 4; ++c) {
    // The flow of the running hour, wandering by up to 2 % from minute to minute.
    const float wander = 1.0f + static_cast<float>((minute * 7 + c * 13) % 41) / 1000.0f - 0.02f;
    const float flow =
        static_cast<float>(running.volume[c]) * VolumeScale(options_.scale_codes[c]) * wander;
    PutFloat(&regs[40 + 2 * c], failed_[c] ? 0.0f : flow);
    PutFloat(&regs[48 + 2 * c], failed_[c] ? 0.0f : 1.0f);
    PutFloat(&regs[56 + 2 * c], options_.scale_codes[c]);
  }
  return regs;
}

std::array<uint16_t, 512> SimulatedMeter::ParameterRegisters() const {
  std::lock_guard lock(mutex_);
  return parameters_;
}

float SimulatedMeter::Parameter(size_t index) const {
  std::lock_guard lock(mutex_);
  if (index >= 256) return 0;
  return std::bit_cast<float>(static_cast<uint32_t>(parameters_[2 * index]) |
                              static_cast<uint32_t>(parameters_[2 * index + 1]) << 16);
}

void SimulatedMeter::SetParameter(size_t index, float value) {
  std::lock_guard lock(mutex_);
  if (index < 256) PutFloat(&parameters_[2 * index], value);
}

void SimulatedMeter::SetChannelFailed(int channel, bool failed) {
  std::lock_guard lock(mutex_);
  if (channel >= 1 && channel <= 4) failed_[channel - 1] = failed;
}

void SimulatedMeter::SetScaleCode(int channel, float code) {
  std::lock_guard lock(mutex_);
  if (channel >= 1 && channel <= 4) options_.scale_codes[channel - 1] = code;
}

void SimulatedMeter::SetFaults(std::vector<FaultPlan> faults) {
  std::lock_guard lock(mutex_);
  faults_.clear();
  for (const FaultPlan& plan : faults) faults_.push_back({plan, 0});
  // Faults act in a fixed order whatever order they were given in: what the
  // reply says first, then how its bytes are framed, then its timing.
  std::stable_sort(faults_.begin(), faults_.end(), [](const ActiveFault& a, const ActiveFault& b) {
    return a.plan.kind < b.plan.kind;
  });
  replies_ = 0;
  injected_.clear();
}

std::map<FaultKind, unsigned> SimulatedMeter::InjectedFaults() const {
  std::lock_guard lock(mutex_);
  return injected_;
}

std::vector<std::vector<uint8_t>> SimulatedMeter::ReceivedFrames() const {
  std::lock_guard lock(mutex_);
  return received_;
}

void SimulatedMeter::ClearReceivedFrames() {
  std::lock_guard lock(mutex_);
  received_.clear();
}

std::vector<uint8_t> SimulatedMeter::HandleFrame(const uint8_t* frame, size_t length) {
  return Answer(frame, length).bytes;
}

Reply SimulatedMeter::Answer(const uint8_t* frame, size_t length) {
  std::lock_guard lock(mutex_);
  Reply reply;
  if (LineCut()) return reply;
  if (received_.size() >= kFrameLogLimit) received_.erase(received_.begin());
  received_.emplace_back(frame, frame + length);
  reply.bytes = Execute(frame, length);
  if (!reply.bytes.empty()) ApplyFaults(reply, frame[1]);
  return reply;
}

std::vector<uint8_t> SimulatedMeter::Execute(const uint8_t* frame, size_t length) {
  if (length < 4 || !HasValidCrc(frame, length)) return {};
  const uint8_t address = frame[0];
  if (address != options_.address && address != kBroadcast) return {};
  const uint8_t function = frame[1];
  std::vector<uint8_t> reply;
  if (function == kReadHolding) {
    if (length != 8) return {};
    reply = ReadRegisters(BigEndianWord(frame + 2), BigEndianWord(frame + 4));
  } else if (function == kWriteMultiple) {
    if (length < 9 || length != 9u + frame[6]) return {};
    reply = WriteRegisters(frame, BigEndianWord(frame + 2), BigEndianWord(frame + 4));
  } else {
    reply = ExceptionReply(address, function, kIllegalFunction);
  }
  if (address == kBroadcast) return {};  // a broadcast is obeyed, never answered
  return reply;
}

std::vector<uint8_t> SimulatedMeter::ReadRegisters(uint16_t start, uint16_t count) {
  const uint8_t address = options_.address;
  if (count == 0 || count > 125) return ExceptionReply(address, kReadHolding, kIllegalValue);
  std::vector<uint16_t> regs;
  if (kCurrentValues.Contains(start, count)) {
    const auto block = CurrentValuesAt(NowSeconds());
    regs.assign(block.begin() + start, block.begin() + start + count);
  } else if (kWindow.Contains(start, count)) {
    regs.assign(window_.begin() + (start - kWindow.first),
                window_.begin() + (start - kWindow.first) + count);
  } else if (kParameters.Contains(start, count)) {
    regs.assign(parameters_.begin() + (start - kParameters.first),
                parameters_.begin() + (start - kParameters.first) + count);
  } else if (kTest.Contains(start, count)) {
    const auto current = CurrentValuesAt(NowSeconds());
    for (uint16_t r = start; r < start + count; ++r) {
      if (kParameters.Contains(r, 1)) {
        regs.push_back(parameters_[r - kParameters.first]);
      } else {
        // The flow rates, registers 40-47, over and over.
        regs.push_back(current[40 + (r - (kParameters.first + kParameters.count)) % 8]);
      }
    }
  } else {
    return ExceptionReply(address, kReadHolding, kIllegalAddress);
  }
  std::vector<uint8_t> reply{address, kReadHolding, static_cast<uint8_t>(2 * count)};
  for (uint16_t value : regs) {
    reply.push_back(static_cast<uint8_t>(value >> 8));
    reply.push_back(static_cast<uint8_t>(value & 0xFF));
  }
  AppendCrc(reply);
  return reply;
}

std::vector<uint8_t> SimulatedMeter::WriteRegisters(const uint8_t* frame, uint16_t start,
                                                    uint16_t count) {
  const uint8_t address = options_.address;
  if (count == 0 || count > 123 || frame[6] != 2 * count) {
    return ExceptionReply(address, kWriteMultiple, kIllegalValue);
  }
  const uint8_t* data = frame + 7;
  if (kCommand.Contains(start, count)) {
    for (uint16_t i = 0; i < count; ++i) command_[start + i] = BigEndianWord(data + 2 * i);
    if (start + count == kCommand.count) {
      const uint8_t code = RunCommand();
      if (code != 0) return ExceptionReply(address, kWriteMultiple, code);
    }
  } else if (kParameters.Contains(start, count)) {
    const std::optional<uint16_t> other = StoreOtherRegister();
    for (uint16_t i = 0; i < count; ++i) {
      const uint16_t written = BigEndianWord(data + 2 * i);
      parameters_[start - kParameters.first + i] =
          other == start + i ? static_cast<uint16_t>(written + 1) : written;
    }
  } else {
    return ExceptionReply(address, kWriteMultiple, kIllegalAddress);
  }
  std::vector<uint8_t> reply(frame, frame + 6);
  reply[0] = address;
  AppendCrc(reply);
  return reply;
}

// Runs the command in registers 0-2; returns 0 or the exception code.
uint8_t SimulatedMeter::RunCommand() {
  MeterDateTime when;
  when.year = 2000 + (command_[0] >> 8);
  when.month = command_[0] & 0xFF;
  when.day = command_[1] >> 8;
  when.hour = command_[1] & 0xFF;
  const int kind = command_[2] & 0xFF;
  const int type = command_[2] >> 8;
  if (when.month < 1 || when.month > 12) return kIllegalValue;
  if (kind == kClockCommand) {
    when.minute = type;
    if (!IsValidDate(when.year, when.month, when.day) || when.hour > 23 || when.minute > 59) {
      return kIllegalValue;
    }
    clock_offset_ = ToSeconds(when) - ToSeconds(options_.clock());
    last_clock_set_ = when;
    return 0;
  }
  if (kind > 2 || type > 1) return kIllegalValue;
  const auto archive = static_cast<ArchiveKind>(kind);
  const auto value_type = static_cast<ArchiveValueType>(type);
  if (archive == ArchiveKind::kHourly && value_type == ArchiveValueType::kIntegrator) {
    return kIllegalValue;  // the meter keeps integrators by day and by month only
  }
  if (archive != ArchiveKind::kMonthly && !IsValidDate(when.year, when.month, when.day)) {
    return kIllegalValue;
  }
  if (archive == ArchiveKind::kHourly && when.hour > 23) return kIllegalValue;
  window_ = EntryAt(archive, value_type, when, NowSeconds()).Registers();
  return 0;
}

bool SimulatedMeter::LineCut() const {
  return std::any_of(faults_.begin(), faults_.end(), [this](const ActiveFault& fault) {
    return fault.plan.kind == FaultKind::kCut && replies_ >= fault.plan.after;
  });
}

std::optional<uint16_t> SimulatedMeter::StoreOtherRegister() const {
  for (const ActiveFault& fault : faults_) {
    if (fault.plan.kind == FaultKind::kStoreOther && replies_ >= fault.plan.after) {
      return static_cast<uint16_t>(fault.plan.count);
    }
  }
  return std::nullopt;
}

void SimulatedMeter::ApplyFaults(Reply& reply, uint8_t function) {
  ++replies_;
  std::vector<FaultKind> applied;
  for (ActiveFault& fault : faults_) {
    const FaultPlan& plan = fault.plan;
    if (replies_ <= plan.after) continue;
    if (plan.limit != 0 && fault.hits >= plan.limit) continue;
    if (replies_ % std::max(plan.every, 1u) != 0) continue;
    ++fault.hits;
    std::vector<uint8_t>& bytes = reply.bytes;
    if (bytes.empty()) break;  // an earlier fault already silenced it
    applied.push_back(plan.kind);
    switch (plan.kind) {
      case FaultKind::kException:
        bytes = ExceptionReply(bytes[0], function, static_cast<uint8_t>(plan.count));
        break;
      case FaultKind::kOtherAddress:
        bytes[0] = static_cast<uint8_t>(bytes[0] + 1);
        bytes.pop_back();  // the old CRC
        bytes.pop_back();
        AppendCrc(bytes);
        break;
      case FaultKind::kBadCrc:
        bytes[bytes.size() - 2] ^= 0xFF;
        break;
      case FaultKind::kLeadingZero:
        bytes.insert(bytes.begin(), 0);
        break;
      case FaultKind::kTrailingZeros:
        bytes.insert(bytes.end(), plan.count, 0);
        break;
      case FaultKind::kStray:
        reply.stray = StrayFrame(bytes);
        reply.stray_gap = plan.duration;
        break;
      case FaultKind::kTwice:
        reply.twice = true;
        reply.twice_gap = plan.duration;
        break;
      case FaultKind::kNoAnswer:
        bytes.clear();
        break;
      case FaultKind::kSplitReply:
        reply.split_at = std::max<size_t>(bytes.size() / 2, 1);
        reply.gap = plan.duration;
        break;
      case FaultKind::kDelay:
        reply.delay += plan.duration;
        break;
      case FaultKind::kStoreOther:  // acted on the write itself
      case FaultKind::kCut:         // acted before the frame arrived
        break;
    }
  }
  // Silence hides whatever else the reply would have carried.
  if (reply.bytes.empty()) applied = {FaultKind::kNoAnswer};
  for (FaultKind kind : applied) ++injected_[kind];
}

}  // namespace flovir::sim
