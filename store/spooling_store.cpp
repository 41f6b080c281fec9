#include "store/spooling_store.h"

#include <filesystem>

#include "store/server_store.h"
#include "store/sqlite_db.h"

namespace flovir::history {

std::unique_ptr<SpoolingStore> SpoolingStore::Open(const std::string& server_uri,
                                                   const std::string& spool_path) {
  std::unique_ptr<HistoryStore> server;
  std::string reason;
  try {
    server = OpenHistoryStore(server_uri);
  } catch (const HistoryError& error) {
    reason = error.what();
  }
  auto store = std::make_unique<SpoolingStore>(std::move(server), reason, spool_path);
  store->location_ = WithoutPassword(server_uri);
  return store;
}

SpoolingStore::SpoolingStore(std::unique_ptr<HistoryStore> server, std::string reason,
                             std::string spool_path)
    : server_(std::move(server)), spool_path_(std::move(spool_path)) {
  location_ = server_ ? server_->Location() : spool_path_;
  if (!server_) FailOver(reason);
}

SpoolingStore::~SpoolingStore() = default;

void SpoolingStore::FailOver(const std::string& reason) {
  spooled_ = true;
  reason_ = reason;
  server_.reset();  // its connection, and the meter locks with it, end
  spool_ = OpenHistoryStore(spool_path_);
  active_ids_.clear();
  if (download_) {
    // The server rolled the download back: all of it goes into the spool.
    Download& d = *download_;
    d.active_id = spool_->BeginDownload(Id(d.meter), d.record);
    for (const StoredEntry& e : d.entries) spool_->PutEntry(Id(d.meter), e);
    for (const StoredIntegrator& i : d.integrators) spool_->PutIntegrator(Id(d.meter), i);
  }
}

HistoryStore& SpoolingStore::Active() {
  return server_ ? *server_ : *spool_;
}

template <typename F>
auto SpoolingStore::Route(F&& call) {
  if (server_) {
    try {
      return call();
    } catch (const HistoryError& error) {
      FailOver(error.what());
    }
  }
  return call();
}

int64_t SpoolingStore::Id(int64_t meter) {
  auto it = active_ids_.find(meter);
  if (it != active_ids_.end()) return it->second;
  const auto& [identity, now] = meters_.at(static_cast<size_t>(meter - 1));
  const int64_t id = Active().Meter(identity, now);
  active_ids_[meter] = id;
  return id;
}

int64_t SpoolingStore::Meter(const MeterIdentity& meter, const std::string& now) {
  int64_t ours = 0;
  for (size_t i = 0; i < meters_.size(); ++i) {
    if (meters_[i].first.name == meter.name) ours = static_cast<int64_t>(i) + 1;
  }
  if (ours == 0) {
    meters_.emplace_back(meter, now);
    ours = static_cast<int64_t>(meters_.size());
  }
  meters_[static_cast<size_t>(ours - 1)] = {meter, now};
  Route([&] {
    active_ids_[ours] = Active().Meter(meter, now);
    return 0;
  });
  return ours;
}

std::optional<int64_t> SpoolingStore::FindMeter(const std::string& name) {
  for (size_t i = 0; i < meters_.size(); ++i) {
    if (meters_[i].first.name == name) return static_cast<int64_t>(i) + 1;
  }
  const std::optional<int64_t> found = Route([&] { return Active().FindMeter(name); });
  if (!found) return std::nullopt;
  // Known by its name until Meter() tells the rest.
  MeterIdentity identity;
  identity.name = name;
  meters_.emplace_back(identity, std::string());
  const auto ours = static_cast<int64_t>(meters_.size());
  active_ids_[ours] = *found;
  return ours;
}

std::vector<MeterSummary> SpoolingStore::Meters() {
  return Route([&] { return Active().Meters(); });
}

void SpoolingStore::PutEntry(int64_t meter, const StoredEntry& entry) {
  if (download_) download_->entries.push_back(entry);
  Route([&] {
    Active().PutEntry(Id(meter), entry);
    return 0;
  });
}

void SpoolingStore::PutIntegrator(int64_t meter, const StoredIntegrator& reading) {
  if (download_) download_->integrators.push_back(reading);
  Route([&] {
    Active().PutIntegrator(Id(meter), reading);
    return 0;
  });
}

void SpoolingStore::PutCurrentValues(int64_t meter, const StoredCurrentValues& values) {
  Route([&] {
    Active().PutCurrentValues(Id(meter), values);
    return 0;
  });
}

void SpoolingStore::PutParameterTable(int64_t meter, const std::string& read_at,
                                      const std::string& source,
                                      const std::vector<uint8_t>& registers) {
  Route([&] {
    Active().PutParameterTable(Id(meter), read_at, source, registers);
    return 0;
  });
}

void SpoolingStore::PutParameterWrite(int64_t meter, const StoredParameterWrite& write) {
  Route([&] {
    Active().PutParameterWrite(Id(meter), write);
    return 0;
  });
}

int64_t SpoolingStore::BeginDownload(int64_t meter, const DownloadRecord& download) {
  download_ = Download{meter, download, {}, {}, 0};
  if (server_) {
    try {
      download_->active_id = server_->BeginDownload(Id(meter), download);
      return 1;
    } catch (const HistoryError& error) {
      FailOver(error.what());  // which begins it in the spool
      return 1;
    }
  }
  download_->active_id = spool_->BeginDownload(Id(meter), download);
  return 1;
}

void SpoolingStore::EndDownload(int64_t, const std::string& ended_at, const std::string& status,
                                int from_meter, int from_store) {
  if (!download_) return;
  Route([&] {
    Active().EndDownload(download_->active_id, ended_at, status, from_meter, from_store);
    return 0;
  });
  download_.reset();
}

std::vector<StoredEntry> SpoolingStore::Entries(int64_t meter, ArchiveKind kind,
                                                const std::string& from, const std::string& to,
                                                bool complete_only) {
  return Route([&] { return Active().Entries(Id(meter), kind, from, to, complete_only); });
}

std::vector<StoredIntegrator> SpoolingStore::Integrators(int64_t meter, ArchiveKind kind,
                                                         const std::string& from,
                                                         const std::string& to) {
  return Route([&] { return Active().Integrators(Id(meter), kind, from, to); });
}

std::vector<std::string> SpoolingStore::EntryTimes(int64_t meter, ArchiveKind kind,
                                                   const std::string& from, const std::string& to,
                                                   bool complete_only) {
  return Route([&] { return Active().EntryTimes(Id(meter), kind, from, to, complete_only); });
}

bool SpoolingStore::TryLockMeter(int64_t meter) {
  return Route([&] { return Active().TryLockMeter(Id(meter)); });
}

void SpoolingStore::UnlockMeter(int64_t meter) {
  if (server_) server_->UnlockMeter(Id(meter));  // the spool has no locks
}

void SpoolingStore::CommitBatch() {
  download_.reset();
  if (server_) server_->CommitBatch();
}

// --- Pushing the spool ------------------------------------------------------

namespace {

Values ValuesAt(const Statement& row, int first) {
  Values values;
  for (size_t i = 0; i < kChannelCount; ++i) {
    values[i] = row.OptionalReal(first + static_cast<int>(i));
  }
  return values;
}

// The highest rowid of a table's rows of the meter: what is pushed, and
// later deleted, is the rows up to it.
int64_t LastRow(Database& db, const std::string& table, int64_t meter) {
  auto last = db.Prepare("SELECT coalesce(max(rowid), 0) FROM " + table + " WHERE meter_id = ?1");
  last.Bind(1, meter);
  last.Step();
  const int64_t row = last.Int(0);
  last.Reset();
  return row;
}

// One meter's rows up to `last` (by table) into the server's open batch;
// returns the archive entries and integrator readings pushed.
int64_t PushMeter(Database& db, int64_t meter, int64_t id, std::map<std::string, int64_t>& last,
                  HistoryStore& server) {
  int64_t pushed = 0;
  auto entries = db.Prepare(
      "SELECT kind, at, v1, v2, v3, v4, b1, b2, b3, b4, mains_off, events, complete, "
      "downloaded_at, registers, scale_codes FROM archive_entries WHERE meter_id = ?1 AND rowid "
      "<= ?2");
  entries.Bind(1, meter).Bind(2, last["archive_entries"]);
  while (entries.Step()) {
    StoredEntry e;
    e.kind = KindOfWord(entries.Text(0)).value_or(ArchiveKind::Hourly);
    e.at = entries.Text(1);
    e.volume = ValuesAt(entries, 2);
    e.hours = ValuesAt(entries, 6);
    e.mains_off = entries.OptionalReal(10);
    e.events = entries.Text(11);
    e.complete = entries.Int(12) != 0;
    e.downloaded_at = entries.Text(13);
    e.registers = entries.Blob(14);
    e.scale_codes = entries.Blob(15);
    server.PutEntry(id, e);
    ++pushed;
  }
  auto integrators = db.Prepare(
      "SELECT kind, at, v1, v2, v3, v4, b1, b2, b3, b4, downloaded_at, registers, scale_codes "
      "FROM integrators WHERE meter_id = ?1 AND rowid <= ?2");
  integrators.Bind(1, meter).Bind(2, last["integrators"]);
  while (integrators.Step()) {
    StoredIntegrator r;
    r.kind = KindOfWord(integrators.Text(0)).value_or(ArchiveKind::Daily);
    r.at = integrators.Text(1);
    r.volume = ValuesAt(integrators, 2);
    r.hours = ValuesAt(integrators, 6);
    r.downloaded_at = integrators.Text(10);
    r.registers = integrators.Blob(11);
    r.scale_codes = integrators.Blob(12);
    server.PutIntegrator(id, r);
    ++pushed;
  }
  auto current = db.Prepare(
      "SELECT read_at, meter_clock, v1, v2, v3, v4, b1, b2, b3, b4, mains_time, f1, f2, f3, f4, "
      "status1, status2, status3, status4, scale1, scale2, scale3, scale4 FROM current_values "
      "WHERE meter_id = ?1 AND rowid <= ?2");
  current.Bind(1, meter).Bind(2, last["current_values"]);
  while (current.Step()) {
    StoredCurrentValues v;
    v.read_at = current.Text(0);
    v.meter_clock = current.Text(1);
    for (int i = 0; i < 4; ++i) {
      const auto c = static_cast<size_t>(i);
      v.volume[c] = current.Real(2 + i);
      v.hours[c] = current.Real(6 + i);
      v.flow[c] = current.OptionalReal(11 + i);
      v.channel_status[c] = current.Real(15 + i);
      v.scale_code[c] = current.Real(19 + i);
    }
    v.mains_hours = current.Real(10);
    server.PutCurrentValues(id, v);
  }
  auto tables = db.Prepare(
      "SELECT read_at, source, registers FROM parameter_tables WHERE meter_id = ?1 AND rowid <= "
      "?2");
  tables.Bind(1, meter).Bind(2, last["parameter_tables"]);
  while (tables.Step())
    server.PutParameterTable(id, tables.Text(0), tables.Text(1), tables.Blob(2));
  auto writes = db.Prepare(
      "SELECT id, written_at, result, frames_acknowledged, frames_total, backup FROM "
      "parameter_writes WHERE meter_id = ?1 AND rowid <= ?2");
  writes.Bind(1, meter).Bind(2, last["parameter_writes"]);
  while (writes.Step()) {
    StoredParameterWrite w;
    w.written_at = writes.Text(1);
    w.result = writes.Text(2);
    w.frames_acknowledged = static_cast<int>(writes.Int(3));
    w.frames_total = static_cast<int>(writes.Int(4));
    w.backup = writes.Text(5);
    auto changes = db.Prepare(
        "SELECT value_index, name, before, after, before_text, after_text, held FROM "
        "parameter_changes WHERE write_id = ?1 ORDER BY value_index");
    changes.Bind(1, writes.Int(0));
    while (changes.Step()) {
      w.changes.push_back({static_cast<int>(changes.Int(0)), changes.Text(1), changes.Real(2),
                           changes.Real(3), changes.Text(4), changes.Text(5),
                           changes.OptionalReal(6)});
    }
    server.PutParameterWrite(id, w);
  }
  auto downloads = db.Prepare(
      "SELECT kind, started_at, range_from, range_to, ended_at, status, from_meter, from_store "
      "FROM downloads WHERE meter_id = ?1 AND rowid <= ?2");
  downloads.Bind(1, meter).Bind(2, last["downloads"]);
  while (downloads.Step()) {
    DownloadRecord d{KindOfWord(downloads.Text(0)).value_or(ArchiveKind::Hourly), downloads.Text(1),
                     downloads.Text(2), downloads.Text(3)};
    const int64_t pushed_download = server.BeginDownload(id, d);
    if (!downloads.IsNull(4)) {
      server.EndDownload(pushed_download, downloads.Text(4), downloads.Text(5),
                         static_cast<int>(downloads.Int(6)), static_cast<int>(downloads.Int(7)));
    }
  }
  return pushed;
}

}  // namespace

PushResult PushSpool(const std::string& spool_path, HistoryStore& server) {
  PushResult result;
  std::error_code missing;
  if (!std::filesystem::exists(spool_path, missing)) return result;
  // Opened as a store first, so that the schema is the one read below.
  OpenHistoryStore(spool_path).reset();
  Database db(spool_path, 10000);
  struct Meter {
    int64_t id;
    MeterIdentity identity;
    std::string last_seen;
  };
  std::vector<Meter> meters;
  {
    auto list = db.Prepare("SELECT id, name, line, port, host, address, last_seen FROM meters");
    while (list.Step()) {
      meters.push_back(
          {list.Int(0),
           {list.Text(1), list.Text(2), list.Text(3), list.Text(4), static_cast<int>(list.Int(5))},
           list.Text(6)});
    }
  }
  static const char* const kTables[] = {"archive_entries",  "integrators",      "current_values",
                                        "parameter_tables", "parameter_writes", "downloads"};
  for (const Meter& meter : meters) {
    std::map<std::string, int64_t> last;
    for (const char* table : kTables) last[table] = LastRow(db, table, meter.id);
    int64_t pushed = 0;
    try {
      const int64_t id = server.Meter(meter.identity, meter.last_seen);
      server.BeginBatch();
      pushed = PushMeter(db, meter.id, id, last, server);
      server.CommitBatch();
    } catch (const HistoryError& error) {
      result.error = error.what();
      return result;
    }
    // The server holds them now: only those rows leave the spool.
    Transaction transaction(db);
    auto changes = db.Prepare(
        "DELETE FROM parameter_changes WHERE write_id IN (SELECT id FROM parameter_writes WHERE "
        "meter_id = ?1 AND rowid <= ?2)");
    changes.Bind(1, meter.id).Bind(2, last["parameter_writes"]).Run();
    for (const char* table : kTables) {
      auto remove =
          db.Prepare(std::string("DELETE FROM ") + table + " WHERE meter_id = ?1 AND rowid <= ?2");
      remove.Bind(1, meter.id).Bind(2, last[table]).Run();
    }
    bool left = false;
    for (const char* table : kTables) left = left || LastRow(db, table, meter.id) > 0;
    if (!left) {
      auto remove = db.Prepare("DELETE FROM meters WHERE id = ?1");
      remove.Bind(1, meter.id).Run();
    }
    transaction.Commit();
    ++result.meters;
    result.entries += pushed;
  }
  return result;
}

}  // namespace flovir::history
