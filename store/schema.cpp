#include "store/schema.h"

#include <array>
#include <stdexcept>

namespace flovir::history {

namespace {

// Version 1: the readings as users query them.
const std::string kVersion1 = R"sql(
CREATE TABLE schema_version(version INTEGER NOT NULL);
INSERT INTO schema_version(version) VALUES (0);
CREATE TABLE meters(
  id INTEGER PRIMARY KEY,
  name TEXT UNIQUE NOT NULL,
  line TEXT, port TEXT, host TEXT, address INTEGER,
  first_seen TEXT, last_seen TEXT);
CREATE TABLE archive_entries(
  meter_id INTEGER NOT NULL REFERENCES meters(id),
  kind TEXT NOT NULL CHECK (kind IN ('hourly', 'daily', 'monthly')),
  at TEXT NOT NULL,
  v1 REAL, v2 REAL, v3 REAL, v4 REAL,
  b1 REAL, b2 REAL, b3 REAL, b4 REAL,
  mains_off REAL, events TEXT,
  complete INTEGER NOT NULL,
  downloaded_at TEXT NOT NULL,
  PRIMARY KEY (meter_id, kind, at));
CREATE TABLE integrators(
  meter_id INTEGER NOT NULL REFERENCES meters(id),
  kind TEXT NOT NULL CHECK (kind IN ('daily', 'monthly')),
  at TEXT NOT NULL,
  v1 REAL, v2 REAL, v3 REAL, v4 REAL,
  b1 REAL, b2 REAL, b3 REAL, b4 REAL,
  downloaded_at TEXT NOT NULL,
  PRIMARY KEY (meter_id, kind, at));
CREATE TABLE current_values(
  meter_id INTEGER NOT NULL REFERENCES meters(id),
  read_at TEXT NOT NULL, meter_clock TEXT,
  v1 REAL, v2 REAL, v3 REAL, v4 REAL,
  b1 REAL, b2 REAL, b3 REAL, b4 REAL,
  mains_time REAL,
  f1 REAL, f2 REAL, f3 REAL, f4 REAL,
  status1 REAL, status2 REAL, status3 REAL, status4 REAL,
  scale1 REAL, scale2 REAL, scale3 REAL, scale4 REAL);
CREATE INDEX current_values_by_meter ON current_values(meter_id, read_at);
CREATE TABLE parameter_tables(
  meter_id INTEGER NOT NULL REFERENCES meters(id),
  read_at TEXT NOT NULL,
  source TEXT NOT NULL CHECK (source IN ('read', 'backup', 'written', 'loaded')),
  registers BLOB NOT NULL);
CREATE INDEX parameter_tables_by_meter ON parameter_tables(meter_id, read_at);
CREATE TABLE downloads(
  id INTEGER PRIMARY KEY,
  meter_id INTEGER NOT NULL REFERENCES meters(id),
  kind TEXT NOT NULL,
  started_at TEXT NOT NULL, ended_at TEXT,
  status TEXT,
  range_from TEXT, range_to TEXT,
  from_meter INTEGER, from_store INTEGER);
)sql";

// Version 2: the meter's own registers and scale codes beside each entry,
// so that an entry taken from the store makes the very bytes a download of
// it makes.
const std::string kVersion2 = R"sql(
ALTER TABLE archive_entries ADD COLUMN registers BLOB;
ALTER TABLE archive_entries ADD COLUMN scale_codes BLOB;
ALTER TABLE integrators ADD COLUMN registers BLOB;
ALTER TABLE integrators ADD COLUMN scale_codes BLOB;
CREATE INDEX downloads_by_meter ON downloads(meter_id, started_at);
)sql";

// Version 3: the parameter writes as the change log tells them, each
// changed value a row, so "what was changed on this meter, and when" is a
// query rather than a search through text files.
const std::string kVersion3 = R"sql(
CREATE TABLE parameter_writes(
  id INTEGER PRIMARY KEY,
  meter_id INTEGER NOT NULL REFERENCES meters(id),
  written_at TEXT NOT NULL,
  result TEXT NOT NULL CHECK (result IN ('verified', 'differs', 'unverified', 'interrupted')),
  frames_acknowledged INTEGER NOT NULL,
  frames_total INTEGER NOT NULL,
  backup TEXT);
CREATE INDEX parameter_writes_by_meter ON parameter_writes(meter_id, written_at);
CREATE TABLE parameter_changes(
  write_id INTEGER NOT NULL REFERENCES parameter_writes(id),
  value_index INTEGER NOT NULL,
  name TEXT NOT NULL,
  before REAL, after REAL,
  before_text TEXT, after_text TEXT,
  held REAL,
  PRIMARY KEY (write_id, value_index));
)sql";

const std::array<const std::string*, kSchemaVersion> kScripts{&kVersion1, &kVersion2, &kVersion3};

}  // namespace

const std::string& SchemaScript(int version) {
  if (version < 1 || version > kSchemaVersion) throw std::out_of_range("schema version");
  return *kScripts[static_cast<size_t>(version - 1)];
}

}  // namespace flovir::history
