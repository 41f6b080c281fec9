#include "cli/line_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>

#include "operations/line_tables.h"
#include "operations/words.h"
#include "workbook/serial_date.h"

namespace flovir::cli {

namespace {

using Apply = std::string (*)(LineOptions&, const std::string&);

// An option that takes a value: its name, the value's form, what it means
// with its default, and how its text becomes a setting (a message naming the
// option when it cannot).
struct Option {
  std::string name;
  std::string value;
  std::string help;
  std::string default_text;
  Apply apply;
};

// A number setting of the settings page, in the page's range.
template <typename T>
std::string NumberSetting(const char* name, const NumberField& field, const std::string& text,
                          T& target) {
  unsigned long value = 0;
  if (!ParseNumber(text, field.low, field.high, value)) {
    return std::string(name) + ": '" + text + "' is not " + RangeWords(field);
  }
  target = static_cast<T>(value);  // attempts and chunk modulo 256, as the page keeps them
  return {};
}

// A word of one of the core's tables.
template <typename T, size_t N>
std::string WordSetting(const char* name, const std::array<Word<T>, N>& table,
                        const std::string& text, T& target) {
  const T* value = FindWord(table, text);
  if (value == nullptr) {
    return std::string(name) + ": '" + text + "' is not " + WordList(table, ", ", " or ");
  }
  target = *value;
  return {};
}

std::string BaudWords() {
  std::string list;
  for (uint32_t baud : BaudTable) list += (list.empty() ? "" : " ") + std::to_string(baud);
  return list;
}

std::string ApplyBaud(LineOptions& o, const std::string& text) {
  unsigned long value = 0;
  ParseNumber(text, 1, 1000000, value);
  for (uint32_t baud : BaudTable) {
    if (baud == value) {
      o.settings.line.baud_rate = baud;
      return {};
    }
  }
  return "--baud: '" + text + "' is not one of " + BaudWords();
}

std::string ApplyLineType(LineOptions& o, const std::string& text) {
  LineChoice line;
  std::string error = WordSetting("--line", kLineWords, text, line);
  o.settings.type = line.type;
  o.settings.framing = line.framing;
  return error;
}

std::string ApplyHost(LineOptions& o, const std::string& text) {
  std::string host, port;
  if (!SplitHostPort(text, host, port)) {
    return "--host: '" + text +
           "' is not HOST:PORT (a name, an IPv4 address or an IPv6 address in brackets, and a "
           "port from 1 to 65535)";
  }
  o.settings.host = text;
  return {};
}

const Option kOptions[] = {
    {"--port", "NAME|PATH", "serial port: a name from 'flovir-cli ports' or a path", "none",
     [](LineOptions& o, const std::string& v) {
       o.settings.port_name = v;
       return v.empty() ? std::string("--port: empty port name") : std::string();
     }},
    {"--baud", "N", BaudWords(), "9600", ApplyBaud},
    {"--parity", WordList(kParityWords, "|"), "parity", "none",
     [](LineOptions& o, const std::string& v) {
       return WordSetting("--parity", kParityWords, v, o.settings.line.parity);
     }},
    {"--stop", WordList(kStopBitsWords, "|"), "stop bits", "1",
     [](LineOptions& o, const std::string& v) {
       return WordSetting("--stop", kStopBitsWords, v, o.settings.line.stop_bits);
     }},
    {"--address", "N", "slave address of the meter, 1-247", "1",
     [](LineOptions& o, const std::string& v) {
       return NumberSetting("--address", kAddressField, v, o.settings.address);
     }},
    {"--timeout", "MS", "answer timeout in milliseconds; on the network also\nthe time to connect",
     "3000",
     [](LineOptions& o, const std::string& v) {
       return NumberSetting("--timeout", kAnswerTimeoutField, v, o.settings.answer_timeout_ms);
     }},
    {"--attempts", "N", "tries of every frame", "3",
     [](LineOptions& o, const std::string& v) {
       return NumberSetting("--attempts", kAttemptsField, v, o.settings.attempts);
     }},
    {"--chunk", "N", "registers per frame", "64",
     [](LineOptions& o, const std::string& v) {
       return NumberSetting("--chunk", kChunkSizeField, v, o.settings.chunk_size);
     }},
    {"--line", WordList(kLineWords, "|"),
     "direct: the port is cabled to the meter;\n"
     "gsm, dialup: a modem on the port calls the meter's modem\n"
     "for the command and hangs up after it;\n"
     "tcp: a converter at --host passes the RTU frames;\n"
     "modbus-tcp: a Modbus TCP gateway at --host",
     "direct", ApplyLineType},
    {"--host", "HOST:PORT", "the converter or gateway of --line tcp and modbus-tcp", "none",
     ApplyHost},
    {"--number", "N", "the number to dial", "none",
     [](LineOptions& o, const std::string& v) { return (o.settings.number = v, std::string()); }},
    {"--init", "TEXT", "the local modem's initialisation string", "AT&FE0V1",
     [](LineOptions& o, const std::string& v) {
       return (o.settings.init_string = v, std::string());
     }},
};

}  // namespace

bool ParseNumber(const std::string& text, unsigned long low, unsigned long high,
                 unsigned long& value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* begin = text.data() + (hex ? 2 : 0);
  const char* end = text.data() + text.size();
  unsigned long parsed = 0;
  const auto [stop, error] = std::from_chars(begin, end, parsed, hex ? 16 : 10);
  if (text.empty() || error != std::errc() || stop != end || parsed < low || parsed > high) {
    return false;
  }
  value = parsed;
  return true;
}

void AddLineOptions(CLI::App& app, LineOptions& options) {
  for (const Option& option : kOptions) {
    app.add_option_function<std::string>(
           option.name,
           [&options, apply = option.apply](const std::string& value) {
             if (std::string error = apply(options, value); !error.empty()) {
               throw CLI::ValidationError(error);
             }
           },
           option.help)
        ->type_name(option.value)
        ->default_str(option.default_text);
  }
  app.add_flag("--trace", options.trace, "the frames sent and received, on standard error")
      ->disable_flag_override();
  app.add_flag("--trace-times", options.trace_times,
               "as --trace, each frame after its time in ms since the\n"
               "operation began and the gap since the frame before")
      ->disable_flag_override();
  app.add_flag("--stats", options.stats,
               "after the command, the line's statistics on standard error:\n"
               "tries, repeats, timeouts, CRC errors, reply times")
      ->disable_flag_override();
  app.add_flag("--demo", options.demo,
               "talk to the built-in simulated meter (behind a simulated\n"
               "modem, converter or gateway, as --line says)")
      ->disable_flag_override();
  app.add_flag_callback(
         "--pulse", [&options] { options.settings.dial_mode = DialMode::Pulse; },
         "dial-up: pulse dialling instead of tone")
      ->disable_flag_override();
}

bool ParseDate(const std::string& text, double& date) {
  int day = 0, month = 0, year = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%2d.%2d.%4d%c", &day, &month, &year, &tail) != 3) return false;
  if (year < 1900 || year > 9999 || month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, month)) return false;
  date = EncodeDate(year, month, day);
  return true;
}

}  // namespace flovir::cli
