#pragma once
// The collection run: every meter of a fleet read in turn, or `jobs` meters
// at once on different ports; one port is never used by two meters at
// once. Each meter runs on a thread of its own with its own connection and
// dispatcher, as the window runs one. A meter that fails is tried once more
// at the end of the run and never stops the others.
//
// A meter's files go to OUT/NAME/: current_DATE.EXT and params_DATE.EXT
// (DATE the day of the run), hourly_FIRST_LAST.EXT, daily_... and
// monthly_... for the archives (the days they hold), the archive and
// parameter workbooks beside them as .xls, and state.json, which remembers
// the last complete archive entries collected. Every reading also goes into
// the history store, and each download takes from it the complete entries
// it already holds (a retried or resumed range reads only what it lacks);
// state.json still decides which days are due. The dispatcher's own files
// (temp.xls, the auto-saved reports) stay in OUT/NAME/.work/.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "collect/fleet.h"
#include "connection/connection.h"
#include "export/export.h"
#include "operations/clock.h"

namespace flovir::collect {

// The status of a meter that another collector sharing the history server
// is reading at the time: left to it, not retried, not a failure.
inline constexpr const char* kReadByAnotherCollector = "read by another collector";

struct CollectOptions {
  std::string out_dir = ".";
  unsigned jobs = 1;
  OutputFormat format = OutputFormat::Csv;
  ConnectionTiming timing;  // the modem dialogue's waits
  // The history store every reading goes into, and from which a download
  // takes the complete entries it already has; empty keeps none.
  std::string history_file;
  // With a history on a server: the SQLite file (OUT/spool.sqlite) that
  // takes the readings while the server cannot be reached.
  std::string spool_file;
  // Set from elsewhere (a signal handler) to stop: running operations end
  // after their current try, lines are closed and modem calls hung up, no
  // further meter starts and nothing is retried.
  const std::atomic<bool>* stop = nullptr;
};

struct MeterResult {
  std::string name;
  std::string line;  // "direct /dev/ttyUSB0"
  std::string read;  // what was read, such as "current hourly(1d) daily(1d)"
  std::string status;
  std::string first_status;  // of the first try, when it was retried
  // What the history said: a store that could not be written, a store whose
  // entries the meter's integrators contradicted. Never a failure: the
  // files are written all the same.
  std::vector<std::string> warnings;
  // Why its readings went into the spool instead of the history server;
  // empty when they reached it (or there is no server).
  std::string spooled;
  bool succeeded = false;
  bool retried = false;
  double seconds = 0;  // both tries together
  std::string link;    // the line's statistics of the last try (StatisticsSummary)
  std::chrono::steady_clock::time_point began, ended;  // of the last try
};

// What the run tells the user while it goes; called from the meters'
// threads (implementations lock).
class CollectProgress {
 public:
  virtual ~CollectProgress() = default;
  // What a meter does now: its stage ("open", "current", "hourly",
  // "close", ...) and, while a download counts up, how far it is (0 to 100;
  // -1 when the stage has just begun).
  virtual void Update(const std::string& meter, const std::string& stage, int percent) = 0;
  virtual void Finished(const MeterResult& result) = 0;
};

// Reads one meter: opens its line, runs what it collects, writes its files
// and, when everything succeeded, its new state.
MeterResult CollectMeter(const MeterConfig& meter, const CollectOptions& options,
                         const Clock& clock, CollectProgress& progress);

// Runs the whole fleet; results in the fleet's order.
std::vector<MeterResult> RunCollection(const Fleet& fleet, const CollectOptions& options,
                                       const Clock& clock, CollectProgress& progress);

// The summary: a header and a line per meter, columns aligned.
std::vector<std::string> SummaryTable(const std::vector<MeterResult>& results);
// OUT/summary.csv with the same columns. Throws std::runtime_error.
void WriteSummaryCsv(const std::string& path, const std::vector<MeterResult>& results);

}  // namespace flovir::collect
