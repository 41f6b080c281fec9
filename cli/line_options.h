#pragma once
// What every flovir-cli command that talks to the meter shares: the line
// options and CliLink, the open line with its exchange thread.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "connection/modem_dialogue.h"
#include "connection/serial_port.h"
#include "link/exchange_thread.h"

namespace flovir::sim {
class SimulatedMeter;
class MeterServer;
}  // namespace flovir::sim

namespace flovir::cli {
class DemoModemLine;
}  // namespace flovir::cli

namespace flovir::cli {

struct LineOptions {
  std::string port;  // a listed name or a path
  LineSettings line;
  uint8_t address = 1;
  uint32_t timeout_ms = 3000;
  uint8_t attempts = 3;
  uint8_t chunk = 64;
  bool trace = false;  // the frames on standard error
  bool demo = false;   // the built-in simulated meter instead of a port
  bool help = false;
  // A GSM or dial-up modem on the port: the call is made when the line
  // opens and hung up when it closes.
  ConnectionType line_type = ConnectionType::Direct;
  std::string number;             // the number to dial
  std::string init = "AT&FE0V1";  // the local modem's initialisation string
  bool pulse = false;             // dial-up: pulse instead of tone dialling
};

// The options' lines for --help.
extern const char* const kLineOptionsHelp;

// Takes the line options out of args ("--baud 9600" or "--baud=9600") and
// leaves every other word, in order, in rest. Returns a message naming the
// bad option, or an empty text.
std::string ParseLineOptions(const std::vector<std::string>& args, LineOptions& options,
                             std::vector<std::string>& rest);

// True for an option that takes the next word as its value.
bool LineOptionTakesValue(const std::string& word);

// Prints "flovir-cli: message" on standard error; returns kExitUsage.
int UsageError(const std::string& message);

// Parses a decimal number (or 0x hexadecimal) within [low, high].
bool ParseNumber(const std::string& text, unsigned long low, unsigned long high,
                 unsigned long& value);

// The line to the meter: the port (or the simulated meter's pseudo-terminal)
// with the Modbus timeouts, the request block and the exchange thread. The
// requests run through the same hand-over to the main thread as in the
// window; this thread is the main thread.
class CliLink {
 public:
  // Opens the line. When the port cannot be opened prints "Не удалось
  // открыть порт" and the system's reason on standard error and returns null.
  static std::unique_ptr<CliLink> Open(const LineOptions& options);
  // Closes the port first, so that a read in progress ends, then the thread.
  ~CliLink();

  ExchangeRequest& Request() { return request_; }
  Port& LinePort() { return port_; }
  ExchangeThread& Thread() { return *thread_; }
  QueueExecutor& Executor() { return executor_; }

  // One request over data (2 bytes a register, low-order byte first);
  // returns its status. Registers done before a failure stay in data, up to
  // Request().DataCursor.
  uint8_t Transfer(uint8_t function, uint16_t start, uint16_t count, uint8_t* data);

  // A multi-step operation, as the window runs it: the caller has filled
  // Request(); completed runs on this thread after every request and either
  // leaves the next request in the block or calls EndOperation().
  void RunOperation(std::function<void()> completed);
  // From the completion handler: puts the thread to sleep, ends the wait.
  void EndOperation();
  // Hands every completion to `completed` from now on, for a caller (the
  // operation dispatcher) that wakes the thread itself.
  void SetCompleted(std::function<void()> completed) { completed_ = std::move(completed); }

 private:
  explicit CliLink(const LineOptions& options);

  LineOptions options_;
  std::unique_ptr<sim::SimulatedMeter> meter_;
  std::unique_ptr<sim::MeterServer> server_;
  std::unique_ptr<DemoModemLine> demo_modem_;  // --demo with --line gsm or dialup
  SerialPort port_;
  ExchangeRequest request_;
  QueueExecutor executor_;
  std::unique_ptr<ExchangeTrace> trace_;
  std::unique_ptr<ExchangeThread> thread_;
  std::function<void()> completed_;
  bool operation_done_ = false;
  bool modem_call_ = false;  // hung up before the port closes
};

}  // namespace flovir::cli
