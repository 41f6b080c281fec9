#include <windows.h>

#include <cwchar>

#include "workbook/platform_files.h"
#include "workbook/workbook.h"

namespace flovir {

namespace {

// Closes a handle when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    const bool closed = !valid() || CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

std::string LastErrorText() {
  return WindowsErrorText(GetLastError());
}

// A name for the new file beside the target that no other writer uses.
std::wstring TemporaryName(const std::wstring& target) {
  static LONG counter = 0;
  return target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
         std::to_wstring(InterlockedIncrement(&counter)) + L".tmp";
}

}  // namespace

std::wstring Utf16FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string Utf8FromUtf16(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

std::string WindowsErrorText(uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length ? Utf8FromUtf16({buffer, length}) : "";
  LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(code) : text;
}

ReplaceResult ReplaceFileContents(const std::string& path, std::string_view bytes) {
  const std::wstring target = Utf16FromUtf8(path);
  const std::wstring temporary = TemporaryName(target);
  Handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return {LastErrorText(), false};
  const auto abandon = [&] {
    const std::string error = LastErrorText();
    file.Close();
    DeleteFileW(temporary.c_str());
    return ReplaceResult{error, true};
  };
  for (size_t done = 0; done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return abandon();
    }
    done += written;
  }
  // On the disk before the name points at it, as on POSIX.
  if (!FlushFileBuffers(file.get()) || !file.Close()) return abandon();
  if (!MoveFileExW(temporary.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return abandon();
  }
  return {};
}

FileBytes::FileBytes(const std::string& path) {
  Handle file(CreateFileW(Utf16FromUtf8(path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) throw WorkbookError(LastErrorText());
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file.get(), &size)) copy_.reserve(static_cast<size_t>(size.QuadPart));
  uint8_t buffer[65536];
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &count, nullptr)) {
      throw WorkbookError(LastErrorText());
    }
    if (count == 0) break;
    copy_.insert(copy_.end(), buffer, buffer + count);
  }
}

FileBytes::~FileBytes() = default;

std::string ExecutableFolder() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return {};
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    name.resize(name.size() * 2);
  }
  return Utf8FromPath(std::filesystem::path(name).parent_path());
}

std::string UserDataFolder() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  std::filesystem::path base;
  if (local && *local) {
    base = local;
  } else {
    std::error_code error;
    base = std::filesystem::temp_directory_path(error);
  }
  return Utf8FromPath(base / L"flovir");
}

// Whether this user may create files there is a question of the folder's
// access rules, which only an attempt answers reliably.
bool IsWritableFolder(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path path = PathFromUtf8(folder);
  if (!std::filesystem::is_directory(path, error)) return false;
  const std::wstring probe =
      (path / (L".flovir-" + std::to_wstring(GetCurrentProcessId()) + L".tmp")).wstring();
  Handle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return file.valid();
}

}  // namespace flovir
