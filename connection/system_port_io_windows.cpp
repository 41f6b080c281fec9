// The line on Windows: overlapped input and output on a comm port or a
// socket. Every read and write is started, then waited for together with
// the port's wake-up event and its own time limit; a close or a time limit
// cancels the operation and waits until the system has let go of the buffer.
//
// A read keeps its interval and total limits itself and reads in short
// pieces that return as soon as bytes have come, so it ends as soon as a
// complete reply is there and never waits without a read outstanding.

#include "connection/system_port.h"

#include <windows.h>

#include <algorithm>
#include <chrono>

#include "workbook/platform_files.h"

namespace flovir {

namespace {

DWORD WaitMs(const Deadline& deadline) {
  return deadline.IsNever() ? INFINITE : static_cast<DWORD>(deadline.RemainingMs());
}

// The longest single piece of a read without a total limit; the read asks
// again after it.
constexpr uint32_t kLongestWaitMs = 60'000;

class Overlapped {
 public:
  Overlapped() { overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
  ~Overlapped() {
    if (overlapped_.hEvent) CloseHandle(overlapped_.hEvent);
  }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;

  OVERLAPPED* Start() {
    ResetEvent(overlapped_.hEvent);
    return &overlapped_;
  }

  // The bytes transferred, or -1 when the operation failed or was ended by
  // closing (closed then tells which). An operation still running after
  // wait_ms is cancelled and counts what it had moved: a time limit is no
  // failure (wine reports the system's own read timeout as ERROR_TIMEOUT).
  long long Finish(HANDLE port, BOOL started, HANDLE wake, DWORD wait_ms, bool& closed) {
    closed = false;
    if (!started && GetLastError() != ERROR_IO_PENDING) return -1;
    const HANDLE events[2] = {overlapped_.hEvent, wake};
    const DWORD woken = WaitForMultipleObjects(2, events, FALSE, wait_ms);
    const bool cancelled = woken != WAIT_OBJECT_0;
    if (cancelled) CancelIoEx(port, &overlapped_);
    closed = woken == WAIT_OBJECT_0 + 1;
    DWORD count = 0;
    if (!GetOverlappedResult(port, &overlapped_, &count, TRUE)) {
      const DWORD error = GetLastError();
      const bool timed_out =
          error == ERROR_TIMEOUT || (cancelled && error == ERROR_OPERATION_ABORTED);
      if (!timed_out) return -1;
    }
    return closed ? -1 : count;
  }

  bool Valid() const { return overlapped_.hEvent != nullptr; }

 private:
  OVERLAPPED overlapped_{};
};

}  // namespace

SystemPort::Handle SystemPort::MakeWake() {
  return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void SystemPort::SignalWake(Handle wake) {
  SetEvent(static_cast<HANDLE>(wake));
}

void SystemPort::ReleaseWake(Handle wake) {
  ::CloseHandle(static_cast<HANDLE>(wake));
}

SystemPort::ErrorCode SystemPort::LastSystemError() {
  return GetLastError();
}

std::string SystemPort::ErrorText(ErrorCode error) {
  return WindowsErrorText(error);
}

bool SystemPort::ReleaseHandle(Handle handle) {
  return ::CloseHandle(static_cast<HANDLE>(handle));
}

uint32_t SystemPort::Write(const uint8_t* data, size_t count) {
  Use use(*this);
  long long written = 0;
  Overlapped operation;
  if (use && !vanished_ && count > 0 && operation.Valid()) {
    const HANDLE handle = static_cast<HANDLE>(use.handle);
    const Deadline deadline =
        TotalDeadline(use.timeouts.WriteMultiplier, use.timeouts.WriteConstant, count);
    bool closed = false;
    const BOOL started =
        WriteFile(handle, data, static_cast<DWORD>(count), nullptr, operation.Start());
    written = operation.Finish(handle, started, use.wake, WaitMs(deadline), closed);
    if (written < 0) {
      if (!closed) vanished_ = true;
      written = 0;
    }
  }
  bytes_transferred_ = static_cast<uint32_t>(written);
  return static_cast<uint32_t>(written);
}

size_t SystemPort::ReadPieces(const Use& use, uint8_t* data, size_t capacity,
                              const ReadComplete& complete, const Deadline& total) {
  const HANDLE handle = static_cast<HANDLE>(use.handle);
  const PortTimeouts& t = use.timeouts;
  const bool at_once = ReturnsImmediately(t);
  size_t count = 0;
  Deadline gap = Deadline::Never();  // the interval limit runs from the last byte
  Overlapped operation;
  for (bool first = true; operation.Valid(); first = false) {
    const Deadline next = Deadline::Earliest(total, gap);
    if (!first && next.Passed()) break;
    const uint32_t wait =
        at_once ? 0
                : (next.IsNever() ? kLongestWaitMs
                                  : std::clamp<uint32_t>(next.RemainingMs(), 1, kLongestWaitMs));
    BeforeReadPiece(use.handle, wait);
    const auto started = std::chrono::steady_clock::now();
    bool closed = false;
    const BOOL begun = ReadFile(handle, data + count, static_cast<DWORD>(capacity - count), nullptr,
                                operation.Start());
    const long long n = operation.Finish(handle, begun, use.wake, wait, closed);
    if (closed) break;
    if (n < 0) {
      vanished_ = true;  // the device has gone (adapter pulled, connection reset)
      break;
    }
    if (n > 0) {
      count += static_cast<size_t>(n);
      if (count == capacity || (complete && complete(data, count))) break;
      if (t.ReadInterval > 0 && !at_once) gap = Deadline::After(t.ReadInterval);
      continue;
    }
    if (at_once) break;
    // Nothing, long before the wait was up: a line that reports an end
    // instead of data (a closed connection, a removed device) has gone.
    if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(wait / 2)) {
      vanished_ = true;
      break;
    }
  }
  return count;
}

void SystemPort::WaitForCloseUntil(Handle wake, const Deadline& deadline) {
  WaitForSingleObject(static_cast<HANDLE>(wake), WaitMs(deadline));
}

}  // namespace flovir
