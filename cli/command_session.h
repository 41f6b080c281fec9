#pragma once
// flovir-cli's side of a meter session: the terminal as the session's View,
// the line of the global options (--port, --host, --demo, --trace,
// --folder), and Ctrl-C, which ends every command cleanly: the running
// operation is cancelled, a modem call hung up, nothing half-done saved.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/status_line.h"
#include "operations/clock.h"
#include "session/session.h"
#include "store/meter_history.h"

namespace flovir::cli {

// What the window would show, on the terminal: status texts and progress on
// standard error (one line in place on a terminal), message boxes as their
// title and lines, the report areas on standard output when asked for. The
// port's own notices ("Порт открыт", ...) are the window's and stay unsaid.
class TerminalView : public View {
 public:
  // Status texts and message boxes shown at all (a direct or network line
  // opens and closes quietly; a modem call's dialogue is worth reading).
  void SetEcho(bool echo) { echo_ = echo; }
  // The report areas on standard output (text output of current, archive,
  // test).
  void PrintReports(bool print) { print_reports_ = print; }
  // The last status text, shown or not.
  const std::string& LastStatus() const { return last_status_; }
  // Ends the line in place before something else is printed.
  void EndStatusLine() { status_.End(); }

  void ShowStatus(const std::string& text) override;
  void ShowPortNotice(PortNotice notice) override;
  void ShowProgress(const std::string& text, int percent) override;
  void EnableOperationButtons(bool, bool) override {}
  void ShowMessage(const std::string& title, const std::string& text, MessageIcon icon) override;
  void SetReport(ReportKind kind, const std::vector<std::string>& lines) override;
  void AppendTestLine(const std::string& line) override;
  void ProcessPendingEvents() override {}

 private:
  bool echo_ = false;
  bool print_reports_ = false;
  std::string last_status_;
  StatusLine status_;
};

// True once Ctrl-C was pressed during a command.
bool Interrupted();
// From now on Ctrl-C sets Interrupted() instead of ending the program (a
// command that runs without a session: flovir-cli scan).
void CatchInterrupt();

class CommandSession {
 public:
  explicit CommandSession(const GlobalOptions& options);
  ~CommandSession();
  CommandSession(const CommandSession&) = delete;
  CommandSession& operator=(const CommandSession&) = delete;

  // Opens the line; false with the reason on standard error.
  bool Open(LineUse use = LineUse::Requests);

  // Starts an operation and runs it to its end, its status texts and
  // progress shown; Ctrl-C cancels it. True when it succeeded.
  bool Run(const std::function<bool(Session&)>& start);
  // The status text the last operation ended with, on standard output (or
  // standard error, when standard output holds CSV or JSON).
  void PrintStatus(bool to_stdout = true);
  // The line's statistics on standard error (--stats does it at the end).
  void PrintStatistics();

  Session& Get() { return *session_; }
  // The meter's history once the line is open; null with --no-history or
  // when the store could not be opened (a warning said why).
  history::MeterHistory* History() { return history_.get(); }
  Dispatcher& GetDispatcher() { return session_->GetDispatcher(); }
  TerminalView& GetView() { return view_; }

 private:
  bool ModemLine() const;
  void OpenHistory();

  const GlobalOptions& options_;
  SystemClock clock_;
  TerminalView view_;
  std::unique_ptr<ExchangeTrace> trace_;
  std::unique_ptr<history::HistoryStore> store_;
  std::unique_ptr<history::MeterHistory> history_;
  std::unique_ptr<Session> session_;
};

}  // namespace flovir::cli
