#include "collect/runner.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "collect/state.h"
#include "operations/archive_download.h"
#include "operations/report_files.h"
#include "parameters/parameter_workbook.h"
#include "session/session.h"
#include "store/meter_history.h"
#include "store/spooling_store.h"
#include "workbook/serial_date.h"

namespace flovir::collect {

namespace fs = std::filesystem;

namespace {

// The text of a message box on one line of the summary.
std::string OneLine(const std::string& text) {
  std::string line;
  for (const std::string& part : MessageLines(text)) line += (line.empty() ? "" : " ") + part;
  return line;
}

// The session's view of one meter: progress goes to the run's progress;
// message boxes go nowhere (the result and the connection say what failed).
class MeterView : public View {
 public:
  MeterView(const std::string& meter, CollectProgress& progress)
      : meter_(meter), progress_(progress) {}
  void SetStage(const std::string& stage) {
    stage_ = stage;
    progress_.Update(meter_, stage, -1);
  }
  const std::string& LastStatus() const { return status_; }

  void ShowStatus(const std::string& text) override {
    if (!text.empty()) status_ = text;
  }
  void ShowProgress(const std::string& text, int percent) override {
    status_ = text;
    progress_.Update(meter_, stage_, percent);
  }
  void EnableOperationButtons(bool, bool) override {}
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
  void SetReport(ReportKind, const std::vector<std::string>&) override {}
  void AppendTestLine(const std::string&) override {}
  void ProcessPendingEvents() override {}

 private:
  std::string meter_;
  CollectProgress& progress_;
  std::string stage_;
  std::string status_;
};

std::string DayText(double date) {
  return IsoDateTime(date).substr(0, 10);
}

// "2026-12-03_2026-12-07"; months as "2026-10_2026-11".
std::string RangeText(ArchiveKind kind, const ArchiveRangeToRead& range) {
  const size_t length = kind == ArchiveKind::Monthly ? 7 : 10;
  return DayText(range.first).substr(0, length) + "_" + DayText(range.last).substr(0, length);
}

// How much a download read: "3d", "2m".
std::string CountText(ArchiveKind kind, const ArchiveRangeToRead& range) {
  if (kind != ArchiveKind::Monthly) {
    return std::to_string(static_cast<int>(range.last - range.first) + 1) + "d";
  }
  const CivilDateTime a = DecodeDateTime(range.first), b = DecodeDateTime(range.last);
  return std::to_string((b.year - a.year) * 12 + b.month - a.month + 1) + "m";
}

// Writes beside the target and renames over it, so a failed write never
// leaves half a file under the final name.
void WriteFile(const fs::path& path, const std::string& bytes) {
  const fs::path temporary = path.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) throw std::runtime_error("cannot write " + temporary.string());
  }
  fs::rename(temporary, path);
}

void CopyFile(const fs::path& from, const fs::path& to) {
  const fs::path temporary = to.string() + ".tmp";
  fs::copy_file(from, temporary, fs::copy_options::overwrite_existing);
  fs::rename(temporary, to);
}

// The worker thread's connection to the history server, kept from one meter
// to the next (each new connection costs the server a process of its own),
// and made anew after it failed over to the spool, so that every meter tries
// the server again. It ends with the thread.
history::SpoolingStore& ServerConnection(const std::string& uri, const std::string& spool) {
  struct Kept {
    std::string uri, spool;
    std::unique_ptr<history::SpoolingStore> store;
  };
  thread_local Kept kept;
  if (!kept.store || kept.store->Spooled() || kept.uri != uri || kept.spool != spool) {
    kept.store.reset();
    kept.store = history::SpoolingStore::Open(uri, spool);
    kept.uri = uri;
    kept.spool = spool;
  }
  return *kept.store;
}

