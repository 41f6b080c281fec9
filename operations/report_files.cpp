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
  if (!result.error.empty()) {
    throw ReportFileError("файл «" + path +
                          "» не записан: " + WriteFailureReason(path, false, {}, result.error));
  }
}

std::string WriteFailureReason(const std::string& path, bool folder, std::error_code error,
                               const std::string& system_text) {
  return KnownWriteFailureReason(path, folder, error, system_text)
      .value_or(kUnknownWriteFailure + (" (" + system_text + ")"));
}

std::optional<std::string> KnownWriteFailureReason(const std::string& path, bool folder,
                                                   std::error_code error,
                                                   const std::string& system_text) {
  const auto quoted = [](const fs::path& p) { return "«" + Utf8FromPath(p) + "»"; };
  const auto beside = [&](const std::string& words) { return words + " (" + system_text + ")"; };
  std::error_code check;
  const fs::path target = PathFromUtf8(path);
  if (fs::exists(target, check) && fs::is_directory(target, check) != folder) {
    return beside(quoted(target) + (folder ? " — файл, а не папка" : " — папка, а не файл"));
  }
  // The nearest folder that exists on the way to the target, and the first
  // one below it that does not.
  fs::path existing = target.parent_path();
  fs::path missing;
  while (!existing.empty() && !fs::exists(existing, check)) {
    missing = existing;
    if (existing == existing.parent_path()) break;
    existing = existing.parent_path();
  }
  if (!existing.empty() && fs::exists(existing, check) && !fs::is_directory(existing, check)) {
    return beside(quoted(existing) + " — файл, а не папка");
  }
  const std::string no_right = "нет права записи в папку " + quoted(existing);
  if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted) {
    return beside(no_right);
  }
  if (error == std::errc::read_only_file_system) return beside("диск только для чтения");
  if (error == std::errc::no_space_on_device) return beside("на диске нет места");
  if (!missing.empty()) return beside("папка " + quoted(missing) + " не существует");
  if (!existing.empty() && !IsWritableFolder(Utf8FromPath(existing))) return beside(no_right);
  return std::nullopt;
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
  throw ReportFileError("папка «" + folder + "» не создана: " +
                        WriteFailureReason(folder, true, error, error.message()));
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
