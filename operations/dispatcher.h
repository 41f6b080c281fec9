#pragma once
// The operation dispatcher: every exchange with the meter belongs to an
// operation. A starter parses the settings, fills the request block, locks
// the operation buttons and wakes the exchange thread; ExchangeCompleted
// runs on the main thread after every finished request and either leaves
// the next request of the operation in the block or ends the operation the
// one common way: thread asleep, status text shown, buttons enabled.
//
// The dispatcher owns the data areas the thread reads into and sends from,
// and a request block. A connection tells it which exchange thread is
// current and, when the link brings a block of its own, which block the two
// share (SetThread); without a thread nothing starts.
//
// Operations plug in as a completion hook per OperationKind (SetCompletion)
// and are started with Start(). The current values, the three archives and
// the test poll are built in this way; the parameter operations add theirs.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/exchange_request.h"
#include "link/exchange_thread.h"
#include "operations/background.h"
#include "operations/clock.h"
#include "operations/history_feed.h"
#include "operations/operation_result.h"
#include "operations/parameter_buffer.h"
#include "operations/register_map.h"
#include "operations/settings.h"
#include "operations/view.h"

namespace flovir {

enum class OperationKind : uint8_t {
  CurrentValues = 0,
  HourlyArchive = 1,
  DailyArchive = 2,
  MonthlyArchive = 3,
  ReadParameters = 4,
  WriteToDevice = 5,
  TestRead = 6,
};
inline constexpr size_t kOperationKindCount = 7;

// The archive download of an archive kind, and the archive kind of an
// operation (none for the operations that are no download).
constexpr OperationKind OperationOf(ArchiveKind kind) {
  return static_cast<OperationKind>(static_cast<int>(kind) + 1);
}
constexpr std::optional<ArchiveKind> ArchiveOf(OperationKind kind) {
  if (kind < OperationKind::HourlyArchive || kind > OperationKind::MonthlyArchive) return {};
  return static_cast<ArchiveKind>(static_cast<int>(kind) - 1);
}
// The report area an operation fills: its archive's table, or the current
// values for every other operation.
constexpr ReportKind ReportOf(OperationKind kind) {
  if (const std::optional<ArchiveKind> archive = ArchiveOf(kind)) return LayoutOf(*archive).report;
  return kind == OperationKind::TestRead ? ReportKind::Test : ReportKind::Current;
}

// The step within an operation: Started (0) when it starts; only the
// archive downloads advance it (archive_download.h). Each step is named
// after the request that has just completed; the values are the step
// numbers of the download's state machine.
enum class OperationStep : uint8_t {
  Started = 0,                // the first request (the scale codes) is read
  IntervalSelected = 1,       // an interval entry's selector is written
  IntervalRead = 2,           // the interval entry is read
  IntegratorSelected = 3,     // the (start or month's) integrator is selected
  IntegratorRead = 4,         // that integrator is read
  EndIntegratorSelected = 5,  // hourly and daily: the integrator at end is selected
  EndIntegratorRead = 6,      // and read: the download finishes
  // Only what is missing: before the stored entries are used, an integrator
  // reading the store also holds is read from the meter and compared.
  CheckSelected = 7,
  CheckRead = 8,
};

// One request: what the thread is to do next. data must stay valid until the
// request has completed (the dispatcher's data areas always do).
struct RequestPlan {
  uint8_t function_code = kReadHoldingRegisters;
  uint16_t start_register = 0;
  uint16_t register_count = 0;
  uint8_t* data = nullptr;
};

class Dispatcher;

// What a completion hook sees of the request that has just completed, and
// how it decides what happens next. A hook calls exactly one of Next, Finish
// and Fail; calling none on a successful request finishes the operation.
class OperationContext {
 public:
  // The request's status; 13 ("Прервано пользователем") when the user
  // cancelled, whatever the request itself reported.
  ExchangeStatus Status() const { return status_; }
  // Status 0: the request succeeded and nobody cancelled. On a failed
  // request the hook may tidy up (publish what arrived) but the operation
  // ends after it with the status text in any case.
  bool Succeeded() const { return status_ == ExchangeStatus::Success; }
  OperationStep& Step() { return *step_; }
  // The settings as they were when the operation started.
  const flovir::Settings& Settings() const { return *settings_; }

  // The result the operation will end with: a hook puts what it read and
  // its warnings there.
  OperationResult& Result();