// One meter's session and what it collects, all on the calling thread.
class MeterRun {
 public:
  MeterRun(const MeterConfig& meter, const CollectOptions& options, const Clock& clock,
           CollectProgress& progress)
      : meter_(meter),
        options_(options),
        clock_(clock),
        folder_(fs::path(options.out_dir) / meter.name),
        view_(meter.name, progress),
        session_(view_, clock,
                 {.timing = options.timing, .program_folder = (folder_ / ".work").string()}) {}

  // What the line did, on one line.
  std::string LinkSummary() { return StatisticsSummary(session_.Statistics().Snapshot()); }

  // Runs everything; returns the status text, empty on success.
  std::string Run(std::string& read) {
    fs::create_directories(folder_ / ".work");
    MeterState state = LoadState(StatePath());
    // A meter another collector is reading is left to it, before its line
    // is opened (a GSM call costs money).
    if (!OpenStore()) {
      read_by_another_ = true;
      return kReadByAnotherCollector;
    }
    view_.SetStage(meter_.settings.type == ConnectionType::Direct ? "open" : "call");
    if (!session_.Start(meter_.settings)) return FailureText();
    OpenHistory();
    const CollectWhat& what = meter_.collect;
    if (what.current) {
      if (!Do("current", [](Session& s) { return s.StartCurrentValues(); })) return FailureText();
      WriteCurrent();
      read += " current";
    }
    for (ArchiveKind kind : {ArchiveKind::Hourly, ArchiveKind::Daily, ArchiveKind::Monthly}) {
      const bool wanted = kind == ArchiveKind::Hourly  ? what.hourly
                          : kind == ArchiveKind::Daily ? what.daily
                                                       : what.monthly;
      if (!wanted) continue;
      const int history =
          kind == ArchiveKind::Monthly ? meter_.history_months : meter_.history_days;
      const ArchiveRangeToRead range =
          NextArchiveRange(kind, state.Of(kind), clock_.Now(), history);
      const std::string name = ArchiveName(kind);
      if (!range.due) {
        read += " " + name + " up to date";
        continue;
      }
      if (!Do(name, [&](Session& s) { return s.StartArchive(kind, range.first, range.last); })) {
        return FailureText();
      }
      WriteArchive(kind, range);
      state.Of(kind) = range.last;
      read += " " + name + " " + CountText(kind, range);
    }
    if (what.parameters) {
      if (!Do("params", [](Session& s) { return s.ReadParameters(); })) return FailureText();
      WriteParameters();
      read += " params";
    }
    view_.SetStage("close");
    session_.Stop();
    // Only now that every file is in place does the next run start later.
    SaveState(StatePath(), state);
    return {};
  }

  const std::vector<std::string>& Warnings() const { return warnings_; }
  bool ReadByAnother() const { return read_by_another_; }
  std::string Spooled() const {
    return spooling_ && spooling_->Spooled() ? spooling_->Reason() : std::string();
  }

