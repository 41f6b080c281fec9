#pragma once
// Files and folders as the system knows them, one implementation per system
// (platform_files.cpp for POSIX, platform_files_windows.cpp). File names are
// UTF-8 texts throughout the program; Windows gets them as UTF-16, so that
// "авто_" and "параметры.xls" keep their letters whatever the ANSI code page.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace flovir {

// A UTF-8 name as a path, and back.
inline std::filesystem::path PathFromUtf8(std::string_view name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}
inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

// Writes bytes to a new file in path's folder, puts them on the disk and
// renames the file over path, so that a failed write leaves any previous
// file as it was (and keeps its permissions). Returns an empty text on
// success; otherwise the system's reason, with created telling whether the
// failure came after the new file had been made.
struct ReplaceResult {
  std::string error;
  bool created = false;
};
ReplaceResult ReplaceFileContents(const std::string& path, std::string_view bytes);

// The bytes of a whole file, mapped into memory where the system allows it.
// Throws WorkbookError with the system's reason.
class FileBytes {
 public:
  explicit FileBytes(const std::string& path);
  ~FileBytes();
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  std::span<const uint8_t> Bytes() const { return mapped_.empty() ? std::span(copy_) : mapped_; }

 private:
  std::span<const uint8_t> mapped_;
  std::vector<uint8_t> copy_;
};

// The folder of the running program; empty when the system does not say.
std::string ExecutableFolder();
// The user's own folder for the program's files: $XDG_DATA_HOME/flovir or
// ~/.local/share/flovir; %LOCALAPPDATA%\flovir on Windows.
std::string UserDataFolder();
// True for an existing folder in which this user may create files.
bool IsWritableFolder(const std::string& folder);

#ifdef _WIN32
std::wstring Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::wstring_view text);
// The text of a Windows error code (GetLastError), in the system's language.
std::string WindowsErrorText(uint32_t code);
#endif

}  // namespace flovir
