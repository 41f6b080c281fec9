#include "store/sqlite_db.h"

namespace flovir::history {

Database::Database(const std::string& path, int busy_ms) : path_(path) {
  const int code =
      sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (code != SQLITE_OK) {
    const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    sqlite3_close(db_);
    db_ = nullptr;
    throw HistoryError("Не удалось открыть историю " + path + ": " + message);
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, busy_ms);
}

Database::~Database() {
  begin_.reset();
  commit_.reset();
  sqlite3_close_v2(db_);
}

void Database::Check(int code) const {
  if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE) return;
  throw HistoryError(sqlite3_errmsg(db_));
}

void Database::Execute(const std::string& sql) {
  char* error = nullptr;
  const int code = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
  if (code != SQLITE_OK) {
    const std::string message = error != nullptr ? error : sqlite3_errstr(code);
    sqlite3_free(error);
    throw HistoryError(message);
  }
}

Statement Database::Prepare(const std::string& sql) {
  return Statement(*this, sql);
}

int64_t Database::LastInsertId() const {
  return sqlite3_last_insert_rowid(db_);
}

Statement::Statement(Database& db, const std::string& sql) : db_(&db) {
  db.Check(sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &stmt_, nullptr));
}

Statement::~Statement() {
  sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept : db_(other.db_), stmt_(other.stmt_) {
  other.stmt_ = nullptr;
}

Statement& Statement::Bind(int index, int64_t value) {
  db_->Check(sqlite3_bind_int64(stmt_, index, value));
  return *this;
}

Statement& Statement::Bind(int index, double value) {
  db_->Check(sqlite3_bind_double(stmt_, index, value));
  return *this;
}

Statement& Statement::Bind(int index, const std::string& value) {
  db_->Check(sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                               SQLITE_TRANSIENT));
  return *this;
}

Statement& Statement::Bind(int index, const std::optional<double>& value) {
  if (value) return Bind(index, *value);
  db_->Check(sqlite3_bind_null(stmt_, index));
  return *this;
}

Statement& Statement::Bind(int index, const std::vector<uint8_t>& blob) {
  db_->Check(sqlite3_bind_blob(stmt_, index, blob.data(), static_cast<int>(blob.size()),
                               SQLITE_TRANSIENT));
  return *this;
}

bool Statement::Step() {
  const int code = sqlite3_step(stmt_);
  if (code == SQLITE_ROW) return true;
  sqlite3_reset(stmt_);
  db_->Check(code);
  return false;
}

void Statement::Run() {
  while (Step()) {
  }
  Reset();
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int64_t Statement::Int(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

double Statement::Real(int column) const {
  return sqlite3_column_double(stmt_, column);
}

std::optional<double> Statement::OptionalReal(int column) const {
  if (IsNull(column)) return std::nullopt;
  return Real(column);
}

std::string Statement::Text(int column) const {
  const auto* text = sqlite3_column_text(stmt_, column);
  return text != nullptr ? std::string(reinterpret_cast<const char*>(text),
                                       static_cast<size_t>(sqlite3_column_bytes(stmt_, column)))
                         : std::string();
}

std::vector<uint8_t> Statement::Blob(int column) const {
  const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, column));
  const int size = sqlite3_column_bytes(stmt_, column);
  return data != nullptr ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
}

Transaction::Transaction(Database& db) : db_(db) {
  db_.Begin().Run();
}

Transaction::~Transaction() {
  if (!done_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  db_.Commit().Run();
  done_ = true;
}

Statement& Database::Begin() {
  // IMMEDIATE takes the write lock at once, so a busy store is waited for
  // here, not half-way through the writes.
  if (!begin_) begin_ = std::make_unique<Statement>(*this, "BEGIN IMMEDIATE");
  return *begin_;
}

Statement& Database::Commit() {
  if (!commit_) commit_ = std::make_unique<Statement>(*this, "COMMIT");
  return *commit_;
}

}  // namespace flovir::history
