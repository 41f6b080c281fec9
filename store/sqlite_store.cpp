// The history in one SQLite file. WAL lets the window read while a nightly
// collection writes, and the busy timeout lets two writers take turns;
// synchronous=NORMAL keeps every committed entry through a killed program
// without a disk flush per entry.

#include <chrono>
#include <cmath>
#include <map>
#include <thread>

#include "store/history_store.h"
#include "store/history_views.h"
#include "store/schema.h"
#include "store/server_store.h"
#include "store/sqlite_db.h"
#include "workbook/serial_date.h"

namespace flovir::history {

namespace {

constexpr int kBusyMs = 10000;

void BindValues(Statement& statement, int first, const Values& values) {
  for (size_t i = 0; i < kChannelCount; ++i) {
    statement.Bind(first + static_cast<int>(i), values[i]);
  }
}

Values ReadValues(const Statement& statement, int first) {
  Values values;
  for (size_t i = 0; i < kChannelCount; ++i) {
    values[i] = statement.OptionalReal(first + static_cast<int>(i));
  }
  return values;
}

class SqliteStore : public HistoryStore {
 public:
  explicit SqliteStore(const std::string& path) : path_(path), db_(path, kBusyMs) {
    try {
      Prepare();
    } catch (const HistoryError& error) {
      throw HistoryError("Не удалось открыть историю " + path + ": " + error.what());
    }
  }

  std::string Location() const override { return path_; }

  int64_t Meter(const MeterIdentity& meter, const std::string& now) override {
    Transaction transaction(db_);
    auto find = db_.Prepare("SELECT id FROM meters WHERE name = ?1");
    find.Bind(1, meter.name);
    int64_t id = 0;
    if (find.Step()) {
      id = find.Int(0);
      find.Reset();
      auto update = db_.Prepare(
          "UPDATE meters SET line = ?2, port = ?3, host = ?4, address = ?5, last_seen = ?6 "
          "WHERE id = ?1");
      update.Bind(1, id).Bind(2, meter.line).Bind(3, meter.port).Bind(4, meter.host);
      update.Bind(5, int64_t{meter.address}).Bind(6, now).Run();
    } else {
      auto insert = db_.Prepare(
          "INSERT INTO meters(name, line, port, host, address, first_seen, last_seen) "
          "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?6)");
      insert.Bind(1, meter.name).Bind(2, meter.line).Bind(3, meter.port).Bind(4, meter.host);
      insert.Bind(5, int64_t{meter.address}).Bind(6, now).Run();
      id = db_.LastInsertId();
    }
    transaction.Commit();
    return id;
  }

  std::optional<int64_t> FindMeter(const std::string& name) override {
    auto find = db_.Prepare("SELECT id FROM meters WHERE name = ?1");
    find.Bind(1, name);
    if (!find.Step()) return std::nullopt;
    const int64_t id = find.Int(0);
    find.Reset();
    return id;
  }

  std::vector<MeterSummary> Meters() override {
    std::vector<MeterSummary> meters;
    std::vector<int64_t> ids;
    auto list = db_.Prepare(
        "SELECT id, name, line, port, host, address, first_seen, last_seen FROM meters "
        "ORDER BY name");
    while (list.Step()) {
      MeterSummary summary;
      ids.push_back(list.Int(0));
      summary.meter = {list.Text(1), list.Text(2), list.Text(3), list.Text(4),
                       static_cast<int>(list.Int(5))};
      summary.first_seen = list.Text(6);
      summary.last_seen = list.Text(7);
      meters.push_back(std::move(summary));
    }
    auto kinds = db_.Prepare(
        "SELECT kind, count(*), min(at), max(at), sum(complete) FROM archive_entries "
        "WHERE meter_id = ?1 GROUP BY kind");
    for (size_t i = 0; i < meters.size(); ++i) {
      kinds.Bind(1, ids[i]);
      while (kinds.Step()) {
        KindSummary kind;
        kind.kind = KindOfWord(kinds.Text(0)).value_or(ArchiveKind::Hourly);
        kind.entries = kinds.Int(1);
        kind.first = kinds.Text(2);
        kind.last = kinds.Text(3);
        const int64_t intervals = IntervalsBetween(kind.kind, kind.first, kind.last);
        kind.complete_percent =
            intervals > 0 ? 100.0 * static_cast<double>(kinds.Int(4)) / intervals : 0;
        meters[i].kinds.push_back(kind);
      }
      kinds.Reset();
    }
    return meters;
  }

  void PutEntry(int64_t meter, const StoredEntry& entry) override {
    Transaction transaction(db_);
    auto& put = Cached(
        "INSERT OR REPLACE INTO archive_entries(meter_id, kind, at, v1, v2, v3, v4, b1, b2, b3, "
        "b4, mains_off, events, complete, downloaded_at, registers, scale_codes) VALUES (?1, ?2, "
        "?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17)");
    put.Bind(1, meter).Bind(2, std::string(KindWord(entry.kind))).Bind(3, entry.at);
    BindValues(put, 4, entry.volume);
    BindValues(put, 8, entry.hours);
    put.Bind(12, entry.mains_off).Bind(13, entry.events);
    put.Bind(14, int64_t{entry.complete ? 1 : 0}).Bind(15, entry.downloaded_at);
    put.Bind(16, entry.registers).Bind(17, entry.scale_codes).Run();
    transaction.Commit();
  }

