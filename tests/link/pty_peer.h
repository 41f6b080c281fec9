#pragma once
// Test helpers: a real pseudo-terminal whose slave side the code under test
// opens by path, and a byte-level Modbus slave on its master side that
// answers each request with whatever the test scripts.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "link/exchange_request.h"

namespace flovir::test {

using Bytes = std::vector<uint8_t>;

// The bytes with their CRC appended, low-order byte first.
inline Bytes WithCrc(Bytes frame) {
  const uint16_t crc = ModbusCrc(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

// A function 3 reply carrying the values.
inline Bytes ReadReply(uint8_t address, const std::vector<uint16_t>& values) {
  Bytes frame = {address, 3, static_cast<uint8_t>(2 * values.size())};
  for (uint16_t v : values) {
    frame.push_back(static_cast<uint8_t>(v >> 8));
    frame.push_back(static_cast<uint8_t>(v & 0xFF));
  }
  return WithCrc(frame);
}

inline uint16_t Word(const Bytes& frame, size_t at) {
  return static_cast<uint16_t>(frame[at] << 8 | frame[at + 1]);
}

class Pty {
 public:
  Pty() {
    char name[128];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty failed");
    }
    slave_path_ = name;
    termios t{};
    tcgetattr(slave_, &t);
    cfmakeraw(&t);
    tcsetattr(slave_, TCSANOW, &t);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~Pty() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& SlavePath() const { return slave_path_; }
  int Master() const { return master_; }
  // Bytes waiting to be read on the slave side.
  int SlaveQueued() const {
    int n = 0;
    ioctl(slave_, FIONREAD, &n);
    return n;
  }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  void Send(const Bytes& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) done += static_cast<size_t>(n);
    }
  }
  // Whatever arrives from the slave side within the time.
  Bytes Receive(int timeout_ms) const {
    Bytes bytes;
    pollfd p = {master_, POLLIN, 0};
    while (poll(&p, 1, timeout_ms) > 0) {
      uint8_t buffer[512];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + n);
      timeout_ms = 20;
    }
    return bytes;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

// What the peer sends for one request.
struct PeerReply {
  Bytes bytes;  // empty: silence
  size_t split_at = 0;
  int gap_ms = 0;  // pause after split_at bytes
};

// A Modbus slave on the master side of a pty. Requests are framed by their
// function's length (3: 8 bytes, 16: 9 + byte count), other frames by 20 ms
// of silence. The responder runs on the peer's thread.
class ScriptedPeer {
 public:
  using Responder = std::function<PeerReply(const Bytes& request)>;

  ScriptedPeer(Pty& pty, Responder responder) : pty_(pty), responder_(std::move(responder)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedPeer() {
    stop_ = true;
    thread_.join();
  }

  std::vector<Bytes> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  size_t RequestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
  }

 private:
  static size_t FrameLength(const Bytes& b) {
    if (b.size() < 2) return 0;
    if (b[1] == 3) return 8;
    if (b[1] == 16) return b.size() >= 7 ? 9u + b[6] : 0;
    return 0;
  }

  void Run() {
    Bytes pending;
    while (!stop_) {
      pollfd p = {pty_.Master(), POLLIN, 0};
      const int ready = poll(&p, 1, 20);
      if (ready > 0 && (p.revents & POLLIN)) {
        uint8_t buffer[512];
        const ssize_t n = read(pty_.Master(), buffer, sizeof buffer);
        if (n > 0) pending.insert(pending.end(), buffer, buffer + n);
      }
      const size_t length = FrameLength(pending);
      const bool by_length = length > 0 && pending.size() >= length;
      const bool by_silence = ready == 0 && !pending.empty() && length == 0;
      if (!by_length && !by_silence) continue;
      const Bytes request(pending.begin(), pending.begin() + (by_length ? length : pending.size()));
      pending.erase(pending.begin(), pending.begin() + static_cast<long>(request.size()));
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      Answer(responder_(request));
    }
  }

  void Answer(const PeerReply& reply) {
    if (reply.bytes.empty()) return;
    if (reply.split_at == 0 || reply.split_at >= reply.bytes.size()) {
      pty_.Send(reply.bytes);
      return;
    }
    pty_.Send(Bytes(reply.bytes.begin(), reply.bytes.begin() + reply.split_at));
    std::this_thread::sleep_for(std::chrono::milliseconds(reply.gap_ms));
    pty_.Send(Bytes(reply.bytes.begin() + reply.split_at, reply.bytes.end()));
  }

  Pty& pty_;
  Responder responder_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<Bytes> requests_;
  std::thread thread_;
};

// Registers 0 .. size-1 holding value = register * 3 + 1 unless written;
// other registers answer exception 2. Answers on the peer's thread; the test
// reads the registers through Value.
class RegisterPeer {
 public:
  explicit RegisterPeer(size_t size, uint8_t address = 1) : address_(address) {
    for (size_t r = 0; r < size; ++r) registers_.push_back(static_cast<uint16_t>(r * 3 + 1));
  }
  PeerReply operator()(const Bytes& request) {
    std::lock_guard lock(mutex_);
    if (request[0] != address_) return {};
    const uint16_t start = Word(request, 2);
    const uint16_t count = Word(request, 4);
    if (start + count > registers_.size()) {
      return {WithCrc({address_, uint8_t(request[1] | 0x80), 2})};
    }
    if (request[1] == 16) {
      for (uint16_t k = 0; k < count; ++k) registers_[start + k] = Word(request, 7 + 2 * k);
      return {WithCrc({address_, 16, request[2], request[3], request[4], request[5]})};
    }
    return {ReadReply(address_, {registers_.begin() + start, registers_.begin() + start + count})};
  }
  uint16_t Value(size_t r) const {
    std::lock_guard lock(mutex_);
    return registers_[r];
  }

 private:
  mutable std::mutex mutex_;
  std::vector<uint16_t> registers_;
  uint8_t address_;
};

// Two pseudo-terminals joined master to master: a line with a tty path at
// each end, for stacks that open their port by path (libmodbus, pymodbus).
class PtyBridge {
 public:
  PtyBridge() : thread_([this] { Run(); }) {}
  ~PtyBridge() {
    stop_ = true;
    thread_.join();
  }
  const std::string& PathA() const { return a_.SlavePath(); }
  const std::string& PathB() const { return b_.SlavePath(); }

 private:
  void Run() {
    while (!stop_) {
      pollfd fds[2] = {{a_.Master(), POLLIN, 0}, {b_.Master(), POLLIN, 0}};
      if (poll(fds, 2, 20) <= 0) continue;
      Forward(fds[0], b_);
      Forward(fds[1], a_);
    }
  }
  static void Forward(const pollfd& from, const Pty& to) {
    if (!(from.revents & POLLIN)) return;
    uint8_t buffer[512];
    const ssize_t n = read(from.fd, buffer, sizeof buffer);
    if (n > 0) to.Send(Bytes(buffer, buffer + n));
  }

  Pty a_;
  Pty b_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace flovir::test
