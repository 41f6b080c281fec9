#pragma once
// A simulated Hayes modem in front of the simulated meter: the computer's
// port talks to it in command mode, it dials, and once the call is up every
// byte passes through to the meter's line device until the escape "+++".
//
//   flovir::sim::SimulatedMeter meter;
//   flovir::sim::MeterLineDevice meter_line(meter, std::chrono::milliseconds(5));
//   flovir::sim::HayesModem modem(meter_line, {.dial = DialOutcome::kConnect});
//   flovir::sim::MeterServer server(modem);   // the computer opens SlavePath()
//
// In command mode it answers only when the master's line format matches its
// own (speed, stop bits and odd parity, as the pseudo-terminal shows them),
// as a real modem hears only noise at a wrong speed. Results are verbose,
// framed CR LF ... CR LF; information replies come before "OK".
//
// Every public member is safe to call from any thread.

#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/meter-sim/line_device.h"

namespace flovir::sim {

enum class DialOutcome : uint8_t {
  kConnect,    // "CONNECT 9600", then data mode
  kBusy,       // "BUSY"
  kNoCarrier,  // "NO CARRIER"
  kNoAnswer,   // "NO ANSWER"
  kVoice,      // "OK": the other end took the call as a voice call
  kSilence,    // no result at all
  kCustom,     // custom_dial_reply as it stands (connects if it holds "CONNECT")
};

struct HayesModemOptions {
  // The format of command mode; AT+IPR and AT+ICF change it.
  LineFormat format{9600, false, false};
  bool echo = true;          // E1 at power-up
  bool factory_echo = true;  // what AT&F restores
  std::string maker = "SIMCOM_Ltd";
  std::string model = "SIMCOM_SIM800";
  std::string sim_state = "READY";  // "+CPIN: " + this; "ERROR" answers ERROR
  int registration = 1;             // "+CREG: 0,N"
  std::string operator_name = "MTS RUS";
  DialOutcome dial = DialOutcome::kConnect;
  std::string custom_dial_reply;
  std::chrono::milliseconds dial_delay{20};  // from the dial command to its result
  // Silence the escape needs before and after "+++".
  std::chrono::milliseconds guard{1000};
  // Command lines (upper case, without "\r") answered "ERROR", such as "AT&D0".
  std::set<std::string> failing;
  // Where time comes from; tests of the sequences run it virtually.
  std::function<std::chrono::steady_clock::time_point()> clock;
};

class HayesModem : public LineDevice {
 public:
  // meter: the device behind the modem, reached in data mode.
  HayesModem(LineDevice& meter, HayesModemOptions options = {});

  void Received(std::span<const uint8_t> bytes, Line& line) override;
  void Tick(Line& line) override;

  // Changes the behaviour for what comes next (an outcome, a failing command).
  void Configure(const std::function<void(HayesModemOptions&)>& change);
  // Every command line the modem accepted for execution, oldest first.
  std::vector<std::string> Commands() const;
  bool InCall() const;    // a call is up (data mode or escaped to command mode)
  bool DataMode() const;  // bytes pass to the meter
  LineFormat Format() const;

 private:
  using Clock = std::chrono::steady_clock;

  Clock::time_point Now() const;
  bool HoldEscape(std::span<const uint8_t> bytes, std::vector<uint8_t>& to_meter);
  std::string ReceivedInCommandMode(std::span<const uint8_t> bytes);
  std::string Run(const std::string& command_line);
  bool RunBasic(const std::string& commands);
  std::string RunExtended(const std::string& command, bool& ok);
  void Dial();
  void Send(const std::string& text, Line& line);

  mutable std::mutex mutex_;
  LineDevice& meter_;
  HayesModemOptions options_;
  std::vector<std::string> commands_;
  std::string line_;  // the command line being typed
  bool in_call_ = false;
  bool data_mode_ = false;
  LineFormat pending_format_{};  // takes effect after the "OK" of AT+IPR / AT+ICF
  bool format_pending_ = false;
  std::string dial_result_;  // sent once due_ has come
  Clock::time_point dial_due_{};
  bool dial_pending_ = false;
  int pluses_ = 0;  // escape characters held back in data mode
  Clock::time_point last_data_{};
  Clock::time_point last_plus_{};
};

// flovir-meter-sim's modem options. "--modem gsm" (or "dialup", the same
// modem) puts the modem in front of the meter; the others shape it.
struct ModemArguments {
  bool enabled = false;
  HayesModemOptions options;
};

// The usage lines of the modem options.
extern const char* const kModemUsage;

// Takes one option with its value. False when the option is none of the
// modem's; true with a message in error when its value is bad.
bool ParseModemOption(std::string_view option, std::string_view value, ModemArguments& args,
                      std::string& error);

}  // namespace flovir::sim
