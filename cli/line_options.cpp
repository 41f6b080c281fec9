#include "cli/line_options.h"

#include <charconv>
#include <cstdio>

#include "cli/commands.h"
#include "operations/line_tables.h"

namespace flovir::cli {

const char* const kLineOptionsHelp =
    "  --port NAME|PATH      serial port: a name from 'flovir-cli ports' or a path\n"
    "  --baud N              1200 2400 4800 9600 19200 38400 57600 115200 (9600)\n"
    "  --parity none|odd|even  (none)\n"
    "  --stop 1|2            stop bits (1)\n"
    "  --address N           slave address of the meter, 1-247 (1)\n"
    "  --timeout MS          answer timeout in milliseconds (3000)\n"
    "  --attempts N          tries of every frame (3)\n"
    "  --chunk N             registers per frame (64)\n"
    "  --trace               the frames sent and received, on standard error\n"
    "  --demo                talk to the built-in simulated meter\n"
    "  --line direct|gsm|dialup  a GSM or dial-up modem on the port calls the\n"
    "                        meter's modem for the command and hangs up after it\n"
    "  --number N            the number to dial\n"
    "  --init TEXT           the local modem's initialisation string (AT&FE0V1)\n"
    "  --pulse               dial-up: pulse dialling instead of tone\n";

namespace {

using Apply = std::string (*)(LineOptions&, const std::string&);

struct Option {
  const char* name;
  bool takes_value;
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
  if (text == "direct")
    o.settings.type = ConnectionType::Direct;
  else if (text == "gsm")
    o.settings.type = ConnectionType::Gsm;
  else if (text == "dialup")
    o.settings.type = ConnectionType::DialUp;
  else
    return "--line: '" + text + "' is not direct, gsm or dialup";
  return {};
}

const Option kOptions[] = {
    {"--port", true,
     [](LineOptions& o, const std::string& v) {
       o.settings.port_name = v;
       return v.empty() ? std::string("--port: empty port name") : std::string();
     }},
    {"--baud", true, ApplyBaud},
    {"--parity", true, ApplyParity},
    {"--stop", true, ApplyStop},
    {"--address", true,
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--address", v, kAddressField.low, kAddressField.high,
                          o.settings.address);
     }},
    {"--timeout", true,
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--timeout", v, kAnswerTimeoutField.low, kAnswerTimeoutField.high,
                          o.settings.answer_timeout_ms);
     }},
    {"--attempts", true,
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--attempts", v, 0, 255, o.settings.attempts);
     }},
    {"--chunk", true,
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--chunk", v, 0, 255, o.settings.chunk_size);
     }},
    {"--trace", false,
     [](LineOptions& o, const std::string&) { return (o.trace = true, std::string()); }},
    {"--demo", false,
     [](LineOptions& o, const std::string&) { return (o.demo = true, std::string()); }},
    {"--line", true, ApplyLineType},
    {"--number", true,
     [](LineOptions& o, const std::string& v) { return (o.settings.number = v, std::string()); }},
    {"--init", true,
     [](LineOptions& o, const std::string& v) {
       return (o.settings.init_string = v, std::string());
     }},
    {"--pulse", false,
     [](LineOptions& o, const std::string&) {
       return (o.settings.dial_mode = DialMode::Pulse, std::string());
     }},
    {"--help", false,
     [](LineOptions& o, const std::string&) { return (o.help = true, std::string()); }},
};

const Option* FindOption(const std::string& name) {
  for (const Option& option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

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

bool LineOptionTakesValue(const std::string& word) {
  const Option* option = FindOption(word);
  return option && option->takes_value;
}

std::string ParseLineOptions(const std::vector<std::string>& args, LineOptions& options,
                             std::vector<std::string>& rest) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const Option* option = word.starts_with("--") ? FindOption(name) : nullptr;
    if (!option) {
      rest.push_back(word);
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      if (!option->takes_value) return name + " takes no value";
      value = word.substr(equals + 1);
    } else if (option->takes_value) {
      if (i + 1 >= args.size()) return name + " needs a value";
      value = args[++i];
    }
    if (std::string error = option->apply(options, value); !error.empty()) return error;
  }
  return {};
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "flovir-cli: %s\n", message.c_str());
  return kExitUsage;
}

}  // namespace flovir::cli
