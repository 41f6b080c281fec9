// flovir-cli report: a report from a file, as the window shows it.
//   report archive hourly|daily|monthly FILE: the archive table that the
//     window shows after a download, built from an archive workbook file;
//   report params FILE: the parameter table of a parameter workbook;
//   report current FILE: a current-values report file ("текущие.txt").
// --pdf OUT also writes the report as a PDF file, as the window prints it.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/parameter_lines.h"
#include "cli/pdf_output.h"
#include "operations/dispatcher.h"
#include "operations/words.h"
#include "parameters/parameter_workbook.h"
#include "reports/archive_table.h"
#include "reports/report_kind.h"
#include "workbook/cp1251.h"
#include "workbook/platform_files.h"
#include "workbook/workbook.h"

#ifdef FLOVIR_PDF
#include "print/report_documents.h"
#endif

namespace flovir::cli {

namespace {

const std::string kUsage =
    "archive " + WordList(kArchiveWords, "|") + " FILE | params FILE | current FILE";

struct ReportOptions {
  std::vector<std::string> words;
  std::string pdf;  // --pdf: also written as a PDF file
};

void PrintLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

#ifdef FLOVIR_PDF
print::PageHeader HeaderOf(const GlobalOptions& global, const std::string& file) {
  return {MeterOfFile(global.meter, file), print::HeaderDate(SystemClock().Now())};
}
#endif

int ArchiveReport(const GlobalOptions& global, ArchiveKind archive, const std::string& file,
                  const std::string& pdf) {
  const ReportKind kind = LayoutOf(archive).report;
  WorkbookModel workbook;
  workbook.SetFileName(file);
  try {
    workbook.LoadWorkbook();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "flovir-cli: %s: %s\n", file.c_str(), e.what());
    return kExitFailed;
  }
  PrintLines(ArchiveTableLines(kind, workbook));
  if (pdf.empty()) return kExitOk;
#ifdef FLOVIR_PDF
  const ArchiveTableData data = ArchiveTableOf(kind, workbook);
  const bool ok =
      WritePdfFile([&] { return print::ArchiveDocument(kind, data, HeaderOf(global, file)); }, pdf);
  return ok ? kExitOk : kExitFailed;
#else
  (void)global;
  return kExitFailed;
#endif
}

int ParameterReport(const GlobalOptions& global, const std::string& file, const std::string& pdf) {
  const ParameterTable table;
  WorkbookModel xls0 = WorkbookModel::MakeParameterWorkbook();
  ParameterBuffer buffer;
  try {
    LoadParameterWorkbook(xls0, table, buffer, file);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "flovir-cli: %s: %s\n", file.c_str(), e.what());
    return kExitFailed;
  }
  PrintLines(ParameterTableLines(table, buffer));
  if (pdf.empty()) return kExitOk;
#ifdef FLOVIR_PDF
  const bool ok = WritePdfFile(
      [&] { return print::ParameterDocument(table, buffer, HeaderOf(global, file)); }, pdf);
  return ok ? kExitOk : kExitFailed;
#else
  (void)global;
  return kExitFailed;
#endif
}

// A report text file: Windows-1251 lines ended by CR LF.
int CurrentReport(const GlobalOptions& global, const std::string& file, const std::string& pdf) {
  std::ifstream in(PathFromUtf8(file), std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "flovir-cli: %s: файл не открывается\n", file.c_str());
    return kExitFailed;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(Cp1251ToUtf8(line));
    start = end + 1;
  }
  PrintLines(lines);
  if (pdf.empty()) return kExitOk;
#ifdef FLOVIR_PDF
  const bool ok = WritePdfFile(
      [&] { return print::CurrentValuesDocument(lines, HeaderOf(global, file)); }, pdf);
  return ok ? kExitOk : kExitFailed;
#else
  (void)global;
  return kExitFailed;
#endif
}

int RunReport(const GlobalOptions& global, const ReportOptions& options) {
  const std::vector<std::string>& args = options.words;
  const ArchiveKind* archive = nullptr;
  if (args.size() == 3 && args[0] == "archive") archive = FindWord(kArchiveWords, args[1]);
  const bool file_report = args.size() == 2 && (args[0] == "params" || args[0] == "current");
  if (archive == nullptr && !file_report) {
    std::fprintf(stderr, "usage: flovir-cli report %s [--pdf OUT.pdf]\n", kUsage.c_str());
    return kExitUsage;
  }
  if (!options.pdf.empty() && !CheckPdfAvailable()) return kExitUsage;
  if (archive != nullptr) return ArchiveReport(global, *archive, args[2], options.pdf);
  if (args[0] == "params") return ParameterReport(global, args[1], options.pdf);
  return CurrentReport(global, args[1], options.pdf);
}

void SetUpReport(CLI::App& command, const GlobalOptions& global, int& exit_status) {
  static ReportOptions options;
  command.add_option("WORDS", options.words, kUsage)->type_name("");
  command
      .add_option("--pdf", options.pdf,
                  "also writes the report as a PDF file (A4, the meter and the date\n"
                  "in every page's header; --meter names the meter)")
      ->type_name("OUT.pdf");
  command.callback([&] { exit_status = RunReport(global, options); });
}

const CommandRegistration kReport{
    {"report",
     "a report from a file: the archive table of an archive workbook (report archive KIND FILE),\n"
     "the parameter table of a parameter workbook (report params FILE), a current-values\n"
     "report file (report current FILE); --pdf OUT.pdf also writes it as a PDF",
     SetUpReport}};

}  // namespace

}  // namespace flovir::cli
