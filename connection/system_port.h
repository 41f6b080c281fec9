#pragma once
// What the serial port and the network port share: the line the system
// opened (a file descriptor read with poll() on POSIX systems, a handle read
// with overlapped input and output on Windows) under the five timeouts with
// their Windows meaning, and a Close that is safe while another thread reads
// or writes. Subclasses open the line and know what purging means.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "link/deadline.h"
#include "link/port.h"

namespace flovir {

class SystemPort : public Port {
 public:
#ifdef _WIN32
  using Handle = void*;        // HANDLE: a comm port, or a socket
  using ErrorCode = uint32_t;  // GetLastError()
  static constexpr Handle kNoHandle = nullptr;
#else
  using Handle = int;     // file descriptor
  using ErrorCode = int;  // errno
  static constexpr Handle kNoHandle = -1;
#endif

  ~SystemPort() override;
  SystemPort(const SystemPort&) = delete;
  SystemPort& operator=(const SystemPort&) = delete;

  // A read or write in progress on another thread returns at once; the line
  // is released only after it has left, so no later read or write can reach
  // a handle the system has given out again. Returns false when nothing was
  // open or the system's close failed.
  bool Close();
  // The system's text for the last failed open or close.
  std::string LastError() const;

  bool IsOpen() const override;
  bool SetTimeouts(const PortTimeouts& timeouts) override;
  PortTimeouts GetTimeouts() const override;
  uint32_t Write(const uint8_t* data, size_t count) override;
  // A read ends as soon as a complete reply is there. A line that has gone
  // (an adapter pulled out, the other end of a pseudo-terminal or of a
  // network connection closed) reads nothing: the read that finds it out
  // returns at once and Lost() turns true; every later read waits out its
  // total timeout, or until Close, and returns 0, so a caller that reads in
  // a loop never spins.
  uint32_t Read(uint8_t* data, size_t capacity, const ReadComplete& complete = {}) override;
  uint32_t BytesTransferred() const override {
    return bytes_transferred_;
  }
  bool Lost() const override {
    return vanished_;
  }
  std::string Name() const override;

 protected:
  SystemPort() = default;

  // An operation on the open line. While any Use lives, Close waits before
  // it releases the line.
  class Use {
   public:
    explicit Use(SystemPort& port);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    explicit operator bool() const { return handle != kNoHandle; }

    Handle handle = kNoHandle;
    Handle wake = kNoHandle;  // signalled when closing: ends every wait
    PortTimeouts timeouts;

   private:
    SystemPort& port_;
  };

  // Takes an open line (a non-blocking descriptor, or a handle opened for
  // overlapped input and output) and the name it was opened by; false with
  // the reason when the wake-up cannot be made (the line is closed then).
  bool Adopt(Handle handle, const std::string& name);
  // Record the reason of a failed open (the system's error code, or a text),
  // close handle when it is open, and return false.
  bool Fail(ErrorCode error, Handle handle);
  bool Fail(const std::string& reason, Handle handle);
  // Releases the line; false when the system refuses.
  virtual bool ReleaseHandle(Handle handle);
#ifdef _WIN32
  // Before each piece of a read: the piece may wait up to wait_ms for a
  // first byte; 0 means it returns at once with what has arrived.
  virtual void BeforeReadPiece(Handle, uint32_t) {}
#else
  // One write call; a socket sends without raising SIGPIPE.
  virtual long WriteSome(Handle handle, const uint8_t* data, size_t count);
#endif

 private:
  // The system's side, one file per platform (system_port_io.cpp,
  // system_port_io_windows.cpp). The wake-up is an eventfd or an event that
  // ends every wait of a read or write when signalled; MakeWake returns
  // kNoHandle when the system refuses, the reason in LastSystemError().
  static Handle MakeWake();
  static void SignalWake(Handle wake);
  static void ReleaseWake(Handle wake);
  static ErrorCode LastSystemError();
  static std::string ErrorText(ErrorCode error);
  void WaitForCloseUntil(Handle wake, const Deadline& deadline);
  // The bytes of one read as they come, until the buffer is full, complete
  // says so, the interval or total limit passes, or the line closes or goes.
  size_t ReadPieces(const Use& use, uint8_t* data, size_t capacity, const ReadComplete& complete,
                    const Deadline& total);

  mutable std::mutex mutex_;
  std::condition_variable idle_;
  Handle handle_ = kNoHandle;  // guarded by mutex_
  Handle wake_ = kNoHandle;    // eventfd, or event, that ends every wait
  int users_ = 0;              // operations in progress on handle_
  bool closing_ = false;
  PortTimeouts timeouts_;
  std::string last_error_;
  std::string name_;  // as given to Open; guarded by mutex_
  std::atomic<bool> vanished_{false};
  std::atomic<uint32_t> bytes_transferred_{0};
};

}  // namespace flovir
