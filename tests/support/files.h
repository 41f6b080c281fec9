#pragma once
// Files for the tests: scratch folders and reading back what was written.

#include <stdlib.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

namespace flovir::testing {

// A unique empty folder under the system's temporary folder for one test,
// removed with everything in it at the end. With KEEP set in the
// environment the folder stays, to look at what a failing test left.
class ScratchFolder {
 public:
  // The folder is named "<prefix>-XXXXXX", the X's made unique by mkdtemp.
  explicit ScratchFolder(const std::string& prefix = "flovir") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    }
    path_ = pattern;
  }
  ~ScratchFolder() {
    if (std::getenv("KEEP") != nullptr) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Folder() const { return path_; }
  operator const std::filesystem::path&() const { return path_; }
  std::string Path() const { return path_.string(); }
  // The path of `name` in the folder.
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The bytes of a file; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace flovir::testing
