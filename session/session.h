#pragma once
// One meter session: everything a program needs to talk to one meter. The
// connection (port, modem call, exchange thread), the operation dispatcher
// wired to it as its completion handler, the parameter operations, and the
// demo ports. flovir-cli, the fleet collection and the window each hold one
// per meter and differ only in their View and their main-thread executor.
//
//   Session session(view, clock, {.program_folder = folder});
//   if (!session.Start(settings)) return;           // the view said why
//   if (session.StartCurrentValues()) session.RunToEnd(ctrl_c_pressed);
//   session.LastResult().current_values;             // what the meter sent
//
// A program with its own event loop (the window) passes its executor and
// never calls RunToEnd: operations end in the View's EnableOperationButtons.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "connection/connection.h"
#include "link/exchange_request.h"
#include "link/executor.h"
#include "link/line_statistics.h"
#include "link/trace.h"
#include "operations/clock.h"
#include "operations/dispatcher.h"
#include "operations/register_map.h"
#include "operations/settings.h"
#include "operations/view.h"
#include "parameters/parameter_operations.h"
#include "parameters/parameter_table.h"
#include "session/demo_ports.h"
#include "workbook/workbook.h"

namespace flovir {

struct SessionOptions {
  // The program's main-thread executor (the window's). Null: the session's
  // own queue, which RunToEnd and Transfer run on the calling thread.
  MainThreadExecutor* executor = nullptr;
  // Where the frames go (the trace dock, standard error); may be null.
  ExchangeTrace* trace = nullptr;
  std::function<void()> clear_trace = {};
  ConnectionTiming timing = {};     // the modem dialogue's waits
  std::string program_folder = {};  // empty: the program's own (ProgramFolder)
};

// What the line is for: requests to the meter through an exchange thread,
// or a modem cabled to the port (the remote modem setup; the demo then puts
// the simulated modem in front of its meter).
enum class LineUse { Requests, ModemOnCable };

class Session {
 public:
  Session(View& view, const Clock& clock, SessionOptions options = {});
  // Stops the connection (hangs up a call) before the parts it calls go.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // --- The connection ---------------------------------------------------
  // Starts the connection; the settings become the operations' settings
  // too. A port (serial lines) or address (network lines) named
  // kDemoPortName is the simulated meter. False when it did not come up:
  // the View has been told why, and OpenError() holds the system's reason
  // when a port would not open.
  bool Start(const Settings& settings, LineUse use = LineUse::Requests);
  // Hangs up a modem call and closes the port; true when the line is down.
  // Quietly (Connection::Announce::FailureOnly) when the program closes.
  bool Stop(Connection::Announce announce = Connection::Announce::Always);
  bool Connected() const { return connection_.Connected(); }
  // The settings of the last Start, the demo's port or address filled in.
  const Settings& LineSettings() const { return line_settings_; }
  const std::string& OpenError() const { return open_error_; }
  Connection& GetConnection() { return connection_; }

  // --- Operations -------------------------------------------------------
  // Each starter returns false when nothing started (no connection, an
  // operation running, a setting out of range: the View was told).
  bool StartCurrentValues();
  bool StartArchive(ArchiveKind kind, double first_day, double last_day);
  bool ReadParameters();  // "параметры.xls" is saved when it succeeds
  // The parameter buffer as it is now, if it came from this meter or a
  // loaded workbook: backup, write, read-back (ParameterOperations).
  bool WriteParameters();
  bool SetClock();  // the computer's time, to the minute
  bool TestTick();  // one poll of the test page
  // Asks the running operation to end after its current try.
  void Cancel() {
    if (round_trips_left_ > 0) Request().StopRequested = true;
    dispatcher_.Cancel();
  }
  bool Busy() const { return dispatcher_.Busy(); }

  // Runs the session's own queue until the running operation has ended.
  // `interrupted` is asked every 100 ms: once it is true the operation is
  // cancelled, and when it has not ended half a second later (a long frame
  // on a slow line) the line is stopped, so it ends within a second with
  // "Прервано пользователем". True when the operation succeeded; its
  // result is LastResult().
  bool RunToEnd(const std::function<bool()>& interrupted = {});
  // How the last operation ended (Dispatcher::LastResult), its status text,
  // and whether it succeeded.
  const OperationResult& LastResult() const { return dispatcher_.LastResult(); }
  const std::string& LastStatusText() const { return dispatcher_.LastStatusText(); }
  bool LastSucceeded() const { return dispatcher_.LastSucceeded(); }

  // One request outside the operations (flovir-cli raw): data holds 2 bytes
  // a register, low-order byte first. Registers of the frames done before a
  // failure stay in data, up to Request().DataCursor. `interrupted` as for
  // RunToEnd.
  ExchangeStatus Transfer(uint8_t function, uint16_t start, uint16_t count, uint8_t* data,
                          const std::function<bool()>& interrupted = {});

  // --- The line's statistics and round trips ----------------------------
  // What the line did since the last Start; safe to read from any thread.
  LineStatistics& Statistics() { return statistics_; }
  // Measures the line: `count` reads of the probe registers, one try each,
  // their reply times in Statistics(). `done` runs on the main thread once
  // they are over (or cancelled). False when nothing started.
  bool StartRoundTrips(unsigned count, std::function<void()> done);
  bool RoundTripsRunning() const { return round_trips_left_ > 0; }
  // The same run to its end on the session's own queue (flovir-cli);
  // `interrupted` as for RunToEnd. False when nothing started.
  bool MeasureRoundTrips(unsigned count, const std::function<bool()>& interrupted = {});

  // --- Parts ------------------------------------------------------------
  Dispatcher& GetDispatcher() { return dispatcher_; }
  const Dispatcher& GetDispatcher() const { return dispatcher_; }
  ParameterOperations& Parameters() { return parameters_; }
  const ParameterTable& Table() const { return table_; }
  WorkbookModel& ParameterWorkbook() { return xls0_; }
  ExchangeRequest& Request() { return dispatcher_.Request(); }
  MainThreadExecutor& Executor() { return *executor_; }

 private:
  LinkParts Link(const SessionOptions& options);
  bool RunQueue(const std::function<bool()>& done, int timeout_ms);
  // Runs the queue until done(); once interrupted() the request is asked to
  // stop, and the line is stopped when that takes too long.
  void Wait(const std::function<bool()>& done, const std::function<bool()>& interrupted);

  View& view_;
  QueueExecutor own_executor_;
  MainThreadExecutor* executor_;
  Dispatcher dispatcher_;
  ParameterTable table_;
  WorkbookModel xls0_ = WorkbookModel::MakeParameterWorkbook();
  ParameterOperations parameters_;
  DemoPorts demo_;
  SerialPortProvider ports_;
  void NextRoundTrip();
  void RoundTripCompleted();

  std::function<void()> transfer_done_;  // set while Transfer runs
  LineStatistics statistics_;
  unsigned round_trips_left_ = 0;
  std::function<void()> round_trips_done_;
  std::array<uint8_t, 16> round_trip_data_{};
  Settings line_settings_;
  std::string open_error_;
  Connection connection_;
};

}  // namespace flovir
