#pragma once
// A link on a real pseudo-terminal: our serial port, the request block, the
// exchange thread and a scripted slave on the other side.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "connection/serial_port.h"
#include "link/exchange_thread.h"
#include "link/trace.h"
#include "tests/link/pty_peer.h"

namespace flovir::test {

// Generous: no test may depend on a tight bound (ThreadSanitizer, busy CI).
inline constexpr int kWaitMs = 120000;

class PtyLink {
 public:
  explicit PtyLink(ScriptedPeer::Responder responder, uint32_t answer_timeout_ms = 1000)
      : peer_(pty_, std::move(responder)) {
    if (!port_.Open(pty_.SlavePath())) throw std::runtime_error(port_.LastError());
    port_.SetLineSettings(LineSettings{});
    port_.SetTimeouts({50, 0, answer_timeout_ms, 0, 0});
    thread_ = std::make_unique<ExchangeThread>(
        port_, request_, executor_, [this] { Completed(); }, &trace_);
  }
  ~PtyLink() {
    port_.Close();
    thread_.reset();
  }

  // Runs one request and returns its status.
  uint8_t Run(uint8_t function, uint16_t start, uint16_t count, uint8_t* data, uint8_t chunk = 64,
              uint8_t attempts = 3) {
    request_.SlaveAddress = 1;
    request_.FunctionCode = function;
    request_.StartRegister = start;
    request_.RegisterCount = count;
    request_.ChunkSize = chunk;
    request_.Attempts = attempts;
    request_.DataCursor = data;
    return RunFilled();
  }
  // Runs the request as the test filled it.
  uint8_t RunFilled() {
    done_ = false;
    thread_->Wake();
    EXPECT_TRUE(executor_.RunUntil([this] { return done_; }, kWaitMs));
    return request_.Status;
  }

  ExchangeRequest& request() { return request_; }
  ExchangeThread& thread() { return *thread_; }
  SerialPort& port() { return port_; }
  ScriptedPeer& peer() { return peer_; }
  QueueExecutor& executor() { return executor_; }
  std::vector<std::string> TraceLines() const { return trace_.Lines(); }

 private:
  void Completed() {
    thread_->Sleep();
    done_ = true;
  }

  Pty pty_;
  ScriptedPeer peer_;
  SerialPort port_;
  ExchangeRequest request_;
  QueueExecutor executor_;
  MemoryTrace trace_;
  std::unique_ptr<ExchangeThread> thread_;
  bool done_ = false;
};

}  // namespace flovir::test
