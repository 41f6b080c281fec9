#pragma once
// What the serial port and the network port share on Windows: a handle (a
// comm port or a socket) read and written with overlapped input and output
// under the five timeouts, and a Close that is safe while another thread
// reads or writes: closing sets an event that ends every wait at once.
// Subclasses open the handle and know how to close and purge it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "connection/deadline.h"
#include "link/port.h"

namespace flovir {

class OverlappedPort : public Port {
 public:
  ~OverlappedPort() override;
  OverlappedPort(const OverlappedPort&) = delete;
  OverlappedPort& operator=(const OverlappedPort&) = delete;

  // A read or write in progress on another thread returns at once; the
  // handle is released only after it has left. Returns false when nothing
  // was open or the system's close failed.
  bool Close();
  // The system's text for the last failed open or close.
  std::string LastError() const;

  bool IsOpen() const override;
  bool SetTimeouts(const PortTimeouts& timeouts) override;
  PortTimeouts GetTimeouts() const override;
  uint32_t Write(const uint8_t* data, size_t count) override;
  // Reads in short pieces and keeps the interval and total limits itself,
  // so a complete reply ends the read at once. A line that has gone (an
  // adapter pulled out, a connection closed) reads nothing: the read that
  // finds it out returns at once and Lost() turns true; every later read
  // waits out its total timeout, or until Close, and returns 0.
  uint32_t Read(uint8_t* data, size_t capacity, const ReadComplete& complete = {}) override;
  uint32_t BytesTransferred() const override { return bytes_transferred_; }
  bool Lost() const override { return vanished_; }
  std::string Name() const override;

 protected:
  OverlappedPort() = default;

  // An operation on the open handle. While any Use lives, Close waits
  // before it releases the handle.
  class Use {
   public:
    explicit Use(OverlappedPort& port);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    explicit operator bool() const { return handle != nullptr; }

    void* handle = nullptr;  // HANDLE
    void* close_event = nullptr;
    PortTimeouts timeouts;

   private:
    OverlappedPort& port_;
  };

  // Takes a handle opened for overlapped input and output and the name it
  // was opened by; false with the reason when the close event cannot be
  // made (the handle is closed then).
  bool Adopt(void* handle, const std::string& name);
  // Record the reason of a failed open (a Windows error code, or a text),
  // close handle when it is not null and return false.
  bool Fail(uint32_t error, void* handle);
  bool Fail(const std::string& reason, void* handle);
  // Releases the handle; false when the system refuses.
  virtual bool CloseHandleOf(void* handle);
  // Before each piece of a read: the piece may wait up to wait_ms for a
  // first byte; 0 means it returns at once with what has arrived.
  virtual void BeforeReadPiece(void*, uint32_t) {}

 private:
  mutable std::mutex mutex_;
  std::condition_variable idle_;
  void* handle_ = nullptr;       // guarded by mutex_
  void* close_event_ = nullptr;  // set when closing: ends every wait
  int users_ = 0;                // operations in progress on handle_
  bool closing_ = false;
  PortTimeouts timeouts_;
  std::string last_error_;
  std::string name_;  // as given to Open; guarded by mutex_
  std::atomic<bool> vanished_{false};
  std::atomic<uint32_t> bytes_transferred_{0};
};

}  // namespace flovir
