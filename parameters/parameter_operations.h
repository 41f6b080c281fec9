#pragma once
// The three operations of the page "Параметры" on the dispatcher: reading
// the parameter block (registers 400-911), writing it back whole, and
// setting the meter's clock from the computer's local time.
//
// Between the threads. The grid draws the dispatcher's ParameterBuffer and
// the editor changes it, both on the main thread, at any time, also while
// an exchange runs. The exchange thread therefore never touches that buffer:
//  - a read fills a private staging copy, cleared when the read starts;
//    its completion hook, on the main thread, publishes the staging bytes
//    into the buffer in one copy, after a failure too (the buffer then shows
//    the frames that arrived and zeros from the failing frame on);
//  - a write sends from a snapshot that its starter takes of the buffer, so
//    a value confirmed while the write runs cannot tear a frame; it goes to
//    the meter with the next write.
// The completion hook runs while the exchange thread waits for it, and the
// starters run while it sleeps, so the staging copies need no lock: the
// hand-over of the request block orders every access.

#include <functional>
#include <string>

#include "operations/dispatcher.h"
#include "operations/parameter_buffer.h"
#include "parameters/parameter_table.h"
#include "workbook/workbook.h"

namespace flovir {

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
  // "Записать": sends all 512 registers as the buffer holds them now
  // ("Запись параметров..."). Nothing is read back.
  bool WriteToDevice();
  // "Время ПК в прибор": writes the computer's local date and time, to the
  // minute, into registers 0-2 ("Синхронизация времени...").
  bool ClockSetRequest();

  // Runs on the main thread after a successful read has published its
  // values, before the workbook is saved: the window repaints the grid.
  void SetOnParametersRead(std::function<void()> repaint) { on_read_ = std::move(repaint); }

 private:
  void CompleteRead(OperationContext& context);

  Dispatcher& dispatcher_;
  const ParameterTable& table_;
  WorkbookModel& xls0_;
  std::function<void()> on_read_;
  bool writing_table_ = false;  // the running write is the table's, not the clock's
  // The exchange thread's side of the parameter block (see above).
  ParameterBuffer staging_;
};

}  // namespace flovir
