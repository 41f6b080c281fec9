#pragma once
// The settings page as typed values, and the one place that turns the
// fields' texts into them. Each numeric field's range is stated here once;
// a field that is not a whole number in its range stops whatever was to
// start (a connection, an operation) with a status text naming the field.
// The window parses its fields with ParseSettings when the user starts
// something; flovir-cli fills Settings from its options directly.

#include <cstdint>
#include <optional>
#include <string>

#include "link/mbap.h"
#include "link/port.h"

namespace flovir {

// "прямое", "GSM", "Dial-Up", "TCP/IP" (a converter or a Modbus TCP gateway)
enum class ConnectionType : uint8_t { Direct, Gsm, DialUp, TcpIp };
enum class DialMode : uint8_t { Tone, Pulse };  // "тоновый"/"импульсный набор номера"

// The serial format of the line: a speed of BaudTable, a parity and a stop
// bit count of the lists; always 8 data bits.
struct LineFormat {
  uint32_t baud_rate = 9600;
  Parity parity = Parity::None;
  StopBits stop_bits = StopBits::One;
  bool operator==(const LineFormat&) const = default;
};

// Everything the settings page holds, typed.
struct Settings {
  // The line: Connection and the modem dialogue.
  std::string port_name;  // the listed name ("ttyUSB0") or a path
  ConnectionType type = ConnectionType::Direct;
  LineFormat line;
  std::string number;                    // the number to dial
  std::string init_string = "AT&FE0V1";  // empty sends "AT&FE0V1"
  DialMode dial_mode = DialMode::Tone;
  uint32_t answer_timeout_ms = 3000;
  // TCP/IP: "адрес:порт" (HOST:PORT) and "RTU поверх TCP" or "Modbus TCP".
  std::string host;
  WireFraming framing = WireFraming::Rtu;
  // The requests: the dispatcher, when an operation starts.
  uint8_t address = 1;                   // the meter's slave address, 1 to 247
  uint8_t attempts = 3;                  // tries of every frame; 0 fails every request (status 14)
  uint8_t chunk_size = 64;               // registers per frame; 0 fails every request (status 14)
  std::string auto_save_name = "авто_";  // the auto-save folder beside the program
  // The name the meter is known by in the history; empty: named after the line.
  std::string meter_name;
};

// The fields as the window holds them: the edit boxes' texts and the
// selected items of the lists (indexes into BaudTable, ParityTable and
// StopBitsTable of line_tables.h).
struct SettingsFields {
  std::string port_name;
  ConnectionType type = ConnectionType::Direct;
  int baud_index = 3;  // 9600
  int parity_index = 0;
  int stop_bits_index = 0;
  std::string number;
  std::string init_string = "AT&FE0V1";
  DialMode dial_mode = DialMode::Tone;
  std::string answer_timeout = "3000";  // "Тайм-аут ожидания ответа, мс"
  std::string address = "1";            // "Адрес:"
  std::string attempts = "3";  // "Число попыток запросов при сбоях в связи"
  std::string chunk_size = "64";  // "Длина запрашиваемых данных (количество регистров )"
  std::string auto_save_name = "авто_";  // "Имя файла для автосохранения :"
  std::string host;                      // "адрес:порт"
  WireFraming framing = WireFraming::Rtu;
  std::string meter_name;  // "Имя прибора"
};

// A numeric field: its label on the settings page and the values it takes.
// Attempts and chunk size take any whole number and keep it modulo 256, as
// the one-byte fields of the request hold them (256 becomes 0, which the
// link answers with its own status).
struct NumberField {
  const char* label;
  uint32_t low;
  uint32_t high;
};
inline constexpr NumberField kAddressField{"Адрес:", 1, 247};
inline constexpr NumberField kAttemptsField{"Число попыток запросов при сбоях в связи", 0,
                                            UINT32_MAX};
inline constexpr NumberField kChunkSizeField{"Длина запрашиваемых данных (количество регистров )",
                                             0, UINT32_MAX};
// An hour at most; 0 would let a read of a silent line wait for ever.
inline constexpr NumberField kAnswerTimeoutField{"Тайм-аут ожидания ответа, мс", 1, 3600000};

// The phone number the GSM and dial-up lines dial; they refuse an empty one.
inline constexpr const char* kNumberLabel = "номер для дозвона";

struct SettingsResult {
  std::optional<Settings> settings;
  std::string error;  // the status text naming the bad field, when settings is empty
};

// The fields parsed and checked, the first bad one named in error.
SettingsResult ParseSettings(const SettingsFields& fields);

// Typed settings checked against the same ranges (and the line format
// against the lists): the status text naming the first bad field, or an
// empty text.
std::string SettingsError(const Settings& settings);

// "host:port", "[v6 address]:port": false when the text is not of that form
// or the port is not a number from 1 to 65535.
bool SplitHostPort(const std::string& text, std::string& host, std::string& port);

// The status text of a numeric field whose text is not a number in range.
std::string FieldError(const NumberField& field, const std::string& text);

bool InRange(const NumberField& field, uint64_t value);
// The range in the words of the command line and the fleet file: "a whole
// number from 1 to 247", "a whole number from 0 up (kept modulo 256)".
std::string RangeWords(const NumberField& field);

// The selected items of the lists as a line format; empty for an index
// outside its list.
std::optional<LineFormat> LineFormatOf(int baud_index, int parity_index, int stop_bits_index);

// A decimal integer with optional surrounding blanks and an optional "+";
// empty when the text is anything else (a sign "-" included) or does not fit
// 32 bits.
std::optional<uint32_t> ParseDecimal(const std::string& text);

}  // namespace flovir
