#pragma once
// What the operations hand to the meter's history as readings arrive, and
// what an archive download may take from it instead of asking the meter.
// The history store (store/meter_history.h) implements it; a dispatcher
// without one keeps nothing. Every call comes on the main thread, inside a
// completion; an implementation never throws: a store that fails says so
// its own way and the operation goes on as if it were not there.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "operations/register_map.h"

namespace flovir {

// Registers 200-225 as the meter sent them: the no-data marks are still in
// the counts, so a stored entry reproduces the download byte for byte.
using RecordRegisters = std::array<uint8_t, kArchiveRecordBytes>;
using ScaleSet = std::array<VolumeScale, kChannelCount>;

// One archive entry or integrator reading as it came from the line.
struct ArchiveReading {
  ArchiveKind kind = ArchiveKind::Hourly;  // integrators: Daily or Monthly
  ArchiveValueType type = ArchiveValueType::Interval;
  double at = 0;  // the entry's local time; an integrator's date
  RecordRegisters registers{};
  ScaleSet scales{};
  // False while the interval has not ended by the computer's clock: today's
  // day, this month, an hour read before its end. Such an entry is read
  // again next time.
  bool complete = true;
};

// Where a parameter table came from.
enum class ParameterSource { Read, Backup, Written, Loaded };

// A parameter write as the change log tells it: what it was to change, how
// it ended, and the backup taken before it.
struct ParameterWriteRecord {
  struct Change {
    int value_index = 0;  // 0-255 in the block
    std::string name;     // "Диаметр, мм [D], канал 1"
    double before = 0, after = 0;
    std::string before_text, after_text;  // in the grid's number format
  };
  struct Mismatch {
    int value_index = 0;
    std::string name;
    double sent = 0, held = 0;  // what was written, what the meter holds
  };
  // "verified", "differs", "unverified" or "interrupted".
  std::string result;
  int frames_acknowledged = 0, frames_total = 0;
  std::string backup_path;
  std::vector<Change> changes;
  std::vector<Mismatch> mismatches;
};

class HistoryFeed {
 public:
  virtual ~HistoryFeed() = default;

  // --- Readings ---------------------------------------------------------
  // A download of the kind over the entries from `from` to `to` begins.
  virtual void DownloadStarted(ArchiveKind kind, double from, double to) = 0;
  virtual void EntryRead(const ArchiveReading& reading) = 0;
  // The download ended: its status text, and how many interval entries came
  // from the meter and from the store.
  virtual void DownloadEnded(const std::string& status, int from_meter, int from_store) = 0;
  // Registers 0-63 of a current-values read.
  virtual void CurrentValuesRead(std::span<const uint8_t, kCurrentValuesBytes> area) = 0;
  // The 1024 bytes of the parameter block.
  virtual void ParameterTableSeen(ParameterSource source, std::span<const uint8_t> block) = 0;
  // A parameter write ended, whether the meter confirmed it or not.
  virtual void ParameterWriteEnded(const ParameterWriteRecord& write) = 0;

  // --- Only what is missing ---------------------------------------------
  // Whether the running download takes the complete entries it has.
  virtual bool MissingOnly() const = 0;
  // The complete interval entries stored for the kind from `from` to `to`,
  // keyed by their time in whole minutes since 30 December 1899.
  virtual std::map<int64_t, RecordRegisters> StoredEntries(ArchiveKind kind, double from,
                                                           double to) = 0;
  // The stored integrator reading of the kind (Daily or Monthly) at a date.
  virtual std::optional<RecordRegisters> StoredIntegrator(ArchiveKind kind, double date) = 0;
  // The stored integrator dates of the kind nearest to the range: the
  // last one up to `to`, else the first one after it. Empty: none stored.
  virtual std::optional<double> NearestStoredIntegrator(ArchiveKind kind, double from,
                                                        double to) = 0;
  // Told when the store's entries disagree with the meter's: the stored
  // entries are not used, and the user is told why.
  virtual void Disagrees(const std::string& warning) = 0;
};

// The key of an entry's time in StoredEntries.
inline int64_t MinuteKey(double at) {
  return static_cast<int64_t>(std::llround(at * 1440.0));
}

}  // namespace flovir
