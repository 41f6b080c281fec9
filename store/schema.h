#pragma once
// The history's schema, version by version (docs/history.md describes the
// latest). A store holds its version in schema_version; opening an older
// one runs the scripts after it, in one transaction, so a program that
// stops half-way leaves the file as it was.

#include <string>

namespace flovir::history {

inline constexpr int kSchemaVersion = 3;

// The script that brings a store from version - 1 to version (1 to
// kSchemaVersion).
const std::string& SchemaScript(int version);

}  // namespace flovir::history
