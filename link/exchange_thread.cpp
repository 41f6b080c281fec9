#include "link/exchange_thread.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <vector>

#include "link/deadline.h"
#include "link/reply_check.h"

namespace flovir {

namespace {

constexpr size_t kBufferSize = 256;
// Before a new try the line must have been quiet this long: twice the
// silence that ends a frame, so the rest of a broken or stray frame and a
// reply that follows it have passed.
constexpr uint32_t kSettleQuietMs = 100;

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

struct ExchangeThread::State {
  State(Port& p, ExchangeRequest& r, MainThreadExecutor& e, std::function<void()> c,
        ExchangeTrace* t)
      : port(p), request(r), executor(e), exchange_completed(std::move(c)), trace(t) {}

  void Run();
  void RunRequest();
  void RunFrame(size_t frame_length, size_t expected);
  void RunTry(size_t frame_length, size_t expected);
  void RunMbapTry(size_t frame_length, size_t expected);
  size_t ReadMbapReply(uint16_t transaction);
  bool RepeatsTheLastReply(size_t length) const {
    return last_reply.size() == length &&
           std::equal(last_reply.begin(), last_reply.end(), reply.begin());
  }
  void Settle();
  void DiscardOwedReplies();
  uint32_t ReadAndDiscard(uint32_t wait_ms);
  void HandOver();
  void Trace(const char* prefix, const uint8_t* data, size_t count) {
    if (!trace) return;
    const auto now = std::chrono::steady_clock::now();
    const FrameTime time{Ms(now - operation_start), Ms(now - previous_frame)};
    previous_frame = now;
    trace->AppendTimed(prefix + HexDump(data, count), time);
  }
  static double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
  }
  // What the try heard, for the statistics.
  void Count(const uint8_t* heard, size_t length, std::chrono::steady_clock::time_point sent_at) {
    if (LineStatistics* s = statistics.load()) {
      s->TryEnded(request.Status, heard, length, std::chrono::steady_clock::now() - sent_at);
    }
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
  std::atomic<WireFraming> framing{WireFraming::Rtu};
  std::atomic<LineStatistics*> statistics{nullptr};
  // An operation begins when a sleeping thread is woken; the trace times
  // count from there.
  std::atomic<bool> operation_begins{true};
  std::chrono::steady_clock::time_point operation_start{};
  std::chrono::steady_clock::time_point previous_frame{};
  uint16_t transaction = 0;  // the MBAP transaction id of the last try
  // Replies that failed tries may still owe: a try that heard nothing, or
  // heard a frame that was not the answer to it, may see its own reply
  // arrive late, where it would pass for the answer to a later request.
  unsigned owed_replies = 0;
  std::chrono::steady_clock::time_point owed_until{};  // no owed reply comes after this
  std::thread thread;

  std::array<uint8_t, kBufferSize> frame{};
  std::array<uint8_t, kBufferSize> reply{};
  std::array<uint8_t, kBufferSize> discarded{};  // what settling takes off the line
  // The last read reply taken, unless a write came after it, and when.
  std::vector<uint8_t> last_reply;
  std::chrono::steady_clock::time_point last_reply_at{};
  // Modbus TCP: room for a stale reply and the awaited one, in MBAP frames.
  std::array<uint8_t, 2 * (kBufferSize + kMbapHeaderSize)> wire{};
};

void ExchangeThread::State::Run() {
  for (;;) {
    {
      std::unique_lock lock(mutex);
      wake.wait(lock, [this] { return awake || terminating; });
    }
    if (terminating) break;
    if (operation_begins.exchange(false)) {
      operation_start = previous_frame = std::chrono::steady_clock::now();
    }
    if (LineStatistics* s = statistics.load()) s->RequestStarted();
    RunRequest();
    if (terminating) break;
    HandOver();
  }
  std::lock_guard lock(mutex);
  finished = true;
  finished_cv.notify_all();
}

void ExchangeThread::State::RunRequest() {
  ExchangeRequest& r = request;
  if (r.Attempts == 0 || r.ChunkSize == 0) {
    r.Status = ExchangeStatus::ZeroAttemptsOrChunk;
    return;
  }
  if (r.FunctionCode != kReadHoldingRegisters && r.FunctionCode != kWriteMultipleRegisters) {
    r.Status = ExchangeStatus::UnsupportedFunction;
    return;
  }
  if (port.Lost()) {
    r.Status = ExchangeStatus::PortLost;
    return;
  }
  const bool read = r.FunctionCode == kReadHoldingRegisters;
  // Larger chunks would not fit the 256-byte frame or reply.
  const uint16_t chunk =
      std::min<uint16_t>(r.ChunkSize, read ? kMaxReadRegisters : kMaxWriteRegisters);
  uint16_t start = r.StartRegister;
  uint16_t remaining = r.RegisterCount;
  frame[0] = r.SlaveAddress;
  frame[1] = r.FunctionCode;
  r.Status = ExchangeStatus::Success;
  // A copy of a read's reply can pass only for the reply to a read of the
  // same size that follows right after it, never across a write.
  if (!read) last_reply.clear();

  while (remaining > 0) {
    if (terminating) {
      r.Status = ExchangeStatus::Cancelled;
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
      const bool right_after = std::chrono::steady_clock::now() - last_reply_at <
                               std::chrono::milliseconds(kSettleQuietMs);
      RunFrame(8, 5 + data_bytes);
      if (r.Status != ExchangeStatus::Success) return;
      if (framing == WireFraming::Rtu && right_after && RepeatsTheLastReply(5 + data_bytes)) {
        // A reply sent twice would pass for the next frame's: with frames
        // of one size nothing else tells them apart. The line settles and
        // the frame is asked again; what comes then is its reply.
        if (LineStatistics* s = statistics.load()) s->Discarded();
        Settle();
        RunFrame(8, 5 + data_bytes);
        if (r.Status != ExchangeStatus::Success) return;
      }
      last_reply.assign(reply.begin(), reply.begin() + 5 + data_bytes);
      last_reply_at = std::chrono::steady_clock::now();
      SwapWordsCopy(&reply[3], r.DataCursor, data_bytes);
      r.DataCursor += data_bytes;
    } else {
      frame[6] = static_cast<uint8_t>(data_bytes);
      SwapWordsCopy(r.DataCursor, &frame[7], data_bytes);
      r.DataCursor += data_bytes;  // moves before sending: the frame is resent as built
      PutCrc(frame.data(), 7 + data_bytes);
      RunFrame(9 + data_bytes, 8);
      if (r.Status != ExchangeStatus::Success) return;
    }
  }
}

// Modbus TCP needs none of the settling: transaction ids tell the replies
// apart. On RTU frames a failed try leaves the line unclean.
void ExchangeThread::State::RunFrame(size_t frame_length, size_t expected) {
  const bool rtu = framing == WireFraming::Rtu;
  // A frame that failed for good may have left replies owed; they are
  // waited out here, only as long as they could still come.
  if (rtu && owed_replies > 0 && !terminating) DiscardOwedReplies();
  if (LineStatistics* s = statistics.load()) s->FrameStarted();
  unsigned tries_left = request.Attempts;
  for (;;) {
    RunTry(frame_length, expected);
    --tries_left;
    if (request.Status == ExchangeStatus::Success || request.Status == ExchangeStatus::PortLost ||
        tries_left == 0 || request.StopRequested || terminating) {
      break;
    }
    if (rtu) Settle();
  }
  // After a success the next frame follows at once: the owed replies are
  // waited for now. After a failure the operation ends and the user sees it
  // at once; the wait falls to the next frame, if one comes that soon.
  if (rtu && owed_replies > 0 && request.Status == ExchangeStatus::Success && !terminating) {
    DiscardOwedReplies();
  }
}

// Before the next try: waits until the line has been quiet for a while and
// discards what came meanwhile, at most for one answer timeout (a line that
// never stops babbling fails the next try instead).
void ExchangeThread::State::Settle() {
  const Deadline until = Deadline::After(port.GetTimeouts().ReadConstant);
  while (ReadAndDiscard(kSettleQuietMs) > 0 && !terminating && !until.Passed()) {
  }
}

// Before anything else is sent: the replies that failed tries may still owe
// are waited for, until one answer timeout after the last such try, and
// discarded.
void ExchangeThread::State::DiscardOwedReplies() {
  const auto until = owed_until;
  while (owed_replies > 0 && !terminating) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || ReadAndDiscard(static_cast<uint32_t>(left.count())) == 0) break;
  }
  owed_replies = 0;
}