  void PutIntegrator(int64_t meter, const StoredIntegrator& reading) override {
    Transaction transaction(db_);
    auto& put = Cached(
        "INSERT OR REPLACE INTO integrators(meter_id, kind, at, v1, v2, v3, v4, b1, b2, b3, b4, "
        "downloaded_at, registers, scale_codes) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, "
        "?11, ?12, ?13, ?14)");
    put.Bind(1, meter).Bind(2, std::string(KindWord(reading.kind))).Bind(3, reading.at);
    BindValues(put, 4, reading.volume);
    BindValues(put, 8, reading.hours);
    put.Bind(12, reading.downloaded_at).Bind(13, reading.registers);
    put.Bind(14, reading.scale_codes).Run();
    transaction.Commit();
  }

  void PutCurrentValues(int64_t meter, const StoredCurrentValues& values) override {
    Transaction transaction(db_);
    auto put = db_.Prepare(
        "INSERT INTO current_values(meter_id, read_at, meter_clock, v1, v2, v3, v4, b1, b2, b3, "
        "b4, mains_time, f1, f2, f3, f4, status1, status2, status3, status4, scale1, scale2, "
        "scale3, scale4) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, "
        "?15, ?16, ?17, ?18, ?19, ?20, ?21, ?22, ?23, ?24)");
    put.Bind(1, meter).Bind(2, values.read_at).Bind(3, values.meter_clock);
    for (int i = 0; i < 4; ++i) {
      const auto c = static_cast<size_t>(i);
      put.Bind(4 + i, values.volume[c]).Bind(8 + i, values.hours[c]);
      put.Bind(13 + i, values.flow[c]).Bind(17 + i, values.channel_status[c]);
      put.Bind(21 + i, values.scale_code[c]);
    }
    put.Bind(12, values.mains_hours).Run();
    transaction.Commit();
  }

  void PutParameterTable(int64_t meter, const std::string& read_at, const std::string& source,
                         const std::vector<uint8_t>& registers) override {
    Transaction transaction(db_);
    auto put = db_.Prepare(
        "INSERT INTO parameter_tables(meter_id, read_at, source, registers) VALUES (?1, ?2, ?3, "
        "?4)");
    put.Bind(1, meter).Bind(2, read_at).Bind(3, source).Bind(4, registers).Run();
    transaction.Commit();
  }

