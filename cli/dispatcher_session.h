#pragma once
// The operation dispatcher on the command-line line, wired as the window
// wires it: the line options are the dispatcher's settings, the exchange
// thread's completions go to the dispatcher.

#include <memory>
#include <string>

#include "cli/line.h"
#include "cli/line_options.h"
#include "operations/clock.h"
#include "operations/dispatcher.h"

namespace flovir::cli {

class DispatcherSession {
 public:
  DispatcherSession(View& view, const Clock& clock) : dispatcher_(view, clock) {}
  ~DispatcherSession() { Close(); }
  DispatcherSession(const DispatcherSession&) = delete;
  DispatcherSession& operator=(const DispatcherSession&) = delete;

  // Opens the line and hands it to the dispatcher, with `folder` (empty: the
  // program's own) as the program folder. False when the port cannot be
  // opened; the reason is on standard error.
  bool Open(const LineOptions& line, const std::string& folder);
  bool IsOpen() const { return link_ != nullptr; }
  // Takes the thread from the dispatcher, then closes the line.
  void Close();

  Dispatcher& GetDispatcher() { return dispatcher_; }
  const Dispatcher& GetDispatcher() const { return dispatcher_; }
  // Runs the queue of this thread until the operation has ended or
  // timeout_ms have passed (0: no limit); false on the timeout.
  bool RunUntilIdle(int timeout_ms = 0);
  // Prints the status text the last operation ended with.
  void PrintStatus() const;

 private:
  Dispatcher dispatcher_;
  std::unique_ptr<CliLine> link_;
};

}  // namespace flovir::cli