 private:
  // Each meter's thread has its own connection to the store; SQLite's lock
  // and busy timeout let them (and a window) take turns. On a shared server
  // the meter is locked for this collector until the connection ends;
  // false when another collector holds it.
  bool OpenStore() {
    if (options_.history_file.empty()) return true;
    try {
      if (!options_.spool_file.empty()) {
        spooling_ = &ServerConnection(options_.history_file, options_.spool_file);
        store_ = spooling_;
      } else {
        own_store_ = history::OpenHistoryStore(options_.history_file);
        store_ = own_store_.get();
      }
    } catch (const std::exception& error) {
      warnings_.push_back(std::string(error.what()) +
                          ". История не ведётся; файлы сохраняются как обычно");
      return true;
    }
    if (!spooling_) return true;  // a file: one program writes a meter at a time anyway
    try {
      // Found, not touched: its last reading stays as it was until one succeeds.
      auto id = store_->FindMeter(meter_.name);
      if (!id) {
        id = store_->Meter(history::IdentityOf(meter_.name, meter_.settings),
                           history::MomentText(clock_.Now()));
      }
      if (!store_->TryLockMeter(*id)) return false;
      lock_.store = store_;  // fields, not a temporary that would unlock as it goes
      lock_.meter = *id;
      return true;
    } catch (const std::exception&) {
      // The history then warns at its first write; the meter is read.
      return true;
    }
  }
  void OpenHistory() {
    if (!store_ || history_) return;
    auto warn = [this](const std::string& text) { warnings_.push_back(text); };
    history_ = std::make_unique<history::MeterHistory>(
        *store_, history::IdentityOf(meter_.name, session_.LineSettings()), clock_, warn);
    history_->SetMissingOnly(true);
    GetDispatcher().SetHistory(history_.get());
  }
  bool Stopping() const { return options_.stop && options_.stop->load(); }
  std::string StatePath() const { return (folder_ / "state.json").string(); }
  fs::path Work() const { return folder_ / ".work"; }
  std::string Stem(const std::string& name) const { return name + "_" + DayText(clock_.Now()); }
  fs::path Output(const std::string& stem) const {
    return folder_ / (stem + "." + FormatExtension(options_.format));
  }
  Dispatcher& GetDispatcher() { return session_.GetDispatcher(); }

  // Starts an operation and waits for its end; true when it collected.
  bool Do(const std::string& stage, const std::function<bool(Session&)>& start) {
    view_.SetStage(stage);
    if (!start(session_)) return false;
    session_.RunToEnd([this] { return Stopping(); });
    const OperationResult& result = session_.LastResult();
    // A download whose "temp.xls" was not saved ends well and shows the
    // file as it was; a collection must not take that for collected.
    return result.Succeeded() && !result.Warning(WarningKind::ArchiveWorkbookNotSaved);
  }
  // Why the meter failed, as the window would have said it: the warning
  // that failed a finished download, the line's error (a modem's report, a
  // hang-up that failed), or the status text.
  std::string FailureText() {
    const OperationResult& result = session_.LastResult();
    if (const OperationWarning* unsaved = result.Warning(WarningKind::ArchiveWorkbookNotSaved)) {
      return OneLine(unsaved->text);
    }
    const std::string& line_error = session_.GetConnection().LastError();
    if (!line_error.empty()) return OneLine(line_error);
    if (!result.text.empty()) return result.text;
    return view_.LastStatus().empty() ? "failed" : view_.LastStatus();
  }
  ReadingInfo Info() const {
    return {MeterJson(meter_.name, session_.LineSettings()), clock_.Now(),
            session_.LastResult().text};
  }
  void Write(const fs::path& path, const std::string& csv, const Json& json,
             const fs::path& text_file) {
    if (options_.format == OutputFormat::Csv) WriteFile(path, csv);
    if (options_.format == OutputFormat::Json) WriteFile(path, json.dump(2) + "\n");
    if (options_.format == OutputFormat::Text) CopyFile(text_file, path);
  }

  void WriteCurrent() {
    const CurrentValues& current = *session_.LastResult().current_values;
    const fs::path report = fs::path(GetDispatcher().AutoSaveFolderPath()) / kCurrentReportFile;
    Write(Output(Stem("current")), CurrentValuesCsv(current), CurrentValuesJson(current, Info()),
          report);
  }
  void WriteArchive(ArchiveKind kind, const ArchiveRangeToRead& range) {
    const std::vector<ArchiveRow> rows = ArchiveRows(*session_.LastResult().archive);
    const fs::path report =
        fs::path(GetDispatcher().AutoSaveFolderPath()) / LayoutOf(kind).report_file;
    const std::string stem = std::string(ArchiveName(kind)) + "_" + RangeText(kind, range);
    Write(Output(stem), ArchiveCsv(rows), ArchiveJson(kind, rows, Info()), report);
    CopyFile(Work() / kArchiveWorkbookName, folder_ / (stem + ".xls"));
  }
  void WriteParameters() {
    const ParameterBuffer& buffer = *session_.LastResult().parameters;
    const fs::path workbook =
        fs::path(GetDispatcher().AutoSaveFolderPath()) / kParameterAutoSaveName;
    const std::string stem = Stem("params");
    if (options_.format == OutputFormat::Text) {
      // The parameter table has no text report; its workbook is the record.
      WriteFile(Output(stem), ParametersCsv(session_.Table(), buffer));
    } else {
      Write(Output(stem), ParametersCsv(session_.Table(), buffer),
            ParametersJson(session_.Table(), buffer, Info()), {});
    }
    CopyFile(workbook, folder_ / (stem + ".xls"));
  }

