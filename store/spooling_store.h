#pragma once
// A collector's history when it is kept on a server: the readings go to the
// server while it answers, and into a local SQLite spool (OUT/spool.sqlite)
// when it cannot be reached or the connection drops during the run, the
// download under way included. The next run pushes the spool to the server
// and removes from it only what the server committed.
//
//   auto store = SpoolingStore::Open(uri, out / "spool.sqlite");
//   ... MeterHistory on *store ...
//   if (store->Spooled()) summary("spool: " + store->Reason());

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/history_store.h"

namespace flovir::history {

class SpoolingStore : public HistoryStore {
 public:
  // Connects to the server; when it cannot, everything goes to the spool.
  static std::unique_ptr<SpoolingStore> Open(const std::string& server_uri,
                                             const std::string& spool_path);
  // `server` null: it could not be reached, for `reason`.
  SpoolingStore(std::unique_ptr<HistoryStore> server, std::string reason, std::string spool_path);
  ~SpoolingStore() override;

  // Whether readings went into the spool, and why (the server's words).
  bool Spooled() const { return spooled_; }
  const std::string& Reason() const { return reason_; }

  std::string Location() const override { return location_; }
  int64_t Meter(const MeterIdentity& meter, const std::string& now) override;
  std::optional<int64_t> FindMeter(const std::string& name) override;
  std::vector<MeterSummary> Meters() override;
  void PutEntry(int64_t meter, const StoredEntry& entry) override;
  void PutIntegrator(int64_t meter, const StoredIntegrator& reading) override;
  void PutCurrentValues(int64_t meter, const StoredCurrentValues& values) override;
  void PutParameterTable(int64_t meter, const std::string& read_at, const std::string& source,
                         const std::vector<uint8_t>& registers) override;
  void PutParameterWrite(int64_t meter, const StoredParameterWrite& write) override;
  int64_t BeginDownload(int64_t meter, const DownloadRecord& download) override;
  void EndDownload(int64_t download, const std::string& ended_at, const std::string& status,
                   int from_meter, int from_store) override;
  std::vector<StoredEntry> Entries(int64_t meter, ArchiveKind kind, const std::string& from,
                                   const std::string& to, bool complete_only) override;
  std::vector<StoredIntegrator> Integrators(int64_t meter, ArchiveKind kind,
                                            const std::string& from,
                                            const std::string& to) override;
  std::vector<std::string> EntryTimes(int64_t meter, ArchiveKind kind, const std::string& from,
                                      const std::string& to, bool complete_only) override;
  bool TryLockMeter(int64_t meter) override;
  void UnlockMeter(int64_t meter) override;
  void CommitBatch() override;

 private:
  // The store in use: the server until it fails once, then the spool.
  HistoryStore& Active();
  // Runs `call` on the server, and on the spool once the server fails.
  template <typename F>
  auto Route(F&& call);
  void FailOver(const std::string& reason);
  // The meter's id in the store in use.
  int64_t Id(int64_t meter);

  std::unique_ptr<HistoryStore> server_;
  std::unique_ptr<HistoryStore> spool_;
  std::string spool_path_;
  std::string location_;
  std::string reason_;
  bool spooled_ = false;
  // Our ids, the same whichever store is in use.
  std::vector<std::pair<MeterIdentity, std::string>> meters_;  // identity, first seen now
  std::map<int64_t, int64_t> active_ids_;
  // The download under way, kept to go into the spool whole when the
  // server drops in its middle.
  struct Download {
    int64_t meter = 0;
    DownloadRecord record;
    std::vector<StoredEntry> entries;
    std::vector<StoredIntegrator> integrators;
    int64_t active_id = 0;
  };
  std::optional<Download> download_;
};

struct PushResult {
  int meters = 0;
  int64_t entries = 0;  // archive entries and integrator readings
  std::string error;    // why the push stopped; empty when the spool is empty now
};

// Pushes the spool to the server meter by meter, each meter's rows in one
// transaction, and deletes from the spool only the rows of the meters the
// server committed. A missing or empty spool pushes nothing.
PushResult PushSpool(const std::string& spool_path, HistoryStore& server);

}  // namespace flovir::history
