// flovir-cli report archive hourly|daily|monthly FILE: the archive table that
// the window shows after a download, built from an archive workbook file.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "operations/dispatcher.h"
#include "operations/words.h"
#include "reports/archive_table.h"
#include "reports/report_kind.h"
#include "workbook/workbook.h"

namespace flovir::cli {

namespace {

const std::string kUsage = "archive " + WordList(kArchiveWords, "|") + " FILE";

int RunReport(const std::vector<std::string>& args) {
  const ArchiveKind* archive = args.size() == 3 ? FindWord(kArchiveWords, args[1]) : nullptr;
  if (archive == nullptr || args[0] != "archive") {
    std::fprintf(stderr, "usage: flovir-cli report %s\n", kUsage.c_str());
    return kExitUsage;
  }
  const ReportKind kind = ReportOf(OperationOf(*archive));
  WorkbookModel workbook;
  workbook.SetFileName(args[2]);
  try {
    workbook.LoadWorkbook();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "flovir-cli: %s: %s\n", args[2].c_str(), e.what());
    return kExitFailed;
  }
  for (const std::string& line : ArchiveTableLines(kind, workbook)) {
    std::printf("%s\n", line.c_str());
  }
  return kExitOk;
}

void SetUpReport(CLI::App& command, const GlobalOptions&, int& exit_status) {
  static std::vector<std::string> words;
  command.add_option("WORDS", words, kUsage)->type_name("");
  command.callback([&exit_status] { exit_status = RunReport(words); });
}

const CommandRegistration kReport{
    {"report", "the archive table of an archive workbook (report archive KIND FILE)", SetUpReport}};

}  // namespace

}  // namespace flovir::cli
