#pragma once
// The history store: every reading of every meter, kept in one documented
// schema (docs/history.md) that users query with SQL. HistoryStore is the
// interface the programs use; SQLite (sqlite_store.h) is the embedded store
// of one machine, and a shared server can stand behind the same interface.
//
// Rows are plain values: times as local text ("YYYY-MM-DDTHH:MM", and with
// ":SS" for the moments a program read something), volumes in m3, hours in
// hours, and the meter's own registers beside them, so that a stored entry
// can stand in for a read one byte for byte. Every write is its own
// transaction; a failure throws HistoryError with a text for the user.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "operations/register_map.h"

namespace flovir::history {

// The store's file in the program's folder (and in a fleet's output folder).
inline constexpr const char* kHistoryFileName = "history.sqlite";

class HistoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "hourly", "daily", "monthly": the kind column's words.
const char* KindWord(ArchiveKind kind);
std::optional<ArchiveKind> KindOfWord(const std::string& word);

// How a meter is reached; the name is what it is known by.
struct MeterIdentity {
  std::string name;
  std::string line;  // "direct", "gsm", "dialup", "tcp", "modbus-tcp"
  std::string port;  // serial lines
  std::string host;  // network lines
  int address = 1;
};

using Values = std::array<std::optional<double>, kChannelCount>;  // NULL: no data

// A row of archive_entries.
struct StoredEntry {
  ArchiveKind kind = ArchiveKind::Hourly;
  std::string at;  // YYYY-MM-DDTHH:MM
  Values volume, hours;
  std::optional<double> mains_off;
  std::string events;  // the 25 characters of the table's events column
  bool complete = false;
  std::string downloaded_at;
  std::vector<uint8_t> registers;    // the 52 bytes of registers 200-225
  std::vector<uint8_t> scale_codes;  // the four rounded volume scale codes
};

// A row of integrators: the running totals at a day (daily) or month (monthly).
struct StoredIntegrator {
  ArchiveKind kind = ArchiveKind::Daily;
  std::string at;
  Values volume, hours;
  std::string downloaded_at;
  std::vector<uint8_t> registers;
  std::vector<uint8_t> scale_codes;
};

// A row of current_values: every value of the current-values report.
struct StoredCurrentValues {
  std::string read_at;
  std::string meter_clock;  // YYYY-MM-DDTHH:MM:SS as the meter's clock showed it
  std::array<double, kChannelCount> volume{}, hours{};
  double mains_hours = 0;
  std::array<std::optional<double>, kChannelCount> flow;  // NULL: the channel failed ("отказ")
  std::array<double, kChannelCount> channel_status{}, scale_code{};
};

// A row of parameter_writes with its rows of parameter_changes.
struct StoredParameterWrite {
  std::string written_at;
  std::string result;  // "verified", "differs", "unverified", "interrupted"
  int frames_acknowledged = 0, frames_total = 0;
  std::string backup;
  struct Change {
    int value_index = 0;
    std::string name;
    double before = 0, after = 0;
    std::string before_text, after_text;
    std::optional<double> held;  // what the meter held instead, where it differed
  };
  std::vector<Change> changes;
};

struct DownloadRecord {
  ArchiveKind kind = ArchiveKind::Hourly;
  std::string started_at;
  std::string range_from, range_to;
};

// What `history meters` shows of one meter and kind.
struct KindSummary {
  ArchiveKind kind = ArchiveKind::Hourly;
  int64_t entries = 0;
  std::string first, last;      // the first and last entry's time
  double complete_percent = 0;  // complete entries of all the intervals from first to last
};
struct MeterSummary {
  MeterIdentity meter;
  std::string first_seen, last_seen;
  std::string collector;           // the machine that last read it (a shared server only)
  std::vector<KindSummary> kinds;  // the kinds it has entries of
};

class HistoryStore {
 public:
  virtual ~HistoryStore() = default;
  // Where the store is, for messages.
  virtual std::string Location() const = 0;

  // The meter's id: found by name, added on first sight; line, port, host,
  // address and last_seen are brought up to date.
  virtual int64_t Meter(const MeterIdentity& meter, const std::string& now) = 0;
  // The id of a meter known by that name.
  virtual std::optional<int64_t> FindMeter(const std::string& name) = 0;
  virtual std::vector<MeterSummary> Meters() = 0;

  // Insert or replace by (meter, kind, at).
  virtual void PutEntry(int64_t meter, const StoredEntry& entry) = 0;
  virtual void PutIntegrator(int64_t meter, const StoredIntegrator& reading) = 0;
  virtual void PutCurrentValues(int64_t meter, const StoredCurrentValues& values) = 0;
  // source: "read", "backup", "written" or "loaded"; the 1024 bytes of the block.
  virtual void PutParameterTable(int64_t meter, const std::string& read_at,
                                 const std::string& source,
                                 const std::vector<uint8_t>& registers) = 0;
  // A parameter_writes row and its changes, in one transaction.
  virtual void PutParameterWrite(int64_t meter, const StoredParameterWrite& write) = 0;
  // A downloads row; EndDownload fills in its end.
  virtual int64_t BeginDownload(int64_t meter, const DownloadRecord& download) = 0;
  virtual void EndDownload(int64_t download, const std::string& ended_at, const std::string& status,
                           int from_meter, int from_store) = 0;

  // The entries of a meter and kind with from <= at <= to (texts compare
  // as times), in time order.
  virtual std::vector<StoredEntry> Entries(int64_t meter, ArchiveKind kind, const std::string& from,
                                           const std::string& to, bool complete_only = false) = 0;
  virtual std::vector<StoredIntegrator> Integrators(int64_t meter, ArchiveKind kind,
                                                    const std::string& from,
                                                    const std::string& to) = 0;
  // Only the times of the entries, for finding gaps.
  virtual std::vector<std::string> EntryTimes(int64_t meter, ArchiveKind kind,
                                              const std::string& from, const std::string& to,
                                              bool complete_only) = 0;

  // Several collectors sharing a server: the meter is taken by this one
  // until its connection ends; false while another holds it. A file has one
  // program writing a meter at a time anyway.
  virtual bool TryLockMeter(int64_t meter) {
    (void)meter;
    return true;
  }
  virtual void UnlockMeter(int64_t meter) { (void)meter; }
  // The writes between them commit together (a spool pushed meter by
  // meter); each write is its own transaction otherwise.
  virtual void BeginBatch() {}
  virtual void CommitBatch() {}
};

// Opens (creating when missing) the store at `location`: a file name, or a
// server's URI (server_store.h). The schema is created or migrated in
// place. Throws HistoryError saying what is wrong with the file or server.
std::unique_ptr<HistoryStore> OpenHistoryStore(const std::string& location);

// --- Times -------------------------------------------------------------
// A date-time value as "YYYY-MM-DDTHH:MM" and, with seconds, ":SS".
std::string EntryTimeText(double serial);
std::string MomentText(double serial);
// Back from either form (or "YYYY-MM-DD"); empty for anything else.
std::optional<double> ParseTimeText(const std::string& text);

}  // namespace flovir::history
