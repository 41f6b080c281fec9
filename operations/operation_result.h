#pragma once
// How an operation ended, as values: its status, the text the user saw in
// the status bar, what went wrong beside it, and what it read, decoded once
// where the reply arrived. The dispatcher hands one to its caller at the end
// of every operation (Dispatcher::LastResult); callers decide from it, never
// from a status text or a message box.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/exchange_request.h"
#include "operations/meter_records.h"
#include "operations/parameter_buffer.h"
#include "operations/register_map.h"

namespace flovir {

// The link's statuses keep their numbers (0-19, ExchangeStatus): an
// operation that ended on a failed request ends with that request's status.
// The operation's own failures come after requests that succeeded.
enum class OperationStatus : uint8_t {
  Success = 0,
  Cancelled = 13,  // the user stopped it ("Прервано пользователем")
  // --- The operation's own failures ---------------------------------------
  SettingsRejected = 64,  // a setting outside its range: nothing started
  WriteRefused,           // the write guard: the table is not this meter's
  WriteDeclined,          // the confirmation said no: nothing was written
  WriteDiffers,           // the meter holds other values than were written
  BackupNotSaved,         // the backup workbook before a write was not saved
  ParametersNotSaved,     // "параметры.xls" was not saved after a read
  ArchiveNotRead,         // "temp.xls" could not be read back for the table
  ReportNotWritten,       // an auto-saved report (or its folder) was not written
  Failed,                 // anything else a step could not do
};

constexpr OperationStatus OperationStatusOf(ExchangeStatus status) {
  return static_cast<OperationStatus>(status);
}
// The link's status an operation ended with; none for its own failures.
constexpr std::optional<ExchangeStatus> ExchangeStatusOf(OperationStatus status) {
  if (static_cast<uint8_t>(status) >= kStatusCount) return {};
  return static_cast<ExchangeStatus>(status);
}

// What went wrong beside an operation that may still have succeeded.
enum class WarningKind : uint8_t {
  ArchiveWorkbookNotSaved,  // "temp.xls" was not saved: the table shows the old file
  HistoryDisagrees,         // the history's entries contradict the meter: not used
  ChangeLogNotWritten,      // a parameter write is missing from the change log
};

struct OperationWarning {
  WarningKind kind;
  std::string text;  // as the user is told it
};

struct OperationResult {
  OperationStatus status = OperationStatus::Success;
  std::string text;  // the status text the operation ended with
  std::vector<OperationWarning> warnings;

  // --- What the operation read --------------------------------------------
  std::optional<CurrentValues> current_values;  // a current-values read
  // The parameter block of a parameter read (also a failed one: what
  // arrived, zeros from the failing frame on) or of a test poll.
  std::optional<ParameterBuffer> parameters;
  // An archive download that read all it was to read: its entries,
  // totals and integrator readings.
  std::optional<ArchiveData> archive;

  bool Succeeded() const { return status == OperationStatus::Success; }
  const OperationWarning* Warning(WarningKind kind) const {
    const auto it = std::find_if(warnings.begin(), warnings.end(),
                                 [kind](const OperationWarning& w) { return w.kind == kind; });
    return it == warnings.end() ? nullptr : &*it;
  }
};

// An operation's own failure, thrown by a step or a starter's preparation:
// the operation ends with its status and its text.
class OperationError : public std::runtime_error {
 public:
  OperationError(OperationStatus status, const std::string& text)
      : std::runtime_error(text), status_(status) {}
  OperationStatus Status() const { return status_; }

 private:
  OperationStatus status_;
};

}  // namespace flovir
