#pragma once
// flovir-cli collect, apart from its option parsing: whichever parser reads
// the words fills CollectCommand and calls RunCollectCommand.

#include <string>

#include "export/export.h"

namespace flovir::cli {

struct CollectCommand {
  std::string fleet_file;
  std::string out_dir = ".";
  unsigned jobs = 1;
  collect::OutputFormat format = collect::OutputFormat::Csv;
  bool quiet = false;
  std::string history;      // --history; empty: the fleet file's, else OUT/history.sqlite
  bool no_history = false;  // --no-history
};

// Reads the fleet, runs it, prints the summary; returns the exit status:
// 0 every meter succeeded, 1 some failed, 2 a bad fleet file.
int RunCollectCommand(const CollectCommand& command);

}  // namespace flovir::cli
