#include "link/exchange_thread.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>

#include "link/reply_check.h"

namespace flovir {

namespace {

constexpr size_t kBufferSize = 256;
constexpr uint8_t kReadHolding = 3;
constexpr uint8_t kWriteMultiple = 16;

void PutWord(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value & 0xFF);
}

void PutCrc(uint8_t* frame, size_t length) {
  const uint16_t crc = ModbusCrc(frame, length);
  frame[length] = static_cast<uint8_t>(crc & 0xFF);
  frame[length + 1] = static_cast<uint8_t>(crc >> 8);
}

}  // namespace

struct com_port::State {
  State(Port& p, ExchangeRequest& r, MainThreadExecutor& e, std::function<void()> c,
        ExchangeTrace* t)
      : port(p), request(r), executor(e), exchange_completed(std::move(c)), trace(t) {}

  void Run();
  void RunRequest();
  void RunFrame(size_t frame_length, size_t expected);
  void RunTry(size_t frame_length, size_t expected);
  void HandOver();
  void Trace(const char* prefix, const uint8_t* data, size_t count) {
    if (trace) trace->Append(prefix + HexDump(data, count));
  }

  Port& port;
  ExchangeRequest& request;
  MainThreadExecutor& executor;
  std::function<void()> exchange_completed;
  ExchangeTrace* trace;

  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable finished_cv;
  bool awake = false;     // guarded by mutex
  bool finished = false;  // guarded by mutex
  std::atomic<bool> terminating{false};
  std::atomic<bool> in_handler{false};  // main thread only
  std::atomic<bool> early_frame_end{true};
  std::thread thread;

  std::array<uint8_t, kBufferSize> frame{};
  std::array<uint8_t, kBufferSize> reply{};
};

void com_port::State::Run() {
  for (;;) {
    {
      std::unique_lock lock(mutex);
      wake.wait(lock, [this] { return awake || terminating; });
    }
    if (terminating) break;
    RunRequest();
    if (terminating) break;
    HandOver();
  }
  std::lock_guard lock(mutex);
  finished = true;
  finished_cv.notify_all();
}

void com_port::State::RunRequest() {
  ExchangeRequest& r = request;
  if (r.Attempts == 0 || r.ChunkSize == 0) {
    r.Status = kStatusZeroAttemptsOrChunk;
    return;
  }
  if (r.FunctionCode != kReadHolding && r.FunctionCode != kWriteMultiple) {
    r.Status = kStatusUnsupportedFunction;
    return;
  }
  if (port.Lost()) {
    r.Status = kStatusPortLost;
    return;
  }
  const bool read = r.FunctionCode == kReadHolding;
  // Larger chunks would not fit the 256-byte frame or reply.
  const uint16_t chunk =
      std::min<uint16_t>(r.ChunkSize, read ? kMaxReadRegisters : kMaxWriteRegisters);
  uint16_t start = r.StartRegister;
  uint16_t remaining = r.RegisterCount;
  frame[0] = r.SlaveAddress;
  frame[1] = r.FunctionCode;
  r.Status = kStatusSuccess;

  while (remaining > 0) {
    if (terminating) {
      r.Status = kStatusCancelled;
      return;
    }
    const uint16_t n = std::min(chunk, remaining);
    PutWord(&frame[2], start);
    PutWord(&frame[4], n);
    remaining -= n;
    start += n;
    const size_t data_bytes = 2u * n;
    if (read) {
      PutCrc(frame.data(), 6);
      RunFrame(8, 5 + data_bytes);
      if (r.Status != kStatusSuccess) return;
      SwapWordsCopy(&reply[3], r.DataCursor, data_bytes);
      r.DataCursor += data_bytes;
    } else {
      frame[6] = static_cast<uint8_t>(data_bytes);
      SwapWordsCopy(r.DataCursor, &frame[7], data_bytes);
      r.DataCursor += data_bytes;  // moves before sending: the frame is resent as built
      PutCrc(frame.data(), 7 + data_bytes);
      RunFrame(9 + data_bytes, 8);
      if (r.Status != kStatusSuccess) return;
    }
  }
}

void com_port::State::RunFrame(size_t frame_length, size_t expected) {
  unsigned tries_left = request.Attempts;
  do {
    RunTry(frame_length, expected);
    --tries_left;
  } while (request.Status != kStatusSuccess && request.Status != kStatusPortLost &&
           tries_left > 0 && !request.StopRequested && !terminating);
}

void com_port::State::RunTry(size_t frame_length, size_t expected) {
  port.Purge();
  reply.fill(0);
  const uint32_t sent = port.Write(frame.data(), frame_length);
  Trace("out: ", frame.data(), sent);
  // A vanished port ends the request at once instead of waiting out the
  // tries like a silent meter.
  if (port.Lost()) {
    request.Status = kStatusPortLost;
    return;
  }

  ReadComplete complete;
  if (early_frame_end) {
    complete = [expected](const uint8_t* data, size_t count) {
      return IsCompleteReply(data, count, expected);
    };
  }
  const uint32_t received = port.Read(reply.data(), reply.size(), complete);
  Trace("in:  ", reply.data(), received);

  if (port.Lost()) {
    request.Status = kStatusPortLost;
    return;
  }
  const size_t length = StripReplyZeros(reply.data(), received, expected);
  request.Status = CheckReply(reply.data(), length, expected, request.SlaveAddress);
}

void com_port::State::HandOver() {
  executor.RunAndWait([this] {
    // Once the connection is stopping, the handler must not start anything new.
    if (terminating) return;
    in_handler = true;
    exchange_completed();
    in_handler = false;
  });
}

com_port::com_port(Port& port, ExchangeRequest& request, MainThreadExecutor& executor,
                   std::function<void()> exchange_completed, ExchangeTrace* trace)
    : state_(
          std::make_shared<State>(port, request, executor, std::move(exchange_completed), trace)) {
  state_->thread = std::thread([state = state_] { state->Run(); });
}

com_port::~com_port() {
  Terminate();
  if (state_->thread.joinable()) {
    // Only when destroyed from inside its own handler: the thread ends as soon
    // as the handler returns and keeps its state alive until then.
    state_->thread.detach();
  }
}

void com_port::Wake() {
  std::lock_guard lock(state_->mutex);
  state_->awake = true;
  state_->wake.notify_all();
}

void com_port::Sleep() {
  std::lock_guard lock(state_->mutex);
  state_->awake = false;
}

bool com_port::IsSleeping() const {
  std::lock_guard lock(state_->mutex);
  return !state_->awake;
}

void com_port::Terminate() {
  State& s = *state_;
  {
    std::lock_guard lock(s.mutex);
    s.terminating = true;
    s.wake.notify_all();
  }
  if (!s.thread.joinable() || s.in_handler || s.thread.get_id() == std::this_thread::get_id()) {
    return;
  }
  // The thread may be waiting for the main thread to run its hand-over:
  // keep the main thread's queue moving until the thread has left.
  for (;;) {
    s.executor.ProcessPendingEvents();
    std::unique_lock lock(s.mutex);
    if (s.finished_cv.wait_for(lock, std::chrono::milliseconds(5), [&] { return s.finished; })) {
      break;
    }
  }
  s.thread.join();
}

std::string com_port::PortName() const {
  return state_->port.Name();
}

void com_port::SetEarlyFrameEnd(bool on) {
  state_->early_frame_end = on;
}

}  // namespace flovir
