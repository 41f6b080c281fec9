#include "connection/meter_search.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <set>
#include <tuple>

#include "connection/modem_search.h"
#include "link/mbap.h"
#include "link/reply_check.h"
#include "operations/line_tables.h"

namespace flovir {

namespace {

constexpr uint8_t kLastAddress = 247;
constexpr uint32_t kTurnRoundMarginMs = 50;
constexpr size_t kProbeReplyLength = 5 + 2 * kProbeRegisterCount;

// Speeds in the order a meter is likely to be set to them.
constexpr std::array<uint32_t, 8> kLikelySpeeds = {9600,   19200, 38400, 57600,
                                                   115200, 4800,  2400,  1200};
constexpr std::array<uint32_t, 5> kCommonSpeeds = {9600, 19200, 38400, 57600, 115200};
// The character formats Modbus lines use: 8N1 is what most meters leave the
// factory with, 8E1 the protocol's own default, then 8O1 and 8N2.
constexpr std::array<std::pair<Parity, StopBits>, 4> kCommonFormats = {{
    {Parity::None, StopBits::One},
    {Parity::Even, StopBits::One},
    {Parity::Odd, StopBits::One},
    {Parity::None, StopBits::Two},
}};

bool Allowed(const SearchScope& scope, const SearchStep& step) {
  return (!scope.baud || *scope.baud == step.line.baud_rate) &&
         (!scope.parity || *scope.parity == step.line.parity) &&
         (!scope.stop_bits || *scope.stop_bits == step.line.stop_bits) &&
         (!scope.address || *scope.address == step.address);
}

// The steps in order, each once, within what the user fixed.
class Order {
 public:
  explicit Order(const SearchScope& scope) : scope_(scope) {}
  void Add(const SearchStep& step) {
    const auto key =
        std::make_tuple(step.line.baud_rate, step.line.parity, step.line.stop_bits, step.address);
    if (Allowed(scope_, step) && seen_.insert(key).second) steps_.push_back(step);
  }
  void AddAddresses(const LineFormat& line) {
    for (unsigned a = 1; a <= kLastAddress; ++a) Add({line, static_cast<uint8_t>(a)});
  }
  std::vector<SearchStep> Take() { return std::move(steps_); }

 private:
  const SearchScope& scope_;
  std::vector<SearchStep> steps_;
  std::set<std::tuple<uint32_t, Parity, StopBits, uint8_t>> seen_;
};

uint32_t BitsPerCharacter(const LineFormat& line) {
  return 10 + (line.parity != Parity::None ? 1 : 0) + (line.stop_bits == StopBits::Two ? 1 : 0);
}

// A reply of this meter to the probe: two float scale codes that it could
// hold (the low byte of a rounded code selects the multiplier).
bool LooksLikeTheMeter(const uint8_t* reply) {
  for (int code = 0; code < 2; ++code) {
    const uint8_t* at = reply + 3 + 4 * code;  // low-order word first, each high byte first
    const uint32_t bits =
        uint32_t{at[2]} << 24 | uint32_t{at[3]} << 16 | uint32_t{at[0]} << 8 | uint32_t{at[1]};
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value) || value < 0 || value > 255) return false;
  }
  return true;
}

void PutProbe(uint8_t address, uint8_t* frame) {
  const uint8_t probe[6] = {address,
                            kReadHoldingRegisters,
                            static_cast<uint8_t>(kProbeFirstRegister >> 8),
                            static_cast<uint8_t>(kProbeFirstRegister & 0xFF),
                            0,
                            static_cast<uint8_t>(kProbeRegisterCount)};
  std::memcpy(frame, probe, sizeof probe);
  const uint16_t crc = ModbusCrc(frame, 6);
  frame[6] = static_cast<uint8_t>(crc & 0xFF);
  frame[7] = static_cast<uint8_t>(crc >> 8);
}

}  // namespace

std::vector<SearchStep> SearchOrder(const Settings& current, const SearchScope& scope) {
  Order order(scope);
  const SearchStep now{current.line, current.address};
  const bool network = current.type == ConnectionType::TcpIp;
  const bool modem = current.type == ConnectionType::Gsm || current.type == ConnectionType::DialUp;
  order.Add(now);
  if (modem) return order.Take();
  if (network) {
    // The converter's line format stays whatever it is: the step's format
    // is only carried along.
    order.AddAddresses(current.line);
    return order.Take();
  }
  const LineFormat factory{9600, Parity::None, StopBits::One};
  order.Add({factory, 1});
  for (uint32_t baud : kLikelySpeeds) {
    for (Parity parity : {Parity::None, Parity::Even, Parity::Odd}) {
      for (StopBits stop : {StopBits::One, StopBits::Two}) order.Add({{baud, parity, stop}, 1});
    }
  }
  // A format the user fixed that is not a common one is still searched.
  if (scope.baud || scope.parity || scope.stop_bits) {
    order.AddAddresses({scope.baud.value_or(current.line.baud_rate),
                        scope.parity.value_or(current.line.parity),
                        scope.stop_bits.value_or(current.line.stop_bits)});
  }
  order.AddAddresses(current.line);
  for (const auto& [parity, stop] : kCommonFormats) {
    for (uint32_t baud : kCommonSpeeds) order.AddAddresses({baud, parity, stop});
  }
  // Fixed parts outside the common formats: every format they allow.
  if (scope.baud || scope.parity || scope.stop_bits) {
    for (uint32_t baud : kLikelySpeeds) {
      for (Parity parity : {Parity::None, Parity::Even, Parity::Odd}) {
        for (StopBits stop : {StopBits::One, StopBits::Two}) {
          order.AddAddresses({baud, parity, stop});
        }
      }
    }
  }
  return order.Take();
}

