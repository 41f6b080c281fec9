#pragma once
// --format csv|json of the meter commands (current, archive, params read,
// test): the values the meter sent as CSV or JSON on standard output instead
// of the text report; the status text then goes to standard error, so the
// output can be piped into another program as it is.

#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

#include "export/export.h"
#include "operations/dispatcher.h"
#include "parameters/parameter_table.h"

namespace flovir::cli {

// --format text|csv|json on a command; the check names the option.
void AddFormatOption(CLI::App& command, collect::OutputFormat& format,
                     const std::string& description);

// After a current-values read, an archive download or a parameter read that
// succeeded: the values its result carries.
void PrintCurrentValues(collect::OutputFormat format, Dispatcher& dispatcher);
void PrintArchive(collect::OutputFormat format, Dispatcher& dispatcher, ArchiveKind kind);
void PrintParameters(collect::OutputFormat format, Dispatcher& dispatcher,
                     const ParameterTable& table);

// The test poll's lines: CSV as they come (the header first), JSON as one
// object at the end.
class TestPollOutput {
 public:
  TestPollOutput(collect::OutputFormat format, Dispatcher& dispatcher)
      : format_(format), dispatcher_(dispatcher) {}
  void Poll();  // after every tick that succeeded: the values of its result
  void Finish();

 private:
  collect::OutputFormat format_;
  Dispatcher& dispatcher_;
  std::vector<std::pair<double, std::vector<float>>> polls_;
};

}  // namespace flovir::cli
