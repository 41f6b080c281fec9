#pragma once
// What a meter's earlier collections have brought home, so that the next
// one asks only for what is new: per archive the last complete day (hourly,
// daily) or month (monthly) whose entries are in the files. Kept as JSON
// beside the meter's files and replaced only after a run that succeeded,
// so that a failed run skips nothing.

#include <optional>
#include <string>

#include "operations/register_map.h"

namespace flovir::collect {

struct MeterState {
  // Dates as days since 30 December 1899; monthly: the 1st of the month.
  std::optional<double> hourly, daily, monthly;
  std::optional<double>& Of(ArchiveKind kind);
};

// A missing file is an empty state. Throws std::runtime_error naming the
// file when it cannot be read or is not a state file.
MeterState LoadState(const std::string& path);
// Writes a temporary file beside path and renames it over path. Throws
// std::runtime_error naming the file.
void SaveState(const std::string& path, const MeterState& state);

// The days (or months) an archive download asks for: from the one after the
// last collected up to the last complete one before today; without a state
// the last `history` days (months). Empty when nothing new is complete.
struct ArchiveRangeToRead {
  double first = 0;
  double last = 0;
  bool due = false;
};
ArchiveRangeToRead NextArchiveRange(ArchiveKind kind, const std::optional<double>& done,
                                    double today, int history);

}  // namespace flovir::collect