uint32_t ProbeTimeoutMs(const LineFormat& line) {
  const uint32_t characters = 8 + kProbeReplyLength + 4;
  const uint32_t bits = characters * BitsPerCharacter(line);
  const uint32_t wire_ms =
      (bits * 1000 + line.baud_rate - 1) / std::max<uint32_t>(line.baud_rate, 1);
  return wire_ms + kTurnRoundMarginMs;
}

bool ProbeMeter(Port& port, WireFraming framing, uint8_t address, uint32_t timeout_ms,
                uint8_t& found_address, double& reply_ms) {
  std::array<uint8_t, 8> frame{};
  PutProbe(address, frame.data());
  std::array<uint8_t, 256 + kMbapHeaderSize> wire{};
  std::array<uint8_t, 256> reply{};
  const bool mbap = framing == WireFraming::ModbusTcp;
  static std::atomic<uint16_t> transaction{0};
  const uint16_t id = ++transaction;

  port.SetTimeouts(PortTimeouts{20, 0, timeout_ms, 0, 0});
  port.Purge();
  const auto sent_at = std::chrono::steady_clock::now();
  if (mbap) {
    port.Write(wire.data(), MbapFromRtu(id, frame.data(), frame.size(), wire.data()));
  } else {
    port.Write(frame.data(), frame.size());
  }
  const uint32_t received = port.Read(wire.data(), wire.size(), [&](const uint8_t* d, size_t n) {
    return mbap ? HasMbapReply(d, n, id) : IsCompleteReply(d, n, kProbeReplyLength);
  });
  reply_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent_at).count();
  size_t length = 0;
  if (mbap) {
    length = RtuFromMbap(wire.data(), received, id, reply.data()).rtu_length;
  } else {
    std::memcpy(reply.data(), wire.data(), std::min<size_t>(received, reply.size()));
    length =
        StripReplyZeros(reply.data(), std::min<size_t>(received, reply.size()), kProbeReplyLength);
  }
  const ExchangeStatus status = CheckReply(reply.data(), length, kProbeReplyLength, frame.data());
  // A slow meter's reply to the probe before can only be told by its address.
  const bool late_from_another = status == ExchangeStatus::WrongAddress &&
                                 length == kProbeReplyLength && reply[1] == kReadHoldingRegisters &&
                                 reply[2] == 2 * kProbeRegisterCount && reply[0] != 0;
  if (status != ExchangeStatus::Success && !late_from_another) return false;
  if (!LooksLikeTheMeter(reply.data())) return false;
  found_address = reply[0];
  return true;
}

std::string SearchStepText(const SearchStep& step, bool network) {
  const std::string address = "адрес " + std::to_string(step.address);
  if (network) return address;
  return std::to_string(step.line.baud_rate) + ", " +
         std::string(ParityNames[static_cast<size_t>(step.line.parity)]) + ", " +
         std::string(StopBitsNames[static_cast<size_t>(step.line.stop_bits)]) + ", " + address;
}

SearchResult SearchForMeter(PortProvider& ports, const Settings& settings,
                            const std::vector<SearchStep>& steps,
                            const SearchCallbacks& callbacks) {
  SearchResult result;
  const bool network = settings.type == ConnectionType::TcpIp;
  std::unique_ptr<Port> port;
  if (network) {
    std::string error;
    port = ports.Connect(settings.host, settings.answer_timeout_ms, error);
    if (!port) result.open_error = "Не удалось подключиться к " + settings.host + ": " + error;
  } else {
    port = ports.Open(settings.port_name);
    if (!port) {
      const auto* serial = dynamic_cast<SerialPortProvider*>(&ports);
      result.open_error = PortNoticeText(PortNotice::OpenFailed);
      if (serial && !serial->LastError().empty()) result.open_error += "\n" + serial->LastError();
    }
  }
  if (!port) return result;

  const WireFraming framing = network ? settings.framing : WireFraming::Rtu;
  std::optional<LineFormat> set;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (callbacks.cancelled && callbacks.cancelled()) {
      result.cancelled = true;
      break;
    }
    const SearchStep& step = steps[i];
    if (callbacks.trying) callbacks.trying(step);
    if (callbacks.progress) {
      callbacks.progress("Поиск прибора: " + SearchStepText(step, network),
                         static_cast<int>(i * 100 / steps.size()));
    }
    if (!network && set != step.line) {
      port->SetLineSettings(WithFormat(port->GetLineSettings(), step.line));
      set = step.line;
    }
    const uint32_t timeout = network ? kNetworkProbeTimeoutMs : ProbeTimeoutMs(step.line);
    uint8_t address = 0;
    double reply_ms = 0;
    if (!ProbeMeter(*port, framing, step.address, timeout, address, reply_ms)) {
      if (!port->Lost()) continue;
      // An adapter pulled out is no silent meter.
      result.open_error = LostPortText(network ? settings.host : settings.port_name);
      break;
    }
    bool known = false;
    for (const FoundMeter& f : result.found)
      known = known || f.step == SearchStep{step.line, address};
    if (!known) result.found.push_back({{step.line, address}, reply_ms});
    if (!callbacks.all) break;
  }
  ports.Close(*port);
  return result;
}

}  // namespace flovir