  // The next request of the operation; the thread runs it once the hook has
  // returned. Address, chunk size and attempts stay as the start set them.
  void Next(const RequestPlan& plan);
  // The operation has finished well: the status bar reads "Завершено успешно".
  void Finish() { finished_ = true; }
  // Ends the operation with this text in the status bar instead of the
  // status text, and with `status` when the request itself succeeded (after
  // a failed request the request's status stands). A hook may also throw an
  // OperationError, or any std::exception (status Failed): the operation
  // then ends the same way with the exception's what().
  void Fail(OperationStatus status, std::string text) { failure_ = OperationError(status, text); }
  // A failed request told in the operation's own words.
  void Fail(std::string text) { Fail(OperationStatus::Failed, std::move(text)); }

  struct Deferral;
  // The end of an operation that goes on off the exchange thread
  // (Dispatcher::RunAside) after a successful request: it stays busy, the
  // thread sleeps, and it ends when the ending is called on the main thread,
  // with no failure when it finished well. Copies end the same operation.
  class Ending {
   public:
    // A warning for the operation's result; on the main thread, before the call.
    void Warn(WarningKind kind, std::string text) const;
    void operator()(std::optional<OperationError> failure) const;

   private:
    friend class OperationContext;
    Dispatcher* dispatcher_ = nullptr;
    std::shared_ptr<Deferral> deferral_;
  };
  Ending Defer();

 private:
  friend class Dispatcher;
  Dispatcher* dispatcher_ = nullptr;
  std::shared_ptr<Deferral> deferral_;
  ExchangeStatus status_ = ExchangeStatus::Success;
  OperationStep* step_ = nullptr;
  const flovir::Settings* settings_ = nullptr;
  std::optional<RequestPlan> next_;
  bool finished_ = false;
  std::optional<OperationError> failure_;
};

struct OperationContext::Deferral {
  bool hook_returned = false;
  bool ended = false;
  std::optional<OperationError> failure;
  std::vector<OperationWarning> warnings;
  uint64_t operation = 0;
};

using CompletionHook = std::function<void(OperationContext&)>;

// How an operation starts.
struct OperationStart {
  OperationKind kind = OperationKind::CurrentValues;
  // Shown in the status bar once the thread has been woken.
  std::string start_text;
  // The test poll's tick leaves its own button enabled, so it can be stopped.
  bool keep_test_button = false;
  // Builds the first request from the operation's settings and does the
  // operation's own preparation (dates, counters, clearing a buffer). Runs
  // on the main thread while the exchange thread sleeps; may throw a
  // std::exception (an OperationError with its status), which starts
  // nothing and shows its what().
  std::function<RequestPlan(const flovir::Settings&)> first_request;
};

class ArchiveDownload;

class Dispatcher {
 public:
  // The 128-byte current-values area (also the archives' scale codes and
  // entries) and the 6-byte selector area (also the clock-set bytes).
  using CurrentValuesArea = std::array<uint8_t, 128>;
  using SelectorArea = std::array<uint8_t, 6>;

  Dispatcher(View& view, const Clock& clock);
  ~Dispatcher();
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // --- The link -----------------------------------------------------------
  // The request block the exchange thread shares with the dispatcher: its
  // own, unless SetThread named another.
  ExchangeRequest& Request() { return *request_; }
  // The exchange thread of the open connection, or nullptr once it has
  // ended, and the block it runs requests from (nullptr: the dispatcher's
  // own). An operation still running when its thread goes away is dropped:
  // the dispatcher becomes idle without a status text (Stop shows its own);
  // a cancelled one ends with "Прервано пользователем" as its last status.
  void SetThread(ExchangeThread* thread, ExchangeRequest* shared_request = nullptr);
  // The completion handler; the exchange thread runs it on the main thread
  // after every request.
  void ExchangeCompleted();

  // --- Settings and folders -----------------------------------------------
  // The settings the next operation starts with (the window sets them from
  // its fields, parsed with ParseSettings, before it starts one). A start
  // takes a copy, so a change while an operation runs waits for the next.
  flovir::Settings& Settings() { return next_settings_; }
  // The program's folder: "temp.xls" goes there, and the auto-save folder
  // lies in it.
  void SetProgramFolder(std::string folder) { program_folder_ = std::move(folder); }
  const std::string& ProgramFolder() const { return program_folder_; }
  // The auto-save folder: the program's folder followed by the text of the
  // auto-save field, created when missing. Throws std::runtime_error with a
  // status text naming the folder and the system's reason.
  std::string AutoSaveFolderPath() const;
  // Writes a report as file_text (such as "/текущие.txt") in the auto-save
  // folder. Throws std::runtime_error with a status text naming the file and
  // the reason; the previous file then stays as it was.
  void SaveAutoReport(const std::string& file_text, const std::vector<std::string>& lines) const;
  const Clock& GetClock() const { return clock_; }
  // Where RunAside runs its work: the window's thread, or nullptr to run it
  // at once on the main thread.
  void SetBackground(Background* background) { background_ = background; }
  // Runs `work` off the main thread, then `done` on it.
  void RunAside(std::function<void()> work, std::function<void()> done);
  View& GetView() { return view_; }
  // The meter's history, fed by every operation; null keeps nothing. It
  // must outlive the operations that use it.
  void SetHistory(HistoryFeed* history) { history_ = history; }
  HistoryFeed* History() const { return history_; }

