#include "operations/settings.h"

#include <algorithm>
#include <limits>

#include "operations/line_tables.h"

namespace flovir {

namespace {

constexpr const char* kBadLineFormat = "Неверный формат линии";

// The network line's address, when it is the one in use.
std::string HostError(const Settings& settings) {
  std::string host, port;
  if (settings.type != ConnectionType::TcpIp || SplitHostPort(settings.host, host, port)) return {};
  return "Поле \"адрес:порт\": \"" + settings.host +
         "\" не является адресом вида узел:порт (порт от 1 до 65535)";
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The field's value, or the status naming it.
std::optional<uint32_t> ParseField(const NumberField& field, const std::string& text,
                                   std::string& error) {
  const std::optional<uint32_t> value = ParseDecimal(text);
  if (value && InRange(field, *value)) return value;
  error = FieldError(field, text);
  return std::nullopt;
}

bool ValidLineFormat(const LineFormat& line) {
  return std::find(BaudTable.begin(), BaudTable.end(), line.baud_rate) != BaudTable.end() &&
         std::find(ParityTable.begin(), ParityTable.end(), line.parity) != ParityTable.end() &&
         std::find(StopBitsTable.begin(), StopBitsTable.end(), line.stop_bits) !=
             StopBitsTable.end();
}

}  // namespace

bool InRange(const NumberField& field, uint64_t value) {
  return value >= field.low && value <= field.high;
}

std::string RangeWords(const NumberField& field) {
  if (field.high == std::numeric_limits<uint32_t>::max()) {
    return "a whole number from " + std::to_string(field.low) + " up (kept modulo 256)";
  }
  return "a whole number from " + std::to_string(field.low) + " to " + std::to_string(field.high);
}

std::string FieldError(const NumberField& field, const std::string& text) {
  std::string error = std::string("Поле \"") + field.label + "\": \"" + text + "\" ";
  if (field.low == 0 && field.high == std::numeric_limits<uint32_t>::max()) {
    return error + "не является целым неотрицательным числом";
  }
  return error + "не является целым числом от " + std::to_string(field.low) + " до " +
         std::to_string(field.high);
}

std::optional<uint32_t> ParseDecimal(const std::string& text) {
  size_t at = 0, end = text.size();
  while (at < end && IsBlank(text[at])) ++at;
  while (end > at && IsBlank(text[end - 1])) --end;
  if (at < end && text[at] == '+') ++at;
  if (at == end) return std::nullopt;
  uint64_t value = 0;
  for (; at < end; ++at) {
    const char c = text[at];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::optional<LineFormat> LineFormatOf(int baud_index, int parity_index, int stop_bits_index) {
  const auto within = [](int index, size_t size) {
    return index >= 0 && static_cast<size_t>(index) < size;
  };
  if (!within(baud_index, BaudTable.size()) || !within(parity_index, ParityTable.size()) ||
      !within(stop_bits_index, StopBitsTable.size())) {
    return std::nullopt;
  }
  return LineFormat{BaudTable[static_cast<size_t>(baud_index)],
                    ParityTable[static_cast<size_t>(parity_index)],
                    StopBitsTable[static_cast<size_t>(stop_bits_index)]};
}

SettingsResult ParseSettings(const SettingsFields& fields) {
  std::string error;
  const auto address = ParseField(kAddressField, fields.address, error);
  if (!address) return {std::nullopt, error};
  const auto attempts = ParseField(kAttemptsField, fields.attempts, error);
  if (!attempts) return {std::nullopt, error};
  const auto chunk_size = ParseField(kChunkSizeField, fields.chunk_size, error);
  if (!chunk_size) return {std::nullopt, error};
  const auto timeout = ParseField(kAnswerTimeoutField, fields.answer_timeout, error);
  if (!timeout) return {std::nullopt, error};
  const auto line = LineFormatOf(fields.baud_index, fields.parity_index, fields.stop_bits_index);
  if (!line) return {std::nullopt, kBadLineFormat};
  const bool dials = fields.type == ConnectionType::Gsm || fields.type == ConnectionType::DialUp;
  if (dials && fields.number.find_first_not_of(" \t") == std::string::npos) {
    return {std::nullopt,
            std::string("Поле \"") + kNumberLabel + "\" не заполнено: модему нечего набирать"};
  }

  Settings settings;
  settings.port_name = fields.port_name;
  settings.type = fields.type;
  settings.line = *line;
  settings.number = fields.number;
  settings.init_string = fields.init_string;
  settings.dial_mode = fields.dial_mode;
  settings.answer_timeout_ms = *timeout;
  settings.address = static_cast<uint8_t>(*address);
  settings.attempts = static_cast<uint8_t>(*attempts);  // modulo 256
  settings.chunk_size = static_cast<uint8_t>(*chunk_size);
  settings.auto_save_name = fields.auto_save_name;
  settings.meter_name = fields.meter_name;
  settings.host = fields.host;
  settings.framing = fields.framing;
  if (std::string error = HostError(settings); !error.empty()) return {std::nullopt, error};
  return {settings, {}};
}

std::string SettingsError(const Settings& settings) {
  if (!InRange(kAddressField, settings.address)) {
    return FieldError(kAddressField, std::to_string(settings.address));
  }
  if (!InRange(kAnswerTimeoutField, settings.answer_timeout_ms)) {
    return FieldError(kAnswerTimeoutField, std::to_string(settings.answer_timeout_ms));
  }
  if (!ValidLineFormat(settings.line)) return kBadLineFormat;
  return HostError(settings);
}

bool SplitHostPort(const std::string& text, std::string& host, std::string& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = text.substr(0, colon);
  port = text.substr(colon + 1);
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') return false;
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string::npos) {
    return false;  // an IPv6 address needs its brackets
  }
  const std::optional<uint32_t> number = ParseDecimal(port);
  return number && *number >= 1 && *number <= 65535 && port.find_first_of(" \t+") == port.npos;
}

}  // namespace flovir
