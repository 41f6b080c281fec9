// flovir-cli service-report --pdf FILE: the service report ("Акт
// обслуживания") of the meter on the line. It reads the current values (with
// the meter's clock) and the parameter table in one go, takes the last
// archive downloaded into "temp.xls" in the program's folder, and writes a
// PDF of one or two A4 pages.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "cli/command_session.h"
#include "cli/commands.h"
#include "cli/pdf_output.h"
#include "operations/archive_workbook.h"
#include "operations/report_files.h"
#include "operations/words.h"
#include "reports/archive_table.h"
#include "store/meter_history.h"
#include "workbook/platform_files.h"
#include "workbook/workbook.h"

#ifdef FLOVIR_PDF
#include "print/service_report.h"
#endif

namespace flovir::cli {

namespace {

struct ServiceOptions {
  std::string pdf;
  std::string archive;  // --archive KIND; empty: the one with the latest entries
};

#ifdef FLOVIR_PDF
// The archive of "temp.xls" to report: the kind asked for, or the one whose
// last entry is the latest (a download fills the sheet of its kind).
void TakeArchive(const std::string& folder, const ArchiveKind* asked,
                 print::ServiceReportData& data) {
  const std::string path = folder + "/" + kArchiveWorkbookName;
  std::error_code error;
  if (!std::filesystem::exists(PathFromUtf8(path), error)) return;
  WorkbookModel workbook;
  workbook.SetFileName(path);
  try {
    workbook.LoadWorkbook();
  } catch (const std::exception& e) {
    data.failures.push_back(std::string(kArchiveWorkbookName) + " не читается: " + e.what());
    return;
  }
  double latest = 0;
  for (const auto& word : kArchiveWords) {
    if (asked != nullptr && word.value != *asked) continue;
    const ReportKind kind = LayoutOf(word.value).report;
    ArchiveTableData table = ArchiveTableOf(kind, workbook);
    if (!table.has_table) continue;
    const double last = table.rows.empty() ? 0 : table.rows.back().date;
    if (!data.archive || last > latest) {
      latest = last;
      data.archive_kind = kind;
      data.archive = std::move(table);
    }
  }
}
#endif

int ServiceReport(const GlobalOptions& global, const ServiceOptions& options) {
  if (!CheckPdfAvailable()) return kExitUsage;
  const ArchiveKind* asked = nullptr;
  if (!options.archive.empty()) {
    asked = FindWord(kArchiveWords, options.archive);
    if (asked == nullptr) {
      return UsageError("--archive: '" + options.archive + "' is not " +
                        WordList(kArchiveWords, ", ", " or "));
    }
  }
#ifdef FLOVIR_PDF
  CommandSession command(global);
  if (!command.Open()) return kExitFailed;
  Session& session = command.Get();
  // No report from half a visit: a read that fails ends the command.
  if (!command.Run([](Session& s) { return s.StartCurrentValues(); })) {
    command.PrintStatus();
    return kExitFailed;
  }
  const double computer_time = SystemClock().Now();
  if (!command.Run([](Session& s) { return s.ReadParameters(); })) {
    command.PrintStatus();
    return kExitFailed;
  }
  command.GetView().EndStatusLine();

  const std::string meter =
      global.meter.empty() ? history::DefaultMeterName(session.LineSettings()) : global.meter;
  print::ServiceReportData data = print::ServiceDataOf(session, meter, computer_time, true, true);
  TakeArchive(session.GetDispatcher().ProgramFolder(), asked, data);
  const print::PageHeader header{meter, print::HeaderDate(computer_time)};
  const bool written = WritePdfFile(
      [&] { return print::ServiceReportDocument(data, session.Table(), header); }, options.pdf);
  for (const std::string& failure : data.failures) {
    std::fprintf(stderr, "%s\n", failure.c_str());
  }
  if (!written) return kExitFailed;
  command.PrintStatus();
  std::printf("%s\n", options.pdf.c_str());
  return kExitOk;
#else
  (void)global;
  return kExitUsage;
#endif
}

void SetUpServiceReport(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  static ServiceOptions options;
  command.add_option("--pdf", options.pdf, "the PDF file to write")->required()->type_name("FILE");
  command
      .add_option("--archive", options.archive,
                  "the archive of temp.xls whose totals and chart go in: " +
                      WordList(kArchiveWords, ", ", " or "))
      ->type_name("KIND")
      ->default_str("the one with the latest entries");
  command.callback([&] { exit_status = ServiceReport(global, options); });
}

const CommandRegistration kServiceReport(
    {"service-report",
     "reads the current values, the clock and the parameters and writes the service report\n"
     "(\"Акт обслуживания\") as a PDF: service-report --pdf FILE",
     SetUpServiceReport});

}  // namespace

}  // namespace flovir::cli