// Reads what arrives within wait_ms (ending at the frame silence after a
// byte), traces and drops it; a whole valid frame pays one owed reply.
uint32_t ExchangeThread::State::ReadAndDiscard(uint32_t wait_ms) {
  const PortTimeouts modbus = port.GetTimeouts();
  PortTimeouts wait = modbus;
  wait.ReadMultiplier = 0;
  wait.ReadConstant = wait_ms;
  port.SetTimeouts(wait);
  const uint32_t received = port.Read(discarded.data(), discarded.size());
  port.SetTimeouts(modbus);
  if (received == 0) return 0;
  Trace("in:  ", discarded.data(), received);
  if (LineStatistics* s = statistics.load()) s->Discarded();
  if (owed_replies > 0 && IsValidFrame(discarded.data(), received)) --owed_replies;
  return received;
}

void ExchangeThread::State::RunTry(size_t frame_length, size_t expected) {
  if (framing == WireFraming::ModbusTcp) return RunMbapTry(frame_length, expected);
  port.Purge();
  reply.fill(0);
  const uint32_t sent = port.Write(frame.data(), frame_length);
  const auto sent_at = std::chrono::steady_clock::now();
  Trace("out: ", frame.data(), sent);
  // A vanished port ends the request at once instead of waiting out the
  // tries like a silent meter.
  if (port.Lost()) {
    request.Status = ExchangeStatus::PortLost;
    Count(reply.data(), 0, sent_at);
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
    request.Status = ExchangeStatus::PortLost;
    Count(reply.data(), 0, sent_at);
    return;
  }
  const size_t length = StripReplyZeros(reply.data(), received, expected);
  request.Status = CheckReply(reply.data(), length, expected, frame.data());
  Count(reply.data(), length, sent_at);
  // Nothing heard, or a whole frame that answers something else: the
  // try's own reply may still come. A damaged reply (CRC, length) was its
  // own, and settling takes what is left of it.
  const ExchangeStatus s = request.Status;
  if (s == ExchangeStatus::Timeout || s == ExchangeStatus::WrongAddress ||
      s == ExchangeStatus::UnsupportedFunction ||
      (s == ExchangeStatus::DataLost && length == expected)) {
    ++owed_replies;
    owed_until = std::chrono::steady_clock::now() +
                 std::chrono::milliseconds(port.GetTimeouts().ReadConstant);
  }
}