  const MeterConfig& meter_;
  const CollectOptions& options_;
  const Clock& clock_;
  fs::path folder_;
  MeterView view_;
  std::vector<std::string> warnings_;
  bool read_by_another_ = false;
  // The meter's lock on the server, given back once everything after it
  // (the history, the session) has ended: the connection stays with the
  // worker thread for its next meter.
  struct MeterLock {
    MeterLock() = default;
    MeterLock(const MeterLock&) = delete;
    MeterLock& operator=(const MeterLock&) = delete;
    history::HistoryStore* store = nullptr;
    int64_t meter = 0;
    ~MeterLock() {
      if (store == nullptr) return;
      try {
        store->CommitBatch();  // a download that never ended keeps what it read
        store->UnlockMeter(meter);
      } catch (const std::exception&) {
        // The connection is gone, and the lock with it.
      }
    }
  } lock_;
  std::unique_ptr<history::HistoryStore> own_store_;
  history::HistoryStore* store_ = nullptr;
  history::SpoolingStore* spooling_ = nullptr;  // store_, when the history is on a server
  std::unique_ptr<history::MeterHistory> history_;
  Session session_;  // goes first: its operations use the history
};

// The port as one key, whatever path names it (/dev/serial/by-id links).
std::string PortKey(const std::string& port) {
  std::error_code error;
  const fs::path canonical = fs::weakly_canonical(port, error);
  return error ? port : canonical.string();
}

// Runs the meters named by `which` on up to `jobs` threads, never two on
// one port at once.
void RunRound(const Fleet& fleet, const std::vector<size_t>& which, const CollectOptions& options,
              const Clock& clock, CollectProgress& progress, std::vector<MeterResult>& results) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<size_t> pending = which;
  std::set<std::string> busy;
  const auto worker = [&] {
    std::unique_lock lock(mutex);
    while (!pending.empty() && !(options.stop && options.stop->load())) {
      auto next = std::find_if(pending.begin(), pending.end(), [&](size_t i) {
        return !busy.count(PortKey(fleet.meters[i].settings.port_name));
      });
      if (next == pending.end()) {
        changed.wait(lock);
        continue;
      }
      const size_t i = *next;
      pending.erase(next);
      const std::string port = PortKey(fleet.meters[i].settings.port_name);
      busy.insert(port);
      lock.unlock();
      MeterResult result = CollectMeter(fleet.meters[i], options, clock, progress);
      lock.lock();
      busy.erase(port);
      result.retried = results[i].began != std::chrono::steady_clock::time_point{};
      if (result.retried) result.first_status = results[i].status;
      result.seconds += results[i].seconds;
      results[i] = std::move(result);
      progress.Finished(results[i]);
      changed.notify_all();
    }
  };
  const size_t threads = std::clamp<size_t>(options.jobs, 1, std::max<size_t>(which.size(), 1));
  std::vector<std::thread> pool;
  for (size_t t = 0; t < threads; ++t) pool.emplace_back(worker);
  for (std::thread& t : pool) t.join();
}

