#include "cli/line_options.h"

#include <CLI/CLI.hpp>
#include <charconv>

#include "operations/line_tables.h"

namespace flovir::cli {

namespace {

using Apply = std::string (*)(LineOptions&, const std::string&);

// An option that takes a value: its name, the value's form, what it means
// with its default, and how its text becomes a setting (a message naming the
// option when it cannot).
struct Option {
  const char* name;
  const char* value;
  const char* help;
  const char* default_text;
  Apply apply;
};

std::string NumberOption(const char* name, const std::string& text, unsigned long low,
                         unsigned long high, unsigned long& value) {
  if (ParseNumber(text, low, high, value)) return {};
  return std::string(name) + ": '" + text + "' is not a number from " + std::to_string(low) +
         " to " + std::to_string(high);
}

template <typename T>
std::string SmallNumber(const char* name, const std::string& text, unsigned long low,
                        unsigned long high, T& target) {
  unsigned long value = 0;
  std::string error = NumberOption(name, text, low, high, value);
  if (error.empty()) target = static_cast<T>(value);
  return error;
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
  return "--baud: '" + text + "' is not one of 1200 2400 4800 9600 19200 38400 57600 115200";
}

std::string ApplyParity(LineOptions& o, const std::string& text) {
  if (text == "none")
    o.settings.line.parity = Parity::None;
  else if (text == "odd")
    o.settings.line.parity = Parity::Odd;
  else if (text == "even")
    o.settings.line.parity = Parity::Even;
  else
    return "--parity: '" + text + "' is not none, odd or even";
  return {};
}

std::string ApplyStop(LineOptions& o, const std::string& text) {
  if (text == "1")
    o.settings.line.stop_bits = StopBits::One;
  else if (text == "2")
    o.settings.line.stop_bits = StopBits::Two;
  else
    return "--stop: '" + text + "' is not 1 or 2";
  return {};
}

std::string ApplyLineType(LineOptions& o, const std::string& text) {
  o.settings.framing = WireFraming::Rtu;
  if (text == "direct") {
    o.settings.type = ConnectionType::Direct;
  } else if (text == "gsm") {
    o.settings.type = ConnectionType::Gsm;
  } else if (text == "dialup") {
    o.settings.type = ConnectionType::DialUp;
  } else if (text == "tcp") {
    o.settings.type = ConnectionType::TcpIp;
  } else if (text == "modbus-tcp") {
    o.settings.type = ConnectionType::TcpIp;
    o.settings.framing = WireFraming::ModbusTcp;
  } else {
    return "--line: '" + text + "' is not direct, gsm, dialup, tcp or modbus-tcp";
  }
  return {};
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
    {"--baud", "N", "1200 2400 4800 9600 19200 38400 57600 115200", "9600", ApplyBaud},
    {"--parity", "none|odd|even", "parity", "none", ApplyParity},
    {"--stop", "1|2", "stop bits", "1", ApplyStop},
    {"--address", "N", "slave address of the meter, 1-247", "1",
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--address", v, kAddressField.low, kAddressField.high,
                          o.settings.address);
     }},
    {"--timeout", "MS", "answer timeout in milliseconds; on the network also\nthe time to connect",
     "3000",
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--timeout", v, kAnswerTimeoutField.low, kAnswerTimeoutField.high,
                          o.settings.answer_timeout_ms);
     }},
    {"--attempts", "N", "tries of every frame", "3",
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--attempts", v, 0, 255, o.settings.attempts);
     }},
    {"--chunk", "N", "registers per frame", "64",
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--chunk", v, 0, 255, o.settings.chunk_size);
     }},
    {"--line", "direct|gsm|dialup|tcp|modbus-tcp",
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
  app.add_flag("--demo", options.demo,
               "talk to the built-in simulated meter (behind a simulated\n"
               "modem, converter or gateway, as --line says)")
      ->disable_flag_override();
  app.add_flag_callback(
         "--pulse", [&options] { options.settings.dial_mode = DialMode::Pulse; },
         "dial-up: pulse dialling instead of tone")
      ->disable_flag_override();
}

}  // namespace flovir::cli
