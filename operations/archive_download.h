#pragma once
// The archive download: registers 200-225 show one archive entry at a time,
// chosen by a selector write to registers 0-2, so a download is a chain of
// request pairs (write the selector, read the entry), run one completion at
// a time on the main thread. Entries are decoded once as they arrive, kept
// (Data()) and written into the archive workbook from those values; at the
// end the workbook is saved as "temp.xls", the table is built from that file
// and saved as the archive's text file.
//
// Steps (OperationStep) of the hourly and daily archives:
//   0 Started: scale codes read: begin the sheet, select the first interval
//   1 IntervalSelected: read the entry
//   2 IntervalRead: write its row; select the next one (-> 1), or after the
//     last write the totals and select the integrator at start (-> 3)
//   3 IntegratorSelected: read the integrator
//   4 IntegratorRead: label and start row; select the integrator at end
//   5 EndIntegratorSelected: read it
//   6 EndIntegratorRead: the end row, then finish
// The monthly archive runs steps 0-2 alike, then 3 and 4 once per month of
// the range for the integrator readings, counting progress in both passes.
//
// Only what is missing (the history's MissingOnly): the complete entries the
// store holds for the range are taken from it instead of the line. Before
// that, steps 7 and 8 read from the meter the integrators that the store
// also holds for the range's ends: when they differ, the store is another
// meter's (or stale), the user is told, and every entry is read. Stored
// registers are the meter's own bytes, so the rows, totals and files are
// those a full download makes.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "operations/archive_workbook.h"
#include "operations/dispatcher.h"
#include "operations/meter_records.h"
#include "operations/register_map.h"
#include "workbook/workbook.h"

namespace flovir {

// The running state of a download; kept after it ends.
struct ArchiveJob {
  OperationKind kind = OperationKind::HourlyArchive;
  double start = 0;   // first date of the range, 00:00
  double cursor = 0;  // the entry being fetched
  double end = 0;     // end of the range (hourly: may carry a time of day)
  int32_t planned_steps = 0;
  int32_t done_steps = 0;
  ArchiveSheet sheet;  // next row, totals, mains-off sum, CellFormatBase
  // Interval entries read from the meter and taken from the history.
  int32_t from_meter = 0;
  int32_t from_store = 0;
};

// The range and step count of a download, fixed when its button is pressed.
// first_day and last_day are the calendars' dates (time of day ignored);
// now is the computer's local time.
struct ArchiveRange {
  double start = 0;
  double end = 0;
  int32_t planned_steps = 0;
};
ArchiveRange ComputeArchiveRange(OperationKind kind, double first_day, double last_day, double now);

// "Запрос часового архива..." and its daily and monthly siblings.
std::string ArchiveStartText(OperationKind kind);

class ArchiveDownload {
 public:
  explicit ArchiveDownload(Dispatcher& dispatcher);

  // Fixes the range and returns the first request, the scale codes.
  RequestPlan Begin(OperationKind kind, double first_day, double last_day,
                    const Settings& settings);
  // The completion hook of the three archive kinds: runs one step.
  void Complete(OperationContext& context);

  const ArchiveJob& Job() const { return job_; }
  // The values of the download, as decoded: its scales, entries, totals and
  // integrator readings (what has been read so far when it ended early).
  const ArchiveData& Data() const { return data_; }
  // The archive workbook (sheets "days", "hours", "months").
  WorkbookModel& Workbook() { return workbook_; }

 private:
  ArchiveKind Kind() const;
  const ArchiveLayout& Layout() const { return LayoutOf(Kind()); }
  RequestPlan SelectInterval();
  RequestPlan SelectIntegrator(double at);
  RequestPlan ReadEntry();
  std::span<const uint8_t, kArchiveRecordBytes> Registers() const;
  bool IntervalPassEnds() const;
  void AdvanceCursor();
  void CountProgress();
  // Only what is missing: the stored entries of the range and the checks.
  void PrepareMissingOnly();
  void CheckRead(OperationContext& context);
  void NextCheckOrStart(OperationContext& context);
  void StartIntervalPass(OperationContext& context);
  // The entry at the cursor: from the store while it has it, else asked of
  // the meter.
  void TakeOrSelect(OperationContext& context);
  void EndIntervalPass(OperationContext& context);
  // Writes the row of a decoded value and keeps the value.
  void AddEntry(const ArchiveEntry& entry);
  // The integrator just read, or zeros when it is `unrecorded`.
  void AddIntegrator(double date, bool unrecorded);
  void Record(ArchiveKind kind, ArchiveValueType type, double at, bool complete);
  void RecordIntegrator(double date);
  void Ended(const std::string& status);
  // The steps after an entry read, by OperationStep.
  void ScaleCodesRead(OperationContext& context);
  void IntervalRead(OperationContext& context);
  void StartIntegratorRead(OperationContext& context);
  void EndIntegratorRead(OperationContext& context);
  void MonthIntegratorRead(OperationContext& context);
  void Finish(OperationContext& context);
  void ReadBack(const std::string& failure, const OperationContext::Ending& end);
  void Publish(const std::vector<std::string>& lines, const OperationContext::Ending& end);

  Dispatcher& dispatcher_;
  HistoryFeed* history_ = nullptr;  // of the running download
  std::map<int64_t, RecordRegisters> stored_;
  std::vector<double> checks_;  // integrator dates still to compare
  WorkbookModel workbook_;
  ArchiveJob job_;
  ArchiveData data_;
  uint8_t address_ = 1;
};

}  // namespace flovir
