#include "workbook/platform_files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "workbook/workbook.h"

namespace flovir {

namespace fs = std::filesystem;

namespace {

// Permissions of a new file: those of the file it replaces, else the usual
// ones under the process's umask.
mode_t NewFileMode(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

ReplaceResult ReplaceFileContents(const std::string& path, std::string_view bytes) {
  const mode_t mode = NewFileMode(path);
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return {std::strerror(errno), false};
  auto abandon = [&](int error) {
    ::close(fd);
    ::unlink(temp.c_str());
    return ReplaceResult{std::strerror(error), true};
  };
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return abandon(n < 0 ? errno : EIO);
    done += static_cast<size_t>(n);
  }
  // The data must be on disk before the name points at it, or a crash could
  // leave an empty file where the previous one was.
  if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) return abandon(errno);
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    return {std::strerror(error), true};
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    return {std::strerror(error), true};
  }
  return {};
}

// Mapped when the file allows it (no copy, and the pages come from the page
// cache), read otherwise.
FileBytes::FileBytes(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw WorkbookError(std::strerror(errno));
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    void* mapped = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ,
                          MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (mapped != MAP_FAILED) {
      mapped_ = {static_cast<const uint8_t*>(mapped), static_cast<size_t>(info.st_size)};
      ::close(fd);
      return;
    }
  }
  uint8_t buffer[65536];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      throw WorkbookError(std::strerror(error));
    }
    copy_.insert(copy_.end(), buffer, buffer + n);
  }
  ::close(fd);
}

FileBytes::~FileBytes() {
  if (!mapped_.empty()) ::munmap(const_cast<uint8_t*>(mapped_.data()), mapped_.size());
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

bool IsWritableFolder(const std::string& folder) {
  std::error_code error;
  return fs::is_directory(folder, error) && ::access(folder.c_str(), W_OK) == 0;
}

}  // namespace flovir
