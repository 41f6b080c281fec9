#include "operations/report_files.h"

#include <filesystem>
#include <system_error>

#include "workbook/cp1251.h"
#include "workbook/platform_files.h"

namespace flovir {

namespace fs = std::filesystem;

void WriteReportFile(const std::string& path, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += Utf8ToCp1251(line) + "\r\n";
  const ReplaceResult result = ReplaceFileContents(path, bytes);
  if (!result.error.empty()) throw ReportFileError(path + ": " + result.error);
}

std::string ProgramFolder(std::string_view override_folder) {
  if (!override_folder.empty()) return std::string(override_folder);
  const std::string beside = ExecutableFolder();
  if (!beside.empty() && IsWritableFolder(beside)) return beside;
  const std::string data = UserDataFolder();
  std::error_code error;
  fs::create_directories(PathFromUtf8(data), error);
  return data;
}

std::string AutoSaveFolder(const std::string& program_folder, std::string_view name_field) {
  if (name_field.empty()) return program_folder;
  return program_folder + "/" + std::string(name_field);
}

std::string MakeAutoSaveFolder(const std::string& program_folder, std::string_view name_field) {
  const std::string folder = AutoSaveFolder(program_folder, name_field);
  std::error_code error;
  fs::create_directories(PathFromUtf8(folder), error);
  if (std::error_code check; fs::is_directory(PathFromUtf8(folder), check)) return folder;
  if (!error) error = std::make_error_code(std::errc::not_a_directory);
  throw ReportFileError(folder + ": " + error.message());
}

std::string AutoSaveReport(const std::string& program_folder, std::string_view name_field,
                           std::string_view file_name, const std::vector<std::string>& lines) {
  const std::string folder = MakeAutoSaveFolder(program_folder, name_field);
  if (!file_name.empty() && file_name.front() == '/') file_name.remove_prefix(1);
  const std::string path = folder + "/" + std::string(file_name);
  WriteReportFile(path, lines);
  return path;
}

std::string WithExtension(std::string_view path, std::string_view extension) {
  fs::path result = PathFromUtf8(path);
  result.replace_extension(PathFromUtf8(extension));
  return Utf8FromPath(result);
}

}  // namespace flovir
