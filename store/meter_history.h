#pragma once
// One meter's history as the operations feed it: the dispatcher's
// HistoryFeed, writing every reading into a HistoryStore under the meter's
// name, and handing a download the complete entries it already has.
//
//   auto store = OpenHistoryStore(path);                    // may throw
//   MeterHistory history(*store, IdentityOf(name, settings), clock, warn);
//   dispatcher.SetHistory(&history);
//
// The store never costs the user a file: when it cannot be written, `warn`
// is told once with the reason, the history stops writing for the rest of
// the session, and the operations go on (a download then reads every entry
// from the meter).
//
// A window writes on a thread of its own (Writes::OnWriterThread), so that
// a store another program holds locked never stalls it; `warn` is then
// called on that thread. Reads wait for the writes before them.

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "operations/clock.h"
#include "operations/history_feed.h"
#include "operations/settings.h"
#include "store/history_store.h"
#include "store/store_writer.h"

namespace flovir::history {

// The name of a meter nobody named: the line, the port or host, and the
// address, as "direct ttyUSB0 #1".
std::string DefaultMeterName(const Settings& settings);
// How the settings reach the meter, under `name` (empty: the default name).
MeterIdentity IdentityOf(const std::string& name, const Settings& settings);

// Registers 200-225 of an entry as the store's row: values NULL where the
// meter marked no data, volumes scaled, the events as the table shows them.
StoredEntry EntryOf(const ArchiveReading& reading, const std::string& downloaded_at);
StoredIntegrator IntegratorOf(const ArchiveReading& reading, const std::string& downloaded_at);
// The change log's record as rows: each changed value, and each value the
// meter holds otherwise than written with what it holds.
StoredParameterWrite ParameterWriteOf(const ParameterWriteRecord& write,
                                      const std::string& written_at);
StoredCurrentValues CurrentValuesOf(std::span<const uint8_t, kCurrentValuesBytes> area,
                                    const std::string& read_at);

class MeterHistory : public HistoryFeed {
 public:
  using Warning = std::function<void(const std::string& text)>;
  enum class Writes { Inline, OnWriterThread };
  MeterHistory(HistoryStore& store, MeterIdentity meter, const Clock& clock, Warning warn,
               Writes writes = Writes::Inline);
  // Runs the writes still waiting on the writer thread.
  ~MeterHistory() override;

  // Whether the next downloads take the complete entries the store has.
  void SetMissingOnly(bool missing_only) { missing_only_ = missing_only; }
  // The store failed once and is no longer written.
  bool Failed() const { return failed_; }
  const MeterIdentity& Identity() const { return meter_; }
  // The warnings given so far (the agreement check's and the store's).
  int Warnings() const { return warnings_; }
  // Waits until every reading handed over so far is in the store.
  void Drain();

  void DownloadStarted(ArchiveKind kind, double from, double to) override;
  void EntryRead(const ArchiveReading& reading) override;
  void DownloadEnded(const std::string& status, int from_meter, int from_store) override;
  void CurrentValuesRead(std::span<const uint8_t, kCurrentValuesBytes> area) override;
  void ParameterTableSeen(ParameterSource source, std::span<const uint8_t> block) override;
  void ParameterWriteEnded(const ParameterWriteRecord& write) override;
  bool MissingOnly() const override { return missing_only_ && !failed_; }
  std::map<int64_t, RecordRegisters> StoredEntries(ArchiveKind kind, double from,
                                                   double to) override;
  std::optional<RecordRegisters> StoredIntegrator(ArchiveKind kind, double date) override;
  std::optional<double> NearestStoredIntegrator(ArchiveKind kind, double from, double to) override;
  void Disagrees(const std::string& warning) override;

 private:
  // Runs a store call; a HistoryError warns once and stops the writing.
  template <typename F>
  void Guarded(const char* what, F&& call);
  // Runs a write on the writer thread, or at once without one; `now` is the
  // moment of the call.
  void Write(std::function<void(const std::string& now)> write);
  std::optional<int64_t> MeterId(const std::string& now);

  HistoryStore& store_;
  MeterIdentity meter_;
  const Clock& clock_;
  Warning warn_;
  // Touched by the writes, and by reads only after Drain().
  std::optional<int64_t> meter_id_;
  std::optional<int64_t> download_;
  bool missing_only_ = false;
  std::atomic<bool> failed_ = false;
  std::atomic<int> warnings_ = 0;
  std::unique_ptr<StoreWriter> writer_;  // last: its thread ends first
};

}  // namespace flovir::history
