#include "parameters/write_records.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "operations/report_files.h"
#include "workbook/cp1251.h"
#include "workbook/platform_files.h"
#include "workbook/serial_date.h"

namespace flovir {
namespace fs = std::filesystem;

namespace {

std::string TwoDigits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

std::string Joined(const std::string& folder, const std::string& name) {
  if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) return folder + name;
  return folder + "/" + name;
}

}  // namespace

std::string LogTime(double now) {
  const CivilDateTime t = DecodeDateTime(now);
  return TwoDigits(t.day) + "." + TwoDigits(t.month) + "." + std::to_string(t.year) + " " +
         TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

std::string NewBackupPath(const std::string& program_folder, uint8_t address, double now) {
  // Beside the auto-save folder, which MakeAutoSaveFolder makes the same way.
  std::string base = program_folder;
  while (base.size() > 1 && (base.back() == '/' || base.back() == '\\')) base.pop_back();
  const std::string folder = MakeAutoSaveFolder(base, kBackupFolderName);
  const CivilDateTime t = DecodeDateTime(now);
  // A name that sorts by time and that every file system takes (no colons).
  const std::string stem =
      Joined(folder, "адрес " + std::to_string(address) + " " + std::to_string(t.year) + "-" +
                         TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " + TwoDigits(t.hour) +
                         "-" + TwoDigits(t.minute) + "-" + TwoDigits(t.second));
  std::string path = stem + ".xls";
  std::error_code error;
  for (int n = 2; fs::exists(PathFromUtf8(path), error); ++n) {
    path = stem + " (" + std::to_string(n) + ").xls";
  }
  return path;
}

void AppendWriteLog(const std::string& program_folder, const std::vector<std::string>& lines) {
  const std::string path = Joined(program_folder, kWriteLogName);
  std::string bytes;
  if (std::ifstream old(PathFromUtf8(path), std::ios::binary); old) {
    bytes.assign(std::istreambuf_iterator<char>(old), {});
  }
  for (const std::string& line : lines) bytes += Utf8ToCp1251(line) + "\r\n";
  const ReplaceResult result = ReplaceFileContents(path, bytes);
  if (!result.error.empty()) throw ReportFileError(path + ": " + result.error);
}

}  // namespace flovir
