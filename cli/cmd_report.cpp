// flovir-cli report archive hourly|daily|monthly FILE: the archive table that
// the window shows after a download, built from an archive workbook file.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "reports/archive_table.h"
#include "reports/report_kind.h"
#include "workbook/workbook.h"

namespace flovir::cli {

namespace {

bool ParseArchiveKind(const std::string& word, ReportKind& kind) {
  if (word == "hourly") {
    kind = ReportKind::Hourly;
  } else if (word == "daily") {
    kind = ReportKind::Daily;
  } else if (word == "monthly") {
    kind = ReportKind::Monthly;
  } else {
    return false;
  }
  return true;
}

int RunReport(const std::vector<std::string>& args) {
  ReportKind kind;
  if (args.size() != 3 || args[0] != "archive" || !ParseArchiveKind(args[1], kind)) {
    std::fprintf(stderr, "usage: flovir-cli report archive hourly|daily|monthly FILE\n");
    return kExitUsage;
  }
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

const CommandRegistration kReport{
    {"report", "archive hourly|daily|monthly FILE    the archive table of an archive workbook",
     RunReport}};

}  // namespace

}  // namespace flovir::cli
