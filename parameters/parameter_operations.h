#pragma once
// The operations of the page "Параметры" on the dispatcher: reading the
// parameter block (registers 400-911), writing it back, and setting the
// meter's clock from the computer's local time.
//
// A parameter write cannot damage a meter by mistake:
//  - guard: it sends only a table that came from this meter (a read that
//    succeeded since the line was opened, at the same address) or from a
//    parameter workbook the user loaded, with the user's edits on top. A
//    buffer never read, left by a failed read, or refilled by the test poll
//    is refused, and nothing is sent;
//  - backup: right before the write the meter's table is read once more and
//    saved as a parameter workbook in "резервные копии"; when that read or
//    save fails nothing is written. A workbook holds only the grid's values,
//    so a loaded table takes every other value from this read;
//  - confirm: the values that will change against that read are handed to
//    the caller, who may stop there;
//  - verify: after the write the block is read back and compared with what
//    was sent, bit for bit; every differing value is named;
//  - log: every write that sent frames is appended to the change log.
//
// Between the threads. The grid draws the dispatcher's ParameterBuffer and
// the editor changes it, both on the main thread, at any time, also while
// an exchange runs. The exchange thread therefore never touches that buffer:
//  - a read fills a private staging copy, cleared when the read starts;
//    its completion hook, on the main thread, publishes the staging bytes
//    into the buffer in one copy, after a failure too (the buffer then shows
//    the frames that arrived and zeros from the failing frame on);
//  - a write sends from a copy taken when it starts, so a value confirmed
//    while the write runs cannot tear a frame; it goes with the next write;
//    the backup and the read-back go into copies of their own.
// The completion hook runs while the exchange thread waits for it, and the
// starters run while it sleeps, so the copies need no lock: the hand-over of
// the request block orders every access.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "operations/dispatcher.h"
#include "operations/parameter_buffer.h"
#include "parameters/parameter_changes.h"
#include "parameters/parameter_table.h"
#include "workbook/serial_date.h"
#include "workbook/workbook.h"

namespace flovir {

// Where the table in the parameter buffer came from.
enum class TableOrigin { None, Meter, Workbook };

// A write ready to go: what it sends and against what it was judged.
struct WritePlan {
  ParameterBuffer to_send;
  ParameterBuffer meter_before;  // the backup read
  std::string backup_path;
  std::vector<ParameterChange> changes;  // meter_before -> to_send, all 256 values
};

// How the last write ended.
struct WriteOutcome {
  enum class Result {
    Verified,     // the meter holds exactly what was sent
    Differs,      // it acknowledged every frame but holds other values
    Unverified,   // written, but the read-back failed
    Interrupted,  // a frame failed: the meter may hold a mixed table
    Declined,     // the confirmation said no: nothing was sent
  };
  Result result = Result::Declined;
  std::vector<ParameterChange> changes;     // what the write was to change
  std::vector<ParameterChange> mismatches;  // sent (before) against held (after)
  ParameterBuffer sent;
  ParameterBuffer held;  // the read-back, when there was one
  int frames_acknowledged = 0;
  int frames_total = 0;
  std::string backup_path;
  std::string log_error;  // the change log could not be written: why
  double ended_at = 0;    // when the write ended (days since 30.12.1899)
};

class ParameterOperations {
 public:
  // Registers its completion hooks with the dispatcher. table and xls0 (the
  // parameter workbook) must outlive this object.
  ParameterOperations(Dispatcher& dispatcher, const ParameterTable& table, WorkbookModel& xls0);
  ParameterOperations(const ParameterOperations&) = delete;
  ParameterOperations& operator=(const ParameterOperations&) = delete;

  // "Cчитать": reads the block into a cleared buffer ("Запрос параметров...").
  // When it succeeds the window is told to repaint the grid, and the
  // parameter workbook is saved as "параметры.xls" in the auto-save folder,
  // which is created when missing; a save that fails ends the operation with
  // a status text that names the file and the reason. False when nothing
  // started (see Dispatcher::Start).
  bool ReadParameters();

  // "Загрузить": the values of a parameter workbook into the buffer; the
  // table may then be written. Throws WorkbookError (the buffer unchanged).
  void LoadWorkbook(const std::string& path);

  // Why a write may not go now, or empty when it may.
  std::string WriteRefusal() const;

  // Asked between the backup and the write with the plan; false stops the
  // write before anything is sent. Runs on the main thread while the
  // exchange thread waits.
  using Confirm = std::function<bool(const WritePlan& plan)>;
  // "Записать" in one operation: guard, backup ("Резервная копия
  // параметров..."), confirm (none: go on), write ("Запись параметров..."),
  // read-back ("Проверка записи..."). It ends with "Завершено успешно" only
  // when the meter holds what was sent. False when nothing started: the
  // guard refused (the status bar says why) or see Dispatcher::Start.
  bool WriteToDevice(Confirm confirm = {});
  // The same in two operations, for a window that confirms in a dialog of
  // its own: the first ends after the backup with Prepared() set; the second
  // writes that plan (false when there is none).
  bool PrepareWrite();
  bool WritePrepared();
  const std::optional<WritePlan>& Prepared() const { return prepared_; }
  const std::optional<WriteOutcome>& LastWrite() const { return last_write_; }
  // Every write that ended since this object was made, oldest first (the
  // service report lists the changes of the session).
  const std::vector<WriteOutcome>& Writes() const { return writes_; }

  // "Время ПК в прибор": writes the computer's local date and time, to the
  // minute, into registers 0-2 ("Синхронизация времени...").
  bool ClockSetRequest();
  // The date and time the last clock setting sent (its seconds are not
  // sent); empty before the first.
  const std::optional<CivilDateTime>& ClockSent() const { return clock_sent_; }

  // A new line was opened: the table read before may be another meter's.
  void ForgetMeter();
  TableOrigin Origin() const { return origin_; }

  // Runs on the main thread after a successful read has published its
  // values, before the workbook is saved: the window repaints the grid.
  void SetOnParametersRead(std::function<void()> repaint) { on_read_ = std::move(repaint); }

 private:
  enum class Phase { Clock, Backup, Write, Verify };

  void CompleteRead(OperationContext& context);
  void CompleteWrite(OperationContext& context);
  void CompleteFrames(OperationContext& context);
  void CompleteReadBack(OperationContext& context);
  bool StartBackup(bool prepare_only, Confirm confirm);
  void Plan(OperationContext& context);
  RequestPlan WriteRequest(const WritePlan& plan);
  void EndWrite(OperationContext& context, WriteOutcome outcome, const std::string& failure);
  std::vector<std::string> LogLines(const OperationContext& context,
                                    const WriteOutcome& outcome) const;
  // The write as the history keeps it.
  ParameterWriteRecord Record(const WriteOutcome& outcome) const;

  Dispatcher& dispatcher_;
  const ParameterTable& table_;
  WorkbookModel& xls0_;
  std::function<void()> on_read_;
  // The exchange thread's side of the parameter block (see above).
  ParameterBuffer staging_;
  ParameterBuffer sending_;
  ParameterBuffer read_back_;

  TableOrigin origin_ = TableOrigin::None;
  uint8_t origin_address_ = 0;   // the meter a read came from
  uint64_t origin_refills_ = 0;  // the dispatcher's refill count then
  Phase phase_ = Phase::Clock;
  std::optional<CivilDateTime> clock_sent_;
  bool prepare_only_ = false;
  Confirm confirm_;
  std::optional<WritePlan> prepared_;
  std::optional<WriteOutcome> last_write_;
  std::vector<WriteOutcome> writes_;
};

}  // namespace flovir
