#include "operations/report_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "workbook/cp1251.h"

namespace flovir {

namespace fs = std::filesystem;

namespace {

std::string Reason(int error) {
  return std::generic_category().message(error);
}

[[noreturn]] void Fail(const std::string& what, int error) {
  throw ReportFileError(what + ": " + Reason(error));
}

// Closes a descriptor and removes the temporary file unless released.
class TemporaryFile {
 public:
  TemporaryFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const { return fd_; }
  // Closes the file; returns the errno of a failed close, else 0.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }
  void Release() { path_.clear(); }

 private:
  std::string path_;
  int fd_;
};

// A name in the target's folder that no other writer of this process uses.
std::string TemporaryPath(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const fs::path target(path);
  const std::string name = "." + target.filename().string() + "." + std::to_string(::getpid()) +
                           "." + std::to_string(counter++) + ".tmp";
  return (target.parent_path() / name).string();
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool IsWritableFolder(const fs::path& folder) {
  std::error_code error;
  return fs::is_directory(folder, error) && ::access(folder.c_str(), W_OK) == 0;
}

std::string ExecutableFolder() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : exe.parent_path().string();
}

std::string UserDataFolder() {
  const char* data_home = std::getenv("XDG_DATA_HOME");
  if (data_home && *data_home == '/') return (fs::path(data_home) / "flovir").string();
  const char* home = std::getenv("HOME");
  return (fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "flovir").string();
}

}  // namespace

void WriteReportFile(const std::string& path, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const std::string& line : lines) bytes += Utf8ToCp1251(line) + "\r\n";

  const std::string temporary_path = TemporaryPath(path);
  const int fd = ::open(temporary_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) Fail(path, errno);
  TemporaryFile temporary(temporary_path, fd);
  if (!WriteAll(fd, bytes)) Fail(path, errno ? errno : EIO);
  if (::fsync(fd) != 0) Fail(path, errno);
  if (const int error = temporary.Close(); error != 0) Fail(path, error);
  if (::rename(temporary_path.c_str(), path.c_str()) != 0) Fail(path, errno);
  temporary.Release();
}

std::string ProgramFolder(std::string_view override_folder) {
  if (!override_folder.empty()) return std::string(override_folder);
  const std::string beside = ExecutableFolder();
  if (!beside.empty() && IsWritableFolder(beside)) return beside;
  const std::string data = UserDataFolder();
  std::error_code error;
  fs::create_directories(data, error);
  return data;
}

std::string AutoSaveFolder(const std::string& program_folder, std::string_view name_field) {
  if (name_field.empty()) return program_folder;
  return program_folder + "/" + std::string(name_field);
}

std::string MakeAutoSaveFolder(const std::string& program_folder, std::string_view name_field) {
  const std::string folder = AutoSaveFolder(program_folder, name_field);
  std::error_code error;
  fs::create_directories(folder, error);
  if (std::error_code check; fs::is_directory(folder, check)) return folder;
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
  fs::path result{std::string(path)};
  result.replace_extension(std::string(extension));
  return result.string();
}

}  // namespace flovir
