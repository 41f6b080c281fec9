#include "operations/archive_report.h"

#include <filesystem>

#include "workbook/platform_files.h"

namespace flovir {

std::vector<std::string> ReadArchiveTable(ReportKind kind, WorkbookModel& workbook,
                                          const std::string& path) {
  workbook.SetFileName(path);
  workbook.LoadWorkbook();
  return ArchiveTableLines(kind, workbook);
}

std::vector<std::string> BuildArchiveTable(ReportKind kind, WorkbookModel& workbook,
                                           const std::string& path, View& view) {
  std::error_code error;
  if (!std::filesystem::exists(PathFromUtf8(path), error)) return {};
  view.ShowStatus(kReadingArchiveStatus);
  view.ProcessPendingEvents();
  std::vector<std::string> lines;
  try {
    lines = ReadArchiveTable(kind, workbook, path);
  } catch (...) {
    view.SetReport(kind, {});
    throw;
  }
  view.ShowStatus("");
  return lines;
}

std::vector<std::string> BuildArchiveTable(ReportKind kind, const std::string& path, View& view) {
  WorkbookModel workbook;
  return BuildArchiveTable(kind, workbook, path, view);
}

}  // namespace flovir