// The same try in MBAP frames: the trace shows them as they go over the
// wire; the reply is checked in its RTU form.
void ExchangeThread::State::RunMbapTry(size_t frame_length, size_t expected) {
  port.Purge();
  ++transaction;
  const size_t length = MbapFromRtu(transaction, frame.data(), frame_length, wire.data());
  const uint32_t sent = port.Write(wire.data(), length);
  const auto sent_at = std::chrono::steady_clock::now();
  Trace("out: ", wire.data(), sent);
  if (port.Lost()) {  // the connection has dropped
    request.Status = ExchangeStatus::PortLost;
    Count(reply.data(), 0, sent_at);
    return;
  }
  const size_t received = ReadMbapReply(transaction);
  Trace("in:  ", wire.data(), received);
  if (port.Lost()) {
    request.Status = ExchangeStatus::PortLost;
    Count(reply.data(), 0, sent_at);
    return;
  }

  reply.fill(0);
  const MbapReply found = RtuFromMbap(wire.data(), received, transaction, reply.data());
  if (found.rtu_length > 0) {
    request.Status = CheckReply(reply.data(), found.rtu_length, expected, frame.data());
  } else {
    request.Status = found.malformed ? ExchangeStatus::DataLost : ExchangeStatus::Timeout;
  }
  Count(reply.data(), found.rtu_length, sent_at);
}

// Reads until the reply to the transaction is in or the line stays silent
// for a whole read. A stale reply of an earlier try that arrives first does
// not end the wait: another read follows while the answer timeout, counted
// from the first read, has not passed (so the wait is at most twice it).
size_t ExchangeThread::State::ReadMbapReply(uint16_t awaited) {
  const Deadline until = Deadline::After(port.GetTimeouts().ReadConstant);
  size_t count = 0;
  for (;;) {
    const uint32_t n =
        port.Read(wire.data() + count, wire.size() - count, [&](const uint8_t*, size_t got) {
          return HasMbapReply(wire.data(), count + got, awaited);
        });
    count += n;
    if (n == 0 || count == wire.size() || HasMbapReply(wire.data(), count, awaited)) break;
    const MbapReply seen = RtuFromMbap(wire.data(), count, awaited, reply.data());
    if (seen.malformed || until.Passed()) break;
  }
  return count;
}

void ExchangeThread::State::HandOver() {
  executor.RunAndWait([this] {
    // Once the connection is stopping, the handler must not start anything new.
    if (terminating) return;
    in_handler = true;
    exchange_completed();
    in_handler = false;
  });
}

ExchangeThread::ExchangeThread(Port& port, ExchangeRequest& request, MainThreadExecutor& executor,
                               std::function<void()> exchange_completed, ExchangeTrace* trace)
    : state_(
          std::make_shared<State>(port, request, executor, std::move(exchange_completed), trace)) {
  state_->thread = std::thread([state = state_] { state->Run(); });
}

ExchangeThread::~ExchangeThread() {
  Terminate();
  if (state_->thread.joinable()) {
    // Only when destroyed from inside its own handler: the thread ends as soon
    // as the handler returns and keeps its state alive until then.
    state_->thread.detach();
  }
}

void ExchangeThread::Wake() {
  std::lock_guard lock(state_->mutex);
  state_->awake = true;
  state_->wake.notify_all();
}

void ExchangeThread::Sleep() {
  std::lock_guard lock(state_->mutex);
  state_->awake = false;
  state_->operation_begins = true;
}

bool ExchangeThread::IsSleeping() const {
  std::lock_guard lock(state_->mutex);
  return !state_->awake;
}

void ExchangeThread::Terminate() {
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

std::string ExchangeThread::PortName() const {
  return state_->port.Name();
}

void ExchangeThread::SetEarlyFrameEnd(bool on) {
  state_->early_frame_end = on;
}

void ExchangeThread::SetWireFraming(WireFraming framing) {
  state_->framing = framing;
}

void ExchangeThread::SetStatistics(LineStatistics* statistics) {
  state_->statistics = statistics;
}

}  // namespace flovir