size_t Width(const std::string& utf8) {
  return static_cast<size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

// " (retried)", with the first try's status when it was another.
std::string RetryNote(const MeterResult& r) {
  if (!r.retried) return {};
  if (r.first_status == r.status) return " (retried)";
  return " (retried after: " + r.first_status + ")";
}

std::vector<std::string> SummaryFields(const MeterResult& r) {
  return {r.name,
          r.line,
          r.read.empty() ? "-" : r.read.substr(r.read.starts_with(" ") ? 1 : 0),
          r.status + RetryNote(r),
          SecondsText(r.seconds),
          r.link.empty() ? "-" : r.link};
}

}  // namespace

MeterResult CollectMeter(const MeterConfig& meter, const CollectOptions& options,
                         const Clock& clock, CollectProgress& progress) {
  MeterResult result;
  result.name = meter.name;
  result.line = LineWordOf(meter.settings) + " " + meter.settings.port_name;
  result.began = std::chrono::steady_clock::now();
  std::string failure;
  try {
    MeterRun session(meter, options, clock, progress);
    failure = session.Run(result.read);
    result.link = session.LinkSummary();
    result.warnings = session.Warnings();
    result.spooled = session.Spooled();
    if (!result.spooled.empty()) result.read += " (spool)";
    if (session.ReadByAnother()) {
      // Not a failure: the other collector reads it, and it is not retried.
      result.ended = std::chrono::steady_clock::now();
      result.succeeded = true;
      result.status = failure;
      result.link.clear();
      return result;
    }
  } catch (const std::exception& e) {
    failure = e.what();
  }
  result.ended = std::chrono::steady_clock::now();
  result.seconds = std::chrono::duration<double>(result.ended - result.began).count();
  result.succeeded = failure.empty();
  result.status = result.succeeded ? "Завершено успешно" : failure;
  return result;
}

std::vector<MeterResult> RunCollection(const Fleet& fleet, const CollectOptions& options,
                                       const Clock& clock, CollectProgress& progress) {
  std::vector<MeterResult> results(fleet.meters.size());
  std::vector<size_t> all(fleet.meters.size());
  for (size_t i = 0; i < all.size(); ++i) {
    all[i] = i;
    // What a meter that a stop keeps from starting reports.
    const Settings& s = fleet.meters[i].settings;
    results[i].name = fleet.meters[i].name;
    results[i].line = LineWordOf(s) + " " + s.port_name;
    results[i].status = StatusText(ExchangeStatus::Cancelled);
  }
  RunRound(fleet, all, options, clock, progress, results);
  std::vector<size_t> failed;
  for (size_t i = 0; i < results.size(); ++i) {
    if (!results[i].succeeded) failed.push_back(i);
  }
  const bool stopped = options.stop && options.stop->load();
  if (!failed.empty() && !stopped) RunRound(fleet, failed, options, clock, progress, results);
  return results;
}

std::vector<std::string> SummaryTable(const std::vector<MeterResult>& results) {
  std::vector<std::vector<std::string>> rows{
      {"meter", "line", "read", "status", "seconds", "link"}};
  for (const MeterResult& r : results) rows.push_back(SummaryFields(r));
  std::vector<size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Width(row[c]));
  }
  std::vector<std::string> lines;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      const bool seconds = c == 4;
      const bool last = c + 1 == row.size();
      // Seconds right-aligned, the rest left-aligned.
      const std::string pad(widths[c] - Width(row[c]), ' ');
      line += seconds ? pad + row[c] + "  " : last ? row[c] : row[c] + pad + "  ";
    }
    lines.push_back(line);
  }
  return lines;
}

void WriteSummaryCsv(const std::string& path, const std::vector<MeterResult>& results) {
  // The line's statistics come last, so the columns before keep their places.
  std::string csv = CsvRecord({"meter", "line", "read", "status", "seconds", "succeeded", "link"});
  for (const MeterResult& r : results) {
    std::vector<std::string> fields = SummaryFields(r);
    fields.insert(fields.end() - 1, r.succeeded ? "true" : "false");
    csv += CsvRecord(fields);
  }
  WriteFile(path, csv);
}

}  // namespace flovir::collect