  void PutParameterWrite(int64_t meter, const StoredParameterWrite& write) override {
    Transaction transaction(db_);
    auto head = db_.Prepare(
        "INSERT INTO parameter_writes(meter_id, written_at, result, frames_acknowledged, "
        "frames_total, backup) VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    head.Bind(1, meter).Bind(2, write.written_at).Bind(3, write.result);
    head.Bind(4, int64_t{write.frames_acknowledged}).Bind(5, int64_t{write.frames_total});
    head.Bind(6, write.backup).Run();
    const int64_t id = db_.LastInsertId();
    auto change = db_.Prepare(
        "INSERT INTO parameter_changes(write_id, value_index, name, before, after, before_text, "
        "after_text, held) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    for (const StoredParameterWrite::Change& c : write.changes) {
      change.Bind(1, id).Bind(2, int64_t{c.value_index}).Bind(3, c.name);
      change.Bind(4, c.before).Bind(5, c.after).Bind(6, c.before_text).Bind(7, c.after_text);
      change.Bind(8, c.held).Run();
    }
    transaction.Commit();
  }

  int64_t BeginDownload(int64_t meter, const DownloadRecord& download) override {
    Transaction transaction(db_);
    auto put = db_.Prepare(
        "INSERT INTO downloads(meter_id, kind, started_at, range_from, range_to) VALUES (?1, ?2, "
        "?3, ?4, ?5)");
    put.Bind(1, meter).Bind(2, std::string(KindWord(download.kind))).Bind(3, download.started_at);
    put.Bind(4, download.range_from).Bind(5, download.range_to).Run();
    const int64_t id = db_.LastInsertId();
    transaction.Commit();
    return id;
  }

  void EndDownload(int64_t download, const std::string& ended_at, const std::string& status,
                   int from_meter, int from_store) override {
    Transaction transaction(db_);
    auto put = db_.Prepare(
        "UPDATE downloads SET ended_at = ?2, status = ?3, from_meter = ?4, from_store = ?5 "
        "WHERE id = ?1");
    put.Bind(1, download).Bind(2, ended_at).Bind(3, status);
    put.Bind(4, int64_t{from_meter}).Bind(5, int64_t{from_store}).Run();
    transaction.Commit();
  }

  std::vector<StoredEntry> Entries(int64_t meter, ArchiveKind kind, const std::string& from,
                                   const std::string& to, bool complete_only) override {
    auto& query = Cached(
        "SELECT at, v1, v2, v3, v4, b1, b2, b3, b4, mains_off, events, complete, downloaded_at, "
        "registers, scale_codes FROM archive_entries WHERE meter_id = ?1 AND kind = ?2 AND at "
        ">= ?3 AND at <= ?4 AND complete >= ?5 ORDER BY at");
    query.Bind(1, meter).Bind(2, std::string(KindWord(kind))).Bind(3, from).Bind(4, to);
    query.Bind(5, int64_t{complete_only ? 1 : 0});
    std::vector<StoredEntry> entries;
    while (query.Step()) {
      StoredEntry entry;
      entry.kind = kind;
      entry.at = query.Text(0);
      entry.volume = ReadValues(query, 1);
      entry.hours = ReadValues(query, 5);
      entry.mains_off = query.OptionalReal(9);
      entry.events = query.Text(10);
      entry.complete = query.Int(11) != 0;
      entry.downloaded_at = query.Text(12);
      entry.registers = query.Blob(13);
      entry.scale_codes = query.Blob(14);
      entries.push_back(std::move(entry));
    }
    query.Reset();
    return entries;
  }

  std::vector<StoredIntegrator> Integrators(int64_t meter, ArchiveKind kind,
                                            const std::string& from,
                                            const std::string& to) override {
    auto& query = Cached(
        "SELECT at, v1, v2, v3, v4, b1, b2, b3, b4, downloaded_at, registers, scale_codes FROM "
        "integrators WHERE meter_id = ?1 AND kind = ?2 AND at >= ?3 AND at <= ?4 ORDER BY at");
    query.Bind(1, meter).Bind(2, std::string(KindWord(kind))).Bind(3, from).Bind(4, to);
    std::vector<StoredIntegrator> readings;
    while (query.Step()) {
      StoredIntegrator reading;
      reading.kind = kind;
      reading.at = query.Text(0);
      reading.volume = ReadValues(query, 1);
      reading.hours = ReadValues(query, 5);
      reading.downloaded_at = query.Text(9);
      reading.registers = query.Blob(10);
      reading.scale_codes = query.Blob(11);
      readings.push_back(std::move(reading));
    }
    query.Reset();
    return readings;
  }

  std::vector<std::string> EntryTimes(int64_t meter, ArchiveKind kind, const std::string& from,
                                      const std::string& to, bool complete_only) override {
    auto& query = Cached(
        "SELECT at FROM archive_entries WHERE meter_id = ?1 AND kind = ?2 AND at >= ?3 AND at "
        "<= ?4 AND complete >= ?5 ORDER BY at");
    query.Bind(1, meter).Bind(2, std::string(KindWord(kind))).Bind(3, from).Bind(4, to);
    query.Bind(5, int64_t{complete_only ? 1 : 0});
    std::vector<std::string> times;
    while (query.Step()) times.push_back(query.Text(0));
    query.Reset();
    return times;
  }

 private:
  // The pragmas, then the schema created or migrated.
  void Prepare() {
    // Another program opening the file at the same moment can keep it from
    // changing mode for an instant: the mode is asked for again a while.
    std::string journal;
    for (int tries = 0; tries < 50 && journal != "wal"; ++tries) {
      if (tries > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      auto mode = db_.Prepare("PRAGMA journal_mode=WAL");
      journal = mode.Step() ? mode.Text(0) : "";
      mode.Reset();
    }
    if (journal != "wal") throw HistoryError("the file cannot be kept in WAL mode");
    db_.Execute("PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON");
    Transaction transaction(db_);
    int version = 0;
    {
      auto has = db_.Prepare(
          "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'schema_version'");
      has.Step();
      const bool versioned = has.Int(0) != 0;
      has.Reset();
      if (versioned) {
        auto read = db_.Prepare("SELECT version FROM schema_version");
        if (read.Step()) version = static_cast<int>(read.Int(0));
        read.Reset();
      }
    }
    if (version > kSchemaVersion) {
      throw HistoryError("the file is of a newer program (schema " + std::to_string(version) +
                         ", this program knows up to " + std::to_string(kSchemaVersion) + ")");
    }
    if (version == kSchemaVersion) return;  // the transaction rolls back: nothing was changed
    for (int next = version + 1; next <= kSchemaVersion; ++next) db_.Execute(SchemaScript(next));
    auto set = db_.Prepare("UPDATE schema_version SET version = ?1");
    set.Bind(1, int64_t{kSchemaVersion}).Run();
    transaction.Commit();
  }

  // The statements of the frequent writes and reads, prepared once.
  Statement& Cached(const std::string& sql) {
    auto it = statements_.find(sql);
    if (it == statements_.end()) it = statements_.emplace(sql, db_.Prepare(sql)).first;
    return it->second;
  }

  std::string path_;
  Database db_;
  std::map<std::string, Statement> statements_;
};

}  // namespace

std::unique_ptr<HistoryStore> OpenHistoryStore(const std::string& location) {
  if (IsServerLocation(location)) return OpenServerStore(location);
  return std::make_unique<SqliteStore>(location);
}

}  // namespace flovir::history
