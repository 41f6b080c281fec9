#pragma once
// The words each setting takes, in one table per setting: the command line
// of flovir-cli, the fleet file, the machine-readable outputs, the help texts
// and the window's lists all read them here. A new line type is one row.
//
//   const LineChoice* line = FindWord(kLineWords, "modbus-tcp");
//   WordOf(kParityWords, Parity::Odd)  -> "odd"
//   WordList(kParityWords, "|")        -> "none|odd|even"
//   WordList(kParityWords, ", ", " or ") -> "none, odd or even"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/mbap.h"
#include "link/port.h"
#include "operations/register_map.h"
#include "operations/settings.h"
#include "reports/report_kind.h"

namespace flovir {

// One word: as it is typed and written (`word`), as the window shows it
// (`caption`, empty where the window has no list for it), and its value.
template <typename T>
struct Word {
  std::string_view word;
  std::string_view caption;
  T value;
};

// A line type: the connection and, on the network, how frames travel.
struct LineChoice {
  ConnectionType type = ConnectionType::Direct;
  WireFraming framing = WireFraming::Rtu;
  bool operator==(const LineChoice&) const = default;
};

inline constexpr std::array<Word<LineChoice>, 5> kLineWords{{
    {"direct", "прямое", {ConnectionType::Direct, WireFraming::Rtu}},
    {"gsm", "GSM", {ConnectionType::Gsm, WireFraming::Rtu}},
    {"dialup", "Dial-Up", {ConnectionType::DialUp, WireFraming::Rtu}},
    {"tcp", "RTU поверх TCP", {ConnectionType::TcpIp, WireFraming::Rtu}},
    {"modbus-tcp", "Modbus TCP", {ConnectionType::TcpIp, WireFraming::ModbusTcp}},
}};

// The connection types as the window's radio buttons and its stored
// settings name them.
inline constexpr std::array<Word<ConnectionType>, 4> kConnectionTypeWords{{
    {"direct", "прямое", ConnectionType::Direct},
    {"gsm", "GSM", ConnectionType::Gsm},
    {"dialup", "Dial-Up", ConnectionType::DialUp},
    {"tcp", "TCP/IP", ConnectionType::TcpIp},
}};

// The network protocols of the window's list "протокол".
inline constexpr std::array<Word<WireFraming>, 2> kFramingWords{{
    {"rtu", "RTU поверх TCP", WireFraming::Rtu},
    {"modbus-tcp", "Modbus TCP", WireFraming::ModbusTcp},
}};

inline constexpr std::array<Word<Parity>, 3> kParityWords{{
    {"none", "нет", Parity::None},
    {"odd", "нечет", Parity::Odd},
    {"even", "чёт", Parity::Even},
}};

inline constexpr std::array<Word<StopBits>, 2> kStopBitsWords{{
    {"1", "1 стоп-бит", StopBits::One},
    {"2", "2 стоп-бита", StopBits::Two},
}};

inline constexpr std::array<Word<ArchiveKind>, 3> kArchiveWords{{
    {"hourly", "часовой", ArchiveKind::Hourly},
    {"daily", "суточный", ArchiveKind::Daily},
    {"monthly", "месячный", ArchiveKind::Monthly},
}};

inline constexpr std::array<Word<ReportKind>, 5> kReportWords{{
    {"current", "текущие", ReportKind::Current},
    {"daily", "суточный", ReportKind::Daily},
    {"hourly", "часовой", ReportKind::Hourly},
    {"monthly", "месячный", ReportKind::Monthly},
    {"test", "тест", ReportKind::Test},
}};

// What the commands that print values print: the text report, or the values
// the meter sent as CSV or JSON.
enum class OutputFormat { Text, Csv, Json };
inline constexpr std::array<Word<OutputFormat>, 3> kOutputFormatWords{{
    {"text", "", OutputFormat::Text},
    {"csv", "", OutputFormat::Csv},
    {"json", "", OutputFormat::Json},
}};

// The value of a word; null when the table has no such word.
template <typename T, size_t N>
constexpr const T* FindWord(const std::array<Word<T>, N>& table, std::string_view word) {
  for (const Word<T>& row : table) {
    if (row.word == word) return &row.value;
  }
  return nullptr;
}

// The word of a value; empty when the table has none (a value outside the
// enum).
template <typename T, size_t N>
constexpr std::string_view WordOf(const std::array<Word<T>, N>& table, const T& value) {
  for (const Word<T>& row : table) {
    if (row.value == value) return row.word;
  }
  return {};
}

// The row index of a value (a window list's item), or -1.
template <typename T, size_t N>
constexpr int IndexOfValue(const std::array<Word<T>, N>& table, const T& value) {
  for (size_t i = 0; i < N; ++i) {
    if (table[i].value == value) return static_cast<int>(i);
  }
  return -1;
}

// The words joined: "none|odd|even", or with a last separator "none, odd or
// even".
template <typename T, size_t N>
std::string WordList(const std::array<Word<T>, N>& table, std::string_view separator,
                     std::string_view last_separator = {}) {
  std::string list;
  for (size_t i = 0; i < N; ++i) {
    if (i > 0) list += i + 1 == N && !last_separator.empty() ? last_separator : separator;
    list += table[i].word;
  }
  return list;
}

// The line word of settings ("tcp", "modbus-tcp", ...).
inline std::string LineWordOf(const Settings& settings) {
  const WireFraming framing =
      settings.type == ConnectionType::TcpIp ? settings.framing : WireFraming::Rtu;
  return std::string(WordOf(kLineWords, LineChoice{settings.type, framing}));
}

}  // namespace flovir
