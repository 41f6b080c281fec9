#pragma once
// The line to the meter for every flovir-cli command: the core's Connection,
// opened and closed exactly as the window's Start and Stop do, on the port of
// --port, at the network address of --host, or on the built-in simulated
// meter of --demo. A GSM or dial-up line
// calls before the command and hangs up after it. The exchange thread's
// requests come back through the same hand-over to the main thread as in the
// window; this program's main thread drains it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/line_options.h"
#include "connection/connection.h"
#include "link/exchange_request.h"
#include "link/executor.h"
#include "operations/view.h"

namespace flovir::sim {
class SimulatedMeter;
class DemoLine;
class TcpMeterServer;
}  // namespace flovir::sim

namespace flovir::cli {

// What the connection and the modem dialogues tell the user, on standard
// error: status texts as lines, message boxes as their title and text (the
// modem's "\r" separated report becomes lines). A command prints only what
// it asks for: the modem dialogue of a call, the remote modem setup; the
// port notices of the status bar ("Порт открыт", ...) are the window's.
class CliView : public View {
 public:
  void SetEcho(bool echo) { echo_ = echo; }
  // The last status text, echoed or not.
  const std::string& LastStatus() const { return last_status_; }
  void ShowStatus(const std::string& text) override;
  void EnableOperationButtons(bool, bool) override {}
  void ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) override;
  void SetReport(ReportKind, const std::vector<std::string>&) override {}
  void AppendTestLine(const std::string&) override {}
  void ProcessPendingEvents() override {}

 private:
  bool echo_ = false;
  std::string last_status_;
};

class CliLine {
 public:
  // What the line is for: Modbus requests through an exchange thread, or a
  // modem cabled to the port (modem-setup; --demo then puts the simulated
  // modem in front of the simulated meter).
  enum class Use { Requests, RemoteModem };

  // Starts the connection. When the port cannot be opened prints "Не удалось
  // открыть порт" and the reason on standard error; a failed call has printed
  // the modem's report. Null in both cases.
  static std::unique_ptr<CliLine> Open(const LineOptions& options, Use use = Use::Requests);
  // Stops the connection (the hang-up of a modem call), then the simulated
  // meter.
  ~CliLine();
  CliLine(const CliLine&) = delete;
  CliLine& operator=(const CliLine&) = delete;

  Connection& GetConnection() { return *connection_; }
  // The settings the line was opened with (--demo fills in its own port or
  // address).
  const Settings& GetSettings() const { return options_.settings; }
  CliView& GetView() { return view_; }
  ExchangeRequest& Request() { return request_; }
  ExchangeThread& Thread() { return *connection_->Thread(); }
  QueueExecutor& Executor() { return executor_; }

  // One request over data (2 bytes a register, low-order byte first);
  // returns its status. Registers done before a failure stay in data, up to
  // Request().DataCursor.
  ExchangeStatus Transfer(uint8_t function, uint16_t start, uint16_t count, uint8_t* data);
  // Hands every completion of the exchange thread to `completed`, for a
  // caller (the operation dispatcher) that wakes the thread itself.
  void SetCompleted(std::function<void()> completed) { completed_ = std::move(completed); }

 private:
  explicit CliLine(const LineOptions& options);
  // The simulated meter (and modem) of --demo; its port's path, or the
  // reason it could not be made.
  bool StartDemo(Use use, std::string& path);

  LineOptions options_;
  std::unique_ptr<sim::SimulatedMeter> meter_;
  std::unique_ptr<sim::DemoLine> demo_line_;           // --demo on a serial line, modem or not
  std::unique_ptr<sim::TcpMeterServer> demo_network_;  // --demo --line tcp or modbus-tcp
  CliView view_;
  SerialPortProvider ports_;
  ExchangeRequest request_;
  QueueExecutor executor_;
  std::unique_ptr<ExchangeTrace> trace_;
  std::function<void()> completed_;
  std::unique_ptr<Connection> connection_;
  bool request_done_ = false;
};

}  // namespace flovir::cli
