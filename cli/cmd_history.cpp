// flovir-cli history: what the history store holds, without a line to the
// meter. `meters` lists every meter with its counts and completeness;
// `gaps`, `show` and `export` take one meter (--meter, or the name the line
// options give) and one archive kind over a period (--from, --to; by
// default the first to the last stored entry).

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "cli/line_options.h"
#include "cli/machine_output.h"
#include "export/export.h"
#include "operations/clock.h"
#include "operations/dispatcher.h"
#include "operations/report_files.h"
#include "operations/words.h"
#include "reports/archive_table.h"
#include "session/demo_ports.h"
#include "store/history_views.h"
#include "store/meter_history.h"
#include "store/server_store.h"
#include "workbook/platform_files.h"
#include "workbook/serial_date.h"

namespace flovir::cli {

namespace {

struct HistoryCommand {
  std::string action;
  std::string kind;
  std::string from, to;
  collect::OutputFormat format = collect::OutputFormat::Text;
};

std::string HistoryPath(const GlobalOptions& global) {
  if (!global.history.empty()) return global.history;
  return ProgramFolder(global.folder) + "/" + history::kHistoryFileName;
}

// The meter's name: --meter, else the one the line options would give it.
std::string MeterName(const GlobalOptions& global) {
  if (!global.meter.empty()) return global.meter;
  Settings settings = global.line.settings;
  if (global.line.demo) {
    (settings.type == ConnectionType::TcpIp ? settings.host : settings.port_name) = kDemoPortName;
  }
  return history::DefaultMeterName(settings);
}

// A shared server also tells when each meter was last read, and by which
// collector; a file has only its own machine.
int Meters(history::HistoryStore& store) {
  const bool shared = history::IsServerLocation(store.Location());
  std::printf("%-30s %-8s %8s %-16s %-16s %9s%s\n", "meter", "kind", "entries", "first", "last",
              "complete", shared ? "  last read           collector" : "");
  for (const history::MeterSummary& meter : store.Meters()) {
    char read[160] = "";
    if (shared) {
      std::snprintf(read, sizeof read, "  %-19s %s", meter.last_seen.c_str(),
                    meter.collector.c_str());
    }
    if (meter.kinds.empty() && shared) {
      std::printf("%-30s %-8s %8d %-16s %-16s %9s%s\n", meter.meter.name.c_str(), "-", 0, "", "",
                  "", read);
    } else if (meter.kinds.empty()) {
      std::printf("%-30s %-8s %8d\n", meter.meter.name.c_str(), "-", 0);
    }
    for (const history::KindSummary& kind : meter.kinds) {
      std::printf("%-30s %-8s %8lld %-16s %-16s %8.1f%%%s\n", meter.meter.name.c_str(),
                  history::KindWord(kind.kind), static_cast<long long>(kind.entries),
                  kind.first.c_str(), kind.last.c_str(), kind.complete_percent, read);
    }
  }
  return kExitOk;
}

int RunHistory(const GlobalOptions& global, const HistoryCommand& command) {
  static constexpr const char* kActions = "meters, gaps, show or export";
  if (command.action != "meters" && command.action != "gaps" && command.action != "show" &&
      command.action != "export") {
    return UsageError("history: '" + command.action + "' is not " + kActions);
  }
  if (global.no_history) return UsageError("history: --no-history leaves no history to show");
  std::optional<ArchiveKind> kind;
  if (command.action != "meters") {
    const ArchiveKind* word = FindWord(kArchiveWords, command.kind);
    if (word == nullptr) {
      return UsageError("history " + command.action + ": KIND '" + command.kind + "' is not " +
                        WordList(kArchiveWords, ", ", " or "));
    }
    kind = *word;
  }
  double from = 0, to = 0;
  if (!command.from.empty() && !ParseDate(command.from, from)) {
    return UsageError("--from: '" + command.from + "' is not a date DD.MM.YYYY");
  }
  if (!command.to.empty() && !ParseDate(command.to, to)) {
    return UsageError("--to: '" + command.to + "' is not a date DD.MM.YYYY");
  }
  if (command.action == "export" && command.format == collect::OutputFormat::Text) {
    return UsageError("history export: --format csv or json");
  }
  const std::string path = HistoryPath(global);
  std::error_code missing;
  if (!history::IsServerLocation(path) && !std::filesystem::exists(PathFromUtf8(path), missing)) {
    std::fprintf(stderr, "Истории нет: файла %s нет\n", path.c_str());
    return kExitFailed;
  }
  std::unique_ptr<history::HistoryStore> store;
  try {
    store = history::OpenHistoryStore(path);
    if (!kind) return Meters(*store);
    const std::string name = MeterName(global);
    const auto meter = store->FindMeter(name);
    if (!meter) {
      std::fprintf(stderr, "В истории %s нет прибора «%s»\n", store->Location().c_str(),
                   name.c_str());
      return kExitFailed;
    }
    // The period: the days given, else those of the first and last entry.
    const std::vector<std::string> all = store->EntryTimes(*meter, *kind, "0000", "9999", false);
    if (all.empty() && (command.from.empty() || command.to.empty())) {
      std::fprintf(stderr, "В истории нет записей: %s, %s\n", name.c_str(),
                   history::KindWord(*kind));
      return kExitFailed;
    }
    if (command.from.empty()) from = *history::ParseTimeText(all.front());
    if (command.to.empty()) to = *history::ParseTimeText(all.back());
    const history::Period period = history::PeriodOf(*kind, from, to);
    const std::string first = history::EntryTimeText(period.first);
    const std::string last = history::EntryTimeText(period.last);
    if (command.action == "gaps") {
      const auto gaps =
          history::FindGaps(period, store->EntryTimes(*meter, *kind, first, last, true));
      for (const history::Gap& gap : gaps) {
        std::printf("%s %s %lld\n", gap.first.c_str(), gap.last.c_str(),
                    static_cast<long long>(gap.entries));
      }
      return kExitOk;
    }
    // Integrators: the days (months) at the period's ends, as a download has them.
    const ArchiveLayout& layout = LayoutOf(*kind);
    const ArchiveKind integrator_kind = layout.integrator_kind;
    const double end = layout.step == EntryStep::Hour ? std::floor(period.last) + 1 : period.last;
    const std::string end_day = history::EntryTimeText(std::floor(end));
    const std::string start_day = history::EntryTimeText(std::floor(period.first));
    std::vector<history::StoredIntegrator> integrators;
    if (layout.integrator_every_month) {
      integrators = store->Integrators(*meter, integrator_kind, start_day, end_day);
    } else {
      for (const std::string& day : {start_day, end_day}) {
        for (auto& reading : store->Integrators(*meter, integrator_kind, day, day)) {
          integrators.push_back(std::move(reading));
        }
      }
    }
    const history::StoredSheet sheet = history::BuildStoredSheet(
        period, store->Entries(*meter, *kind, first, last), integrators, 1, SystemClock().Now());
    if (command.action == "show") {
      for (const std::string& line : ArchiveTableLines(LayoutOf(*kind).report, sheet.workbook)) {
        std::printf("%s\n", line.c_str());
      }
      return kExitOk;
    }
    const auto rows = collect::ArchiveRows(sheet.data);
    if (command.format == collect::OutputFormat::Csv) {
      std::fputs(collect::ArchiveCsv(rows).c_str(), stdout);
    } else {
      collect::ReadingInfo info;
      info.meter = collect::Json{{"name", name}};
      info.read_at = SystemClock().Now();
      info.status = "history";
      std::printf("%s\n", collect::ArchiveJson(*kind, rows, info).dump(2).c_str());
    }
    return kExitOk;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return kExitFailed;
  }
}

void SetUpHistory(CLI::App& app, const GlobalOptions& global, int& exit_status) {
  static HistoryCommand command;
  app.add_option("ACTION", command.action, "meters, gaps, show or export")
      ->required()
      ->type_name("");
  app.add_option("KIND", command.kind, WordList(kArchiveWords, ", ", " or "))->type_name("");
  app.add_option("--from", command.from, "the first day, DD.MM.YYYY")
      ->type_name("DATE")
      ->default_str("the first stored entry");
  app.add_option("--to", command.to, "the last day, DD.MM.YYYY")
      ->type_name("DATE")
      ->default_str("the last stored entry");
  AddFormatOption(app, command.format, "show: the table; export: csv or json");
  app.callback([&] { exit_status = RunHistory(global, command); });
}

const CommandRegistration kHistory(
    {"history",
     "what the history holds: meters (counts, completeness), and for one meter\n"
     "(--meter NAME) and kind, gaps, show (the archive table) or export (--format csv|json)\n"
     "over --from DD.MM.YYYY --to DD.MM.YYYY",
     SetUpHistory});

}  // namespace

}  // namespace flovir::cli
