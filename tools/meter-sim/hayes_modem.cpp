#include "tools/meter-sim/hayes_modem.h"

#include <algorithm>
#include <cctype>

namespace flovir::sim {

namespace {

constexpr const char* kOk = "\r\nOK\r\n";
constexpr const char* kError = "\r\nERROR\r\n";
constexpr size_t kMaxCommandLine = 255;

std::string Result(const std::string& text) {
  return "\r\n" + text + "\r\n";
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The modem hears the computer only when both ends frame characters alike.
bool SameFormat(const LineFormat& a, const LineFormat& b) {
  return a.baud == b.baud && a.odd_parity == b.odd_parity && a.two_stop_bits == b.two_stop_bits;
}

bool IsRate(unsigned baud) {
  static constexpr unsigned kRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
  return std::find(std::begin(kRates), std::end(kRates), baud) != std::end(kRates);
}

// Digits at text[at...]; moves at past them.
unsigned Number(const std::string& text, size_t& at) {
  unsigned value = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
    value = value * 10 + static_cast<unsigned>(text[at++] - '0');
  }
  return value;
}

std::string DialResult(const HayesModemOptions& o) {
  switch (o.dial) {
    case DialOutcome::kConnect:
      return Result("CONNECT 9600");
    case DialOutcome::kBusy:
      return Result("BUSY");
    case DialOutcome::kNoCarrier:
      return Result("NO CARRIER");
    case DialOutcome::kNoAnswer:
      return Result("NO ANSWER");
    case DialOutcome::kVoice:
      return kOk;
    case DialOutcome::kSilence:
      return "";
    case DialOutcome::kCustom:
      return o.custom_dial_reply;
  }
  return "";
}

}  // namespace

HayesModem::HayesModem(LineDevice& meter, HayesModemOptions options)
    : meter_(meter), options_(std::move(options)) {}

HayesModem::Clock::time_point HayesModem::Now() const {
  return options_.clock ? options_.clock() : Clock::now();
}

void HayesModem::Configure(const std::function<void(HayesModemOptions&)>& change) {
  std::lock_guard lock(mutex_);
  change(options_);
}

std::vector<std::string> HayesModem::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

bool HayesModem::InCall() const {
  std::lock_guard lock(mutex_);
  return in_call_;
}

bool HayesModem::DataMode() const {
  std::lock_guard lock(mutex_);
  return data_mode_;
}

LineFormat HayesModem::Format() const {
  std::lock_guard lock(mutex_);
  return options_.format;
}

void HayesModem::Send(const std::string& text, Line& line) {
  if (text.empty()) return;
  line.Send({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

// Device calls come from the line thread only; the lock guards against the
// test's queries, and is never held while bytes go out on the line.
void HayesModem::Received(std::span<const uint8_t> bytes, Line& line) {
  std::string out;
  std::vector<uint8_t> to_meter;
  {
    std::lock_guard lock(mutex_);
    if (!SameFormat(line.Format(), options_.format)) return;
    if (data_mode_) {
      if (HoldEscape(bytes, to_meter)) return;
    } else {
      out = ReceivedInCommandMode(bytes);
    }
  }
  Send(out, line);
  if (format_pending_) {  // the new format counts once its "OK" has left
    std::lock_guard lock(mutex_);
    options_.format = pending_format_;
    format_pending_ = false;
  }
  if (!to_meter.empty()) meter_.Received(to_meter, line);
}

// "+++" after a guard time of silence is held back from the meter; if the
// silence after it lasts a guard time too, Tick takes it as the escape.
// Anything else passes on, with the held pluses first.
bool HayesModem::HoldEscape(std::span<const uint8_t> bytes, std::vector<uint8_t>& to_meter) {
  const auto now = Now();
  const bool all_plus = std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == '+'; });
  const bool after_guard = pluses_ > 0 || now - last_data_ >= options_.guard;
  if (all_plus && after_guard && pluses_ + bytes.size() <= 3) {
    pluses_ += static_cast<int>(bytes.size());
    last_plus_ = now;
    return true;
  }
  to_meter.assign(static_cast<size_t>(pluses_), '+');
  to_meter.insert(to_meter.end(), bytes.begin(), bytes.end());
  pluses_ = 0;
  last_data_ = now;
  return false;
}

// Typed characters are echoed (E1) and gathered up to the carriage return;
// the command runs from its "AT" on, whatever noise came before.
std::string HayesModem::ReceivedInCommandMode(std::span<const uint8_t> bytes) {
  std::string out;
  for (uint8_t byte : bytes) {
    if (dial_pending_) break;  // the dial is not disturbed
    if (options_.echo) out += static_cast<char>(byte);
    if (byte == '\r') {
      const size_t at = Upper(line_).find("AT");
      if (at != std::string::npos) out += Run(Upper(line_.substr(at)));
      line_.clear();
    } else if (byte == 8) {
      if (!line_.empty()) line_.pop_back();
    } else if (byte != '\n' && line_.size() < kMaxCommandLine) {
      line_ += static_cast<char>(byte);
    }
  }
  return out;
}

void HayesModem::Tick(Line& line) {
  std::string out;
  bool data_mode = false;
  {
    std::lock_guard lock(mutex_);
    const auto now = Now();
    if (data_mode_ && pluses_ == 3 && now - last_plus_ >= options_.guard) {
      data_mode_ = false;
      pluses_ = 0;
      out = kOk;
    }
    if (dial_pending_ && now >= dial_due_) {
      dial_pending_ = false;
      out = dial_result_;
      if (dial_result_.find("CONNECT") != std::string::npos) {
        in_call_ = data_mode_ = true;
        last_data_ = now;
      } else {
        in_call_ = options_.dial == DialOutcome::kVoice;
      }
    }
    data_mode = data_mode_;
  }
  Send(out, line);
  if (data_mode) meter_.Tick(line);
}

// One command line, from "AT" on, in upper case. Returns the modem's reply;
// a dial answers later, from Tick.
std::string HayesModem::Run(const std::string& command_line) {
  commands_.push_back(command_line);
  if (options_.failing.count(command_line)) return kError;
  const std::string body = command_line.substr(2);
  if (!body.empty() && body[0] == 'D') {
    Dial();
    return "";
  }
  const size_t plus = body.find('+');
  if (!RunBasic(body.substr(0, plus))) return kError;
  if (plus == std::string::npos) return kOk;
  bool ok = true;
  const std::string info = RunExtended(body.substr(plus), ok);
  if (!ok) return kError;
  return (info.empty() ? "" : Result(info)) + kOk;
}

bool HayesModem::RunBasic(const std::string& commands) {
  size_t at = 0;
  while (at < commands.size()) {
    const char c = commands[at++];
    if (c == ' ') continue;
    if (c == '&') {
      if (at >= commands.size() || !std::isalpha(static_cast<unsigned char>(commands[at]))) {
        return false;
      }
      if (commands[at++] == 'F') options_.echo = options_.factory_echo;
      Number(commands, at);
    } else if (c == 'S') {
      Number(commands, at);
      if (at < commands.size() && (commands[at] == '=' || commands[at] == '?')) ++at;
      Number(commands, at);
    } else if (c == 'E') {
      options_.echo = Number(commands, at) != 0;
    } else if (c == 'H') {
      Number(commands, at);
      in_call_ = data_mode_ = false;
    } else if (std::string_view("IJLMQVXZ").find(c) != std::string_view::npos) {
      Number(commands, at);
    } else {
      return false;
    }
  }
  return true;
}

std::string HayesModem::RunExtended(const std::string& command, bool& ok) {
  if (command == "+CGMI") return options_.maker;
  if (command == "+CGMM") return options_.model;
  if (command == "+CPIN?") {
    ok = options_.sim_state != "ERROR";
    return "+CPIN: " + options_.sim_state;
  }
  if (command == "+CREG?") return "+CREG: 0," + std::to_string(options_.registration);
  if (command == "+COPS?") return "+COPS: 0,0,\"" + options_.operator_name + "\"";
  size_t at = 0;
  if (command.rfind("+IPR=", 0) == 0) {
    at = 5;
    const unsigned baud = Number(command, at);
    ok = at == command.size() && IsRate(baud);
    pending_format_ = options_.format;
    pending_format_.baud = baud;
    format_pending_ = ok;
    return "";
  }
  if (command.rfind("+ICF=", 0) == 0) {
    at = 5;
    const unsigned format = Number(command, at);
    unsigned parity = 0;
    if (at < command.size() && command[at] == ',') parity = Number(command, ++at);
    ok = at == command.size() && format >= 1 && format <= 3 && parity <= 1;
    pending_format_ = options_.format;
    pending_format_.two_stop_bits = format == 1;
    pending_format_.odd_parity = format == 2 && parity == 0;
    format_pending_ = ok;
    return "";
  }
  ok = false;
  return "";
}

void HayesModem::Dial() {
  dial_result_ = DialResult(options_);
  dial_pending_ = !dial_result_.empty();
  dial_due_ = Now() + options_.dial_delay;
}

const char* const kModemUsage =
    "  --modem gsm|dialup  put a simulated Hayes modem in front of the meter\n"
    "  --dial OUTCOME      the modem's dial result: connect (default), busy,\n"
    "                      no-carrier, no-answer, voice or silence\n"
    "  --modem-speed BAUD  the modem's speed in command mode (default 9600)\n"
    "  --modem-sim STATE   the SIM state +CPIN? reports: READY (default), SIM PIN,\n"
    "                      or ERROR for no SIM\n"
    "  --modem-creg N      the network registration state, 0 to 5 (default 1)\n"
    "  --modem-fail CMD    answer ERROR to this command line, such as AT&W; may be\n"
    "                      repeated\n";

namespace {

bool ParseDialOutcome(std::string_view text, DialOutcome& outcome) {
  static constexpr std::pair<std::string_view, DialOutcome> kNames[] = {
      {"connect", DialOutcome::kConnect},      {"busy", DialOutcome::kBusy},
      {"no-carrier", DialOutcome::kNoCarrier}, {"no-answer", DialOutcome::kNoAnswer},
      {"voice", DialOutcome::kVoice},          {"silence", DialOutcome::kSilence}};
  for (const auto& [name, value] : kNames) {
    if (text == name) {
      outcome = value;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseModemOption(std::string_view option, std::string_view value, ModemArguments& args,
                      std::string& error) {
  const std::string text(value);
  HayesModemOptions& o = args.options;
  if (option == "--modem") {
    args.enabled = true;
    if (value != "gsm" && value != "dialup") error = "--modem wants gsm or dialup";
  } else if (option == "--dial") {
    if (!ParseDialOutcome(value, o.dial)) {
      error = "--dial wants connect, busy, no-carrier, no-answer, voice or silence";
    }
  } else if (option == "--modem-speed") {
    size_t at = 0;
    const unsigned baud = Number(text, at);
    if (at != text.size() || !IsRate(baud)) {
      error = "--modem-speed wants one of 1200 2400 4800 9600 19200 38400 57600 115200";
    }
    o.format.baud = baud;
  } else if (option == "--modem-sim") {
    o.sim_state = text;
  } else if (option == "--modem-creg") {
    size_t at = 0;
    o.registration = static_cast<int>(Number(text, at));
    if (text.empty() || at != text.size() || o.registration > 5) {
      error = "--modem-creg wants a number from 0 to 5";
    }
  } else if (option == "--modem-fail") {
    o.failing.insert(Upper(text));
  } else {
    return false;
  }
  return true;
}

}  // namespace flovir::sim
