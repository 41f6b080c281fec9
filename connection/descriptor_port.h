#pragma once
// What the serial port and the network port share: a file descriptor read
// and written under the five timeouts with their Windows meaning (poll() on
// a monotonic clock), and a Close that is safe while another thread reads or
// writes. Subclasses open the descriptor and know what purging means.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "connection/deadline.h"
#include "link/port.h"

namespace flovir {

class DescriptorPort : public Port {
 public:
  ~DescriptorPort() override;
  DescriptorPort(const DescriptorPort&) = delete;
  DescriptorPort& operator=(const DescriptorPort&) = delete;

  // A read or write in progress on another thread returns at once; the
  // descriptor is released only after it has left, so no later read or
  // write can reach a descriptor the system has handed out again. Returns
  // false when nothing was open or the system's close failed.
  bool Close();
  // The system's text for the last failed open or close.
  std::string LastError() const;

  bool IsOpen() const override;
  bool SetTimeouts(const PortTimeouts& timeouts) override;
  PortTimeouts GetTimeouts() const override;
  uint32_t Write(const uint8_t* data, size_t count) override;
  // A line that has gone (device unplugged, other end of a pseudo-terminal
  // or of a network connection closed) reads nothing: the read that finds it
  // out returns at once and Lost() turns true; every later read waits out
  // its total timeout, or until Close, and returns 0, so a caller that reads
  // in a loop never spins.
  uint32_t Read(uint8_t* data, size_t capacity, const ReadComplete& complete = {}) override;
  uint32_t BytesTransferred() const override { return bytes_transferred_; }
  bool Lost() const override { return vanished_; }
  std::string Name() const override;

 protected:
  DescriptorPort() = default;

  // An operation on the open descriptor. While any Use lives, Close waits
  // before it releases the descriptor.
  class Use {
   public:
    explicit Use(DescriptorPort& port);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    explicit operator bool() const { return fd >= 0; }

    int fd = -1;
    int wake_fd = -1;
    PortTimeouts timeouts;

   private:
    DescriptorPort& port_;
  };

  // Takes an open descriptor (non-blocking) and the name it was opened by;
  // false with the reason when the wake-up descriptor cannot be made (fd is
  // closed then).
  bool Adopt(int fd, const std::string& name);
  // Record the reason of a failed open (the system's text of an error
  // number, or a text) and close fd when it is open; return false.
  bool Fail(int error, int fd);
  bool Fail(const std::string& reason, int fd);
  // Called with the descriptor just before it is closed.
  virtual void BeforeClose(int) {}
  // One write call; a socket sends without raising SIGPIPE.
  virtual long WriteSome(int fd, const uint8_t* data, size_t count);
  bool Vanished() const { return vanished_; }

 private:
  void WaitForCloseUntil(int wake_fd, const Deadline& deadline);

  mutable std::mutex mutex_;
  std::condition_variable idle_;
  int fd_ = -1;       // guarded by mutex_
  int wake_fd_ = -1;  // eventfd that interrupts every wait when closing
  int users_ = 0;     // operations in progress on fd_
  bool closing_ = false;
  PortTimeouts timeouts_;
  std::string last_error_;
  std::string name_;  // as given to Open; guarded by mutex_
  std::atomic<bool> vanished_{false};
  std::atomic<uint32_t> bytes_transferred_{0};
};

}  // namespace flovir
