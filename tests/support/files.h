#pragma once
// Files for the tests: scratch folders and reading back what was written.

#include <stdlib.h>
#ifdef _WIN32
#include <process.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

#include "workbook/platform_files.h"

namespace flovir::testing {

// A unique empty folder under the system's temporary folder for one test,
// removed with everything in it at the end. With KEEP set in the
// environment the folder stays, to look at what a failing test left.
class ScratchFolder {
 public:
  // The folder is named "<prefix>-XXXXXX", the X's made unique by mkdtemp.
  explicit ScratchFolder(const std::string& prefix = "flovir") {
#ifdef _WIN32
    // No mkdtemp: the process number and a counter, until a new one is made.
    static int counter = 0;
    std::error_code error;
    do {
      path_ = std::filesystem::temp_directory_path() /
              (prefix + "-" + std::to_string(_getpid()) + "-" + std::to_string(counter++));
    } while (!std::filesystem::create_directory(path_, error) && !error);
    if (error) throw std::system_error(error, "create_directory " + path_.string());
#else
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    }
    path_ = pattern;
#endif
  }
  ~ScratchFolder() {
    if (std::getenv("KEEP") != nullptr) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Folder() const {
    return path_;
  }
  operator const std::filesystem::path&() const {
    return path_;
  }
  std::string Path() const {
    return path_.string();
  }
  // The path of `name` in the folder.
  std::filesystem::path operator/(const std::filesystem::path& name) const {
    return path_ / name;
  }
  std::string Path(const std::string& name) const {
    return (path_ / name).string();
  }

 private:
  std::filesystem::path path_;
};

// The bytes of a file; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
// The same for a path as the program names it, a UTF-8 text.
inline std::string ReadFile(const std::string& path) {
  return ReadFile(PathFromUtf8(path));
}
inline std::string ReadFile(const char* path) {
  return ReadFile(PathFromUtf8(path));
}

// A path as the UTF-8 text the program takes; path.string() would give the
// ANSI code page's text on Windows.
inline std::string Utf8(const std::filesystem::path& path) {
  return Utf8FromPath(path);
}

// The system's text for an error as the program reports it: strerror's for
// the POSIX error, the system's message for the Windows one.
inline std::string SystemText([[maybe_unused]] int posix_error,
                              [[maybe_unused]] unsigned windows_error) {
#ifdef _WIN32
  return WindowsErrorText(windows_error);
#else
  return std::strerror(posix_error);
#endif
}

}  // namespace flovir::testing
