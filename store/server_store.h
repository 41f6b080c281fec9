#pragma once
// The history on a shared PostgreSQL server: the same documented schema and
// the same HistoryStore as the SQLite file, for several collectors and the
// dispatchers' windows at once. OpenHistoryStore takes a server for a
// location that is a libpq connection URI:
//
//   postgresql://flovir@db.example.org:5432/meters?sslmode=require
//
// The password never goes into a message: it belongs in ~/.pgpass or the
// file PGPASSFILE names, and a URI that carries one is shown without it.

#include <memory>
#include <string>

#include "store/history_store.h"

namespace flovir::history {

// Whether the location names a server ("postgresql://", "postgres://").
bool IsServerLocation(const std::string& location);
// The URI without its password (user:secret@ and password=secret), for
// every message, summary and trace.
std::string WithoutPassword(const std::string& location);
// `text` (a message of the client library) with every appearance of the
// URI's password replaced by "***".
std::string WithoutPasswordOf(const std::string& uri, std::string text);
// Whether this build can reach a server at all (the Windows build cannot).
bool ServerStoresBuiltIn();

// Connects, and creates or migrates the schema on first use. Throws
// HistoryError with the server's reason (and no password).
std::unique_ptr<HistoryStore> OpenServerStore(const std::string& uri);

}  // namespace flovir::history
