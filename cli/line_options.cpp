#include "cli/line_options.h"

#include <charconv>
#include <cstdio>
#include <system_error>

#include "cli/commands.h"
#include "cli/modem_line.h"
#include "operations/line_tables.h"
#include "tools/meter-sim/meter_server.h"
#include "tools/meter-sim/simulated_meter.h"

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
      o.line.BaudRate = baud;
      return {};
    }
  }
  return "--baud: '" + text + "' is not one of 1200 2400 4800 9600 19200 38400 57600 115200";
}

std::string ApplyParity(LineOptions& o, const std::string& text) {
  if (text == "none")
    o.line.parity = Parity::None;
  else if (text == "odd")
    o.line.parity = Parity::Odd;
  else if (text == "even")
    o.line.parity = Parity::Even;
  else
    return "--parity: '" + text + "' is not none, odd or even";
  return {};
}

std::string ApplyStop(LineOptions& o, const std::string& text) {
  if (text == "1")
    o.line.stopBits = StopBits::One;
  else if (text == "2")
    o.line.stopBits = StopBits::Two;
  else
    return "--stop: '" + text + "' is not 1 or 2";
  return {};
}

std::string ApplyLineType(LineOptions& o, const std::string& text) {
  if (text == "direct")
    o.line_type = ConnectionType::Direct;
  else if (text == "gsm")
    o.line_type = ConnectionType::Gsm;
  else if (text == "dialup")
    o.line_type = ConnectionType::DialUp;
  else
    return "--line: '" + text + "' is not direct, gsm or dialup";
  return {};
}

const Option kOptions[] = {
    {"--port", true,
     [](LineOptions& o, const std::string& v) {
       o.port = v;
       return v.empty() ? std::string("--port: empty port name") : std::string();
     }},
    {"--baud", true, ApplyBaud},
    {"--parity", true, ApplyParity},
    {"--stop", true, ApplyStop},
    {"--address", true,
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--address", v, 1, 247, o.address);
     }},
    {"--timeout", true,
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--timeout", v, 1, 600000, o.timeout_ms);
     }},
    {"--attempts", true,
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--attempts", v, 0, 255, o.attempts);
     }},
    {"--chunk", true,
     [](LineOptions& o, const std::string& v) {
       return SmallNumber("--chunk", v, 0, 255, o.chunk);
     }},
    {"--trace", false,
     [](LineOptions& o, const std::string&) { return (o.trace = true, std::string()); }},
    {"--demo", false,
     [](LineOptions& o, const std::string&) { return (o.demo = true, std::string()); }},
    {"--line", true, ApplyLineType},
    {"--number", true,
     [](LineOptions& o, const std::string& v) { return (o.number = v, std::string()); }},
    {"--init", true,
     [](LineOptions& o, const std::string& v) { return (o.init = v, std::string()); }},
    {"--pulse", false,
     [](LineOptions& o, const std::string&) { return (o.pulse = true, std::string()); }},
    {"--help", false,
     [](LineOptions& o, const std::string&) { return (o.help = true, std::string()); }},
};

const Option* FindOption(const std::string& name) {
  for (const Option& option : kOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// Trace lines as they come, from the exchange thread; stdio locks each call.
class StderrTrace : public ExchangeTrace {
 public:
  void Append(const std::string& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
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

CliLink::CliLink(const LineOptions& options) : options_(options) {}

std::unique_ptr<CliLink> CliLink::Open(const LineOptions& options) {
  std::unique_ptr<CliLink> link(new CliLink(options));
  std::string path = options.port;
  if (options.demo) {
    try {
      link->meter_ = std::make_unique<sim::SimulatedMeter>();
      if (options.line_type != ConnectionType::Direct) {
        link->demo_modem_ = std::make_unique<DemoModemLine>(*link->meter_);
        path = link->demo_modem_->SlavePath();
      } else {
        link->server_ = std::make_unique<sim::MeterServer>(*link->meter_);
        path = link->server_->SlavePath();
      }
    } catch (const std::system_error& e) {
      std::fprintf(stderr, "Не удалось открыть порт\n%s\n", e.what());
      return nullptr;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "Не удалось открыть порт\nno port given: use --port NAME or --demo\n");
    return nullptr;
  }
  SerialPort& port = link->port_;
  if (!port.Open(path)) {
    std::fprintf(stderr, "Не удалось открыть порт\n%s: %s\n", path.c_str(),
                 port.LastError().c_str());
    return nullptr;
  }
  port.SetQueueSizes(256, 256);
  if (options.line_type == ConnectionType::Direct) {
    port.SetLineSettings(options.line);
  } else {
    // The dialogue leaves the port at the format it gave the modem.
    if (!CallModem(port, options)) return nullptr;
    link->modem_call_ = true;
  }
  port.SetTimeouts({50, 0, options.timeout_ms, 0, 0});
  if (options.trace) link->trace_ = std::make_unique<StderrTrace>();
  CliLink* self = link.get();
  link->thread_ = std::make_unique<ExchangeThread>(
      port, link->request_, link->executor_, [self] { self->completed_(); }, link->trace_.get());
  return link;
}

CliLink::~CliLink() {
  if (modem_call_) {
    thread_.reset();  // the hang-up needs the line to itself
    HangUpModem(port_, options_);
  }
  port_.Close();
  thread_.reset();
  if (server_) server_->Stop();
}

uint8_t CliLink::Transfer(uint8_t function, uint16_t start, uint16_t count, uint8_t* data) {
  request_.SlaveAddress = options_.address;
  request_.FunctionCode = function;
  request_.StartRegister = start;
  request_.RegisterCount = count;
  request_.ChunkSize = options_.chunk;
  request_.Attempts = options_.attempts;
  request_.DataCursor = data;
  request_.StopRequested = false;
  request_.OperationDone = false;
  RunOperation([this] { EndOperation(); });
  return request_.Status;
}

void CliLink::RunOperation(std::function<void()> completed) {
  completed_ = std::move(completed);
  operation_done_ = false;
  thread_->Wake();
  executor_.RunUntil([this] { return operation_done_; });
}

void CliLink::EndOperation() {
  thread_->Sleep();
  operation_done_ = true;
}

}  // namespace flovir::cli
