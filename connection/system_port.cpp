#include "connection/system_port.h"

namespace flovir {

SystemPort::Use::Use(SystemPort& port) : port_(port) {
  std::lock_guard lock(port_.mutex_);
  if (port_.handle_ == kNoHandle || port_.closing_) return;
  handle = port_.handle_;
  wake = port_.wake_;
  timeouts = port_.timeouts_;
  ++port_.users_;
}

SystemPort::Use::~Use() {
  if (handle == kNoHandle) return;
  std::lock_guard lock(port_.mutex_);
  if (--port_.users_ == 0) port_.idle_.notify_all();
}

SystemPort::~SystemPort() {
  Close();
}

bool SystemPort::Fail(ErrorCode error, Handle handle) {
  return Fail(ErrorText(error), handle);
}

bool SystemPort::Fail(const std::string& reason, Handle handle) {
  if (handle != kNoHandle) ReleaseHandle(handle);
  std::lock_guard lock(mutex_);
  last_error_ = reason;
  return false;
}

bool SystemPort::Adopt(Handle handle, const std::string& name) {
  const Handle wake = MakeWake();
  if (wake == kNoHandle) return Fail(LastSystemError(), handle);
  std::lock_guard lock(mutex_);
  handle_ = handle;
  wake_ = wake;
  timeouts_ = PortTimeouts{};
  vanished_ = false;
  last_error_.clear();
  name_ = name;
  return true;
}

bool SystemPort::Close() {
  Handle handle;
  Handle wake;
  {
    std::unique_lock lock(mutex_);
    if (handle_ == kNoHandle || closing_) return false;
    closing_ = true;
    SignalWake(wake_);
    idle_.wait(lock, [this] { return users_ == 0; });
    handle = handle_;
    wake = wake_;
    handle_ = kNoHandle;
    wake_ = kNoHandle;
    closing_ = false;
  }
  const bool closed = ReleaseHandle(handle);
  const ErrorCode error = LastSystemError();
  ReleaseWake(wake);
  std::lock_guard lock(mutex_);
  if (!closed) last_error_ = ErrorText(error);
  return closed;
}

std::string SystemPort::LastError() const {
  std::lock_guard lock(mutex_);
  return last_error_;
}

std::string SystemPort::Name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

bool SystemPort::IsOpen() const {
  std::lock_guard lock(mutex_);
  return handle_ != kNoHandle;
}

bool SystemPort::SetTimeouts(const PortTimeouts& timeouts) {
  std::lock_guard lock(mutex_);
  if (handle_ == kNoHandle) return false;
  timeouts_ = timeouts;
  return true;
}

PortTimeouts SystemPort::GetTimeouts() const {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

uint32_t SystemPort::Read(uint8_t* data, size_t capacity, const ReadComplete& complete) {
  Use use(*this);
  bytes_transferred_ = 0;
  if (!use || capacity == 0) return 0;
  const PortTimeouts& t = use.timeouts;
  const Deadline total = ReturnsImmediately(t)
                             ? Deadline::After(0)
                             : TotalDeadline(t.ReadMultiplier, t.ReadConstant, capacity);
  if (vanished_) {
    WaitForCloseUntil(use.wake, total);
    return 0;
  }
  const size_t count = ReadPieces(use, data, capacity, complete, total);
  bytes_transferred_ = static_cast<uint32_t>(count);
  return static_cast<uint32_t>(count);
}

}  // namespace flovir
