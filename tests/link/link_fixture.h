#pragma once
// A link on a real line: our serial port on a pseudo-terminal or our network
// port on the loopback, the request block, the exchange thread, and a
// scripted or independent slave on the other side.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "connection/serial_port.h"
#include "connection/tcp_port.h"
#include "link/exchange_thread.h"
#include "link/trace.h"
#include "tests/link/pty_peer.h"

namespace flovir {

// A failed expectation shows a status by number and text.
inline void PrintTo(ExchangeStatus status, std::ostream* os) {
  *os << static_cast<int>(StatusCode(status)) << " (" << StatusText(status) << ")";
}

}  // namespace flovir

namespace flovir::test {

// Generous: no test may depend on a tight bound (ThreadSanitizer, busy CI).
inline constexpr int kWaitMs = 120000;

// Our master on an open port: request block, exchange thread, and this
// thread as the main thread.
class PortLink {
 public:
  explicit PortLink(std::unique_ptr<SystemPort> port, uint32_t answer_timeout_ms,
                    WireFraming framing = WireFraming::Rtu)
      : port_(std::move(port)) {
    port_->SetTimeouts({50, 0, answer_timeout_ms, 0, 0});
    thread_ = std::make_unique<ExchangeThread>(
        *port_, request_, executor_, [this] { Complete(); }, &trace_);
    thread_->SetWireFraming(framing);
  }
  ~PortLink() {
    port_->Close();
    thread_.reset();
  }

  // Runs one request and returns its status.
  ExchangeStatus Run(uint8_t function, uint16_t start, uint16_t count, uint8_t* data,
                     uint8_t chunk = 64, uint8_t attempts = 3, uint8_t address = 1) {
    request_.SlaveAddress = address;
    request_.FunctionCode = function;
    request_.StartRegister = start;
    request_.RegisterCount = count;
    request_.ChunkSize = chunk;
    request_.Attempts = attempts;
    request_.DataCursor = data;
    return RunFilled();
  }
  // Runs the request as the test filled it.
  ExchangeStatus RunFilled() {
    done_ = false;
    thread_->Wake();
    EXPECT_TRUE(executor_.RunUntil([this] { return done_; }, kWaitMs));
    return request_.Status;
  }

  ExchangeRequest& request() { return request_; }
  ExchangeThread& thread() { return *thread_; }
  SystemPort& port() { return *port_; }
  QueueExecutor& executor() { return executor_; }
  std::vector<std::string> TraceLines() const { return trace_.Lines(); }
  void ClearTrace() { trace_.Clear(); }
  // True once the completion handler has run for the last request.
  bool Completed() const { return done_; }

 private:
  void Complete() {
    thread_->Sleep();
    done_ = true;
  }

  std::unique_ptr<SystemPort> port_;
  ExchangeRequest request_;
  QueueExecutor executor_;
  MemoryTrace trace_;
  std::unique_ptr<ExchangeThread> thread_;
  bool done_ = false;
};

// Our master on the serial port at a path.
class PathLink : public PortLink {
 public:
  explicit PathLink(const std::string& path, uint32_t answer_timeout_ms = 1000)
      : PortLink(Open(path), answer_timeout_ms) {}

 private:
  static std::unique_ptr<SystemPort> Open(const std::string& path) {
    auto port = std::make_unique<SerialPort>();
    if (!port->Open(path)) throw std::runtime_error(port->LastError());
    port->SetLineSettings(LineSettings{});
    return port;
  }
};

// Our master on a TCP connection to HOST:PORT.
class NetLink : public PortLink {
 public:
  NetLink(const std::string& host_port, WireFraming framing, uint32_t answer_timeout_ms = 2000)
      : PortLink(Connect(host_port), answer_timeout_ms, framing) {}

 private:
  static std::unique_ptr<SystemPort> Connect(const std::string& host_port) {
    auto port = std::make_unique<TcpPort>();
    if (!port->Open(host_port, 5000)) throw std::runtime_error(port->LastError());
    return port;
  }
};

// PathLink against a scripted slave on a pseudo-terminal of its own.
class PtyLink : public PathLink {
 public:
  explicit PtyLink(ScriptedPeer::Responder responder, uint32_t answer_timeout_ms = 1000)
      : PtyLink(std::make_unique<Pty>(), std::move(responder), answer_timeout_ms) {}
  ~PtyLink() { port().Close(); }  // before the peer and the pty go
  ScriptedPeer& peer() { return *peer_; }

 private:
  PtyLink(std::unique_ptr<Pty> pty, ScriptedPeer::Responder responder, uint32_t timeout)
      : PathLink(pty->SlavePath(), timeout),
        pty_(std::move(pty)),
        peer_(std::make_unique<ScriptedPeer>(*pty_, std::move(responder))) {}

  std::unique_ptr<Pty> pty_;
  std::unique_ptr<ScriptedPeer> peer_;
};

}  // namespace flovir::test
