#pragma once
// Small owners of SQLite's C handles: a database connection and a prepared
// statement whose values are always bound, never spliced into the text. A
// failing call throws HistoryError with SQLite's own message.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/history_store.h"

namespace flovir::history {

class Statement;

class Database {
 public:
  // Opens or creates the file; waits up to busy_ms when another program
  // holds the lock.
  Database(const std::string& path, int busy_ms);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs statements without values (schema scripts, pragmas).
  void Execute(const std::string& sql);
  Statement Prepare(const std::string& sql);
  int64_t LastInsertId() const;
  sqlite3* Handle() const { return db_; }
  // Throws HistoryError with SQLite's message unless code is OK, ROW or DONE.
  void Check(int code) const;
  // The transaction's two statements, prepared once.
  Statement& Begin();
  Statement& Commit();

 private:
  sqlite3* db_ = nullptr;
  std::unique_ptr<Statement> begin_, commit_;
  std::string path_;
};

class Statement {
 public:
  Statement(Database& db, const std::string& sql);
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Binds by position from 1; each returns *this for chaining.
  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, double value);
  Statement& Bind(int index, const std::string& value);
  Statement& Bind(int index, const std::optional<double>& value);
  Statement& Bind(int index, const std::vector<uint8_t>& blob);
  // The next row: false when there is none. The statement resets itself
  // after its last row.
  bool Step();
  // Runs a statement that returns no rows, then resets it.
  void Run();
  void Reset();

  bool IsNull(int column) const;
  int64_t Int(int column) const;
  double Real(int column) const;
  std::optional<double> OptionalReal(int column) const;
  std::string Text(int column) const;
  std::vector<uint8_t> Blob(int column) const;

 private:
  Database* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back when left by an exception.
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  void Commit();

 private:
  Database& db_;
  bool done_ = false;
};

}  // namespace flovir::history
