#include "operations/archive_report.h"

#include <filesystem>

#include "workbook/platform_files.h"

namespace flovir {

namespace {

constexpr const char* kReadingStatus = "Читаю архив...";

}  // namespace

std::vector<std::string> BuildArchiveTable(ReportKind kind, WorkbookModel& workbook,
                                           const std::string& path, View& view) {
  std::error_code error;
  if (!std::filesystem::exists(PathFromUtf8(path), error)) return {};
  view.ShowStatus(kReadingStatus);
  view.ProcessPendingEvents();
  workbook.SetFileName(path);
  try {
    workbook.LoadWorkbook();
  } catch (...) {
    view.SetReport(kind, {});
    throw;
  }
  std::vector<std::string> lines = ArchiveTableLines(kind, workbook);
  view.ShowStatus("");
  return lines;
}

std::vector<std::string> BuildArchiveTable(ReportKind kind, const std::string& path, View& view) {
  WorkbookModel workbook;
  return BuildArchiveTable(kind, workbook, path, view);
}

}  // namespace flovir