  // --- Data areas ---------------------------------------------------------
  CurrentValuesArea& CurrentValues() { return current_values_; }
  SelectorArea& Selector() { return selector_; }
  ParameterBuffer& Parameters() { return parameters_; }
  // How often the test poll has refilled the parameter buffer: a parameter
  // write must not send what a poll left there.
  uint64_t ParameterRefills() const { return parameter_refills_; }

  // --- Operations ---------------------------------------------------------
  // The generic starter. False when nothing started: no connection, an
  // operation runs, a setting is outside its range (SettingsError) or the
  // preparation failed (the status bar then says why and the buttons are
  // enabled).
  bool Start(const OperationStart& start);
  // The hook that runs after every completed request of an operation of
  // this kind, failed ones included.
  void SetCompletion(OperationKind kind, CompletionHook hook);

  // "Скачать" on the page "Текущие".
  bool StartCurrentValues();
  // "Скачать" on "Часовые", "Суточные", "Месячные": the calendars' dates
  // (the time of day is dropped).
  bool StartArchive(OperationKind kind, double first_day, double last_day);
  // A tick of the test poll: reads ChunkSize registers from 880 when the
  // exchange thread sleeps; otherwise does nothing and returns false.
  bool TestTick();
  // Asks the running operation to stop: the running request gives up after
  // its current try and the operation ends with "Прервано пользователем".
  // Nothing of an unfinished archive is saved. Does nothing when idle.
  void Cancel();

  // --- State --------------------------------------------------------------
  bool Busy() const { return busy_; }
  OperationKind Kind() const { return kind_; }
  OperationStep Step() const { return step_; }
  // How the last operation ended, also one that a setting or the write
  // guard kept from starting. An operation dropped because its line went
  // away (SetThread) hands none: the one before stays.
  const OperationResult& LastResult() const { return result_; }
  const std::string& LastStatusText() const { return result_.text; }
  bool LastSucceeded() const { return result_.Succeeded(); }
  ArchiveDownload& Archive() { return *archive_; }

 private:
  friend class OperationContext;
  void EndOperation(OperationStatus status, const std::string& text);
  // An operation that ended before its first request.
  void NotStarted(OperationStatus status, const std::string& text);
  void EndDeferred(const OperationContext::Deferral& deferral);
  void ApplyPlan(const RequestPlan& plan);
  void CompleteCurrentValues(OperationContext& context);
  void CompleteTestRead(OperationContext& context);

  View& view_;
  const Clock& clock_;
  ExchangeRequest own_request_;
  ExchangeRequest* request_ = &own_request_;
  ExchangeThread* thread_ = nullptr;
  flovir::Settings next_settings_;
  flovir::Settings settings_;
  std::string program_folder_;

  CurrentValuesArea current_values_{};
  SelectorArea selector_{};
  ParameterBuffer parameters_;
  uint64_t parameter_refills_ = 0;
  // The test poll reads here; the completion publishes it into parameters_,
  // so that nothing draws the buffer while the thread writes it.
  std::array<uint8_t, kParameterBytes> test_staging_{};
  std::unique_ptr<ArchiveDownload> archive_;

  std::array<CompletionHook, kOperationKindCount> hooks_;
  Background* background_ = nullptr;
  HistoryFeed* history_ = nullptr;
  int aside_ = 0;  // RunAside work not yet done
  bool busy_ = false;
  uint64_t operation_ = 0;  // counts the starts, so a late ending finds its own
  OperationKind kind_ = OperationKind::CurrentValues;
  OperationStep step_ = OperationStep::Started;
  OperationResult running_;  // of the operation that runs
  OperationResult result_;   // of the last one that ended (none yet: Failed)
};

}  // namespace flovir
