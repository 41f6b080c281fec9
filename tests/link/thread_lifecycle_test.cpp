// The exchange thread's life: sleeping, woken, handing over to the main
// thread, chained requests, and every way of ending it without a deadlock.
// A port in memory keeps these independent of the line's timing.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "link/exchange_thread.h"
#include "link/trace.h"
#include "tests/link/pty_peer.h"

namespace flovir::test {
namespace {

using namespace std::chrono_literals;

// Answers every read request with register values equal to the register
// number, or blocks in Read until released when told to.
class MemoryPort : public Port {
 public:
  bool IsOpen() const override { return true; }
  LineSettings GetLineSettings() override { return {}; }
  bool SetLineSettings(const LineSettings&) override { return true; }
  bool SetTimeouts(const PortTimeouts&) override { return true; }
  PortTimeouts GetTimeouts() const override { return {}; }
  void Purge() override {}
  uint32_t Write(const uint8_t* data, size_t count) override {
    std::lock_guard lock(mutex_);
    last_.assign(data, data + count);
    ++writes_;
    return static_cast<uint32_t>(count);
  }
  uint32_t Read(uint8_t* data, size_t, const ReadComplete&) override {
    std::unique_lock lock(mutex_);
    if (block_) {
      reading_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return !block_; });
      reading_ = false;
      return 0;
    }
    const uint16_t start = Word(last_, 2);
    const uint16_t count = Word(last_, 4);
    std::vector<uint16_t> values;
    for (uint16_t k = 0; k < count; ++k) values.push_back(start + k);
    const Bytes reply = ReadReply(last_[0], values);
    std::copy(reply.begin(), reply.end(), data);
    return static_cast<uint32_t>(reply.size());
  }
  uint32_t BytesTransferred() const override { return 0; }

  void Block() {
    std::lock_guard lock(mutex_);
    block_ = true;
  }
  void WaitUntilReading() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return reading_; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    block_ = false;
    changed_.notify_all();
  }
  int Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Bytes last_;
  int writes_ = 0;
  bool block_ = false;
  bool reading_ = false;
};

void FillRead(ExchangeRequest& r, uint16_t start, uint16_t count, uint8_t* data) {
  r.SlaveAddress = 1;
  r.FunctionCode = 3;
  r.StartRegister = start;
  r.RegisterCount = count;
  r.ChunkSize = 64;
  r.Attempts = 3;
  r.DataCursor = data;
}

TEST(ThreadLifecycle, CreatedSleepingAndSleepsAgainWhenTheHandlerSaysSo) {
  MemoryPort port;
  ExchangeRequest request;
  QueueExecutor executor;
  std::unique_ptr<ExchangeThread> thread;
  bool done = false;
  bool sleeping_in_handler = true;
  thread = std::make_unique<ExchangeThread>(port, request, executor, [&] {
    sleeping_in_handler = thread->IsSleeping();
    thread->Sleep();
    done = true;
  });
  EXPECT_TRUE(thread->IsSleeping());
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(port.Writes(), 0) << "a sleeping thread sends nothing";

  uint8_t data[4];
  FillRead(request, 5, 2, data);
  thread->Wake();
  EXPECT_FALSE(thread->IsSleeping());
  ASSERT_TRUE(executor.RunUntil([&] { return done; }, 60000));
  EXPECT_FALSE(sleeping_in_handler);
  EXPECT_TRUE(thread->IsSleeping());
  EXPECT_EQ(data[0], 5);
  EXPECT_EQ(data[2], 6);
}

TEST(ThreadLifecycle, TheHandlerChainsTheNextRequestsOfAnOperation) {
  MemoryPort port;
  ExchangeRequest request;
  QueueExecutor executor;
  std::vector<uint8_t> data(6);
  std::unique_ptr<ExchangeThread> thread;
  int step = 0;
  bool done = false;
  thread = std::make_unique<ExchangeThread>(port, request, executor, [&] {
    ASSERT_EQ(request.Status, ExchangeStatus::Success);
    if (++step < 3) {
      request.StartRegister = static_cast<uint16_t>(100 * step);
      request.RegisterCount = 1;  // DataCursor has moved on by itself
      return;
    }
    thread->Sleep();
    done = true;
  });
  FillRead(request, 0, 1, data.data());
  thread->Wake();
  ASSERT_TRUE(executor.RunUntil([&] { return done; }, 60000));
  EXPECT_EQ(data, (std::vector<uint8_t>{0, 0, 100, 0, 200, 0}));
}

TEST(ThreadLifecycle, TerminateWhileSleeping) {
  MemoryPort port;
  ExchangeRequest request;
  QueueExecutor executor;
  ExchangeThread thread(port, request, executor, [] {});
  thread.Terminate();
  thread.Terminate();  // twice is harmless
  EXPECT_EQ(port.Writes(), 0);
}

// The thread has finished a request and waits for the main thread, which
// does not run its queue but stops the connection instead.
TEST(ThreadLifecycle, TerminateWhileTheThreadWaitsInTheHandOver) {
  MemoryPort port;
  ExchangeRequest request;
  QueueExecutor executor;
  std::atomic<int> handler_calls{0};
  ExchangeThread thread(port, request, executor, [&] { ++handler_calls; });
  uint8_t data[2];
  FillRead(request, 0, 1, data);
  thread.Wake();
  while (port.Writes() == 0) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(20ms);
  thread.Terminate();
  EXPECT_EQ(handler_calls, 0) << "no handler runs once the connection stops";
}

TEST(ThreadLifecycle, TerminateWhileAReadBlocksEndsOnceThePortLetsGo) {
  MemoryPort port;
  port.Block();
  ExchangeRequest request;
  QueueExecutor executor;
  std::atomic<int> handler_calls{0};
  auto thread = std::make_unique<ExchangeThread>(port, request, executor, [&] { ++handler_calls; });
  uint8_t data[2];
  FillRead(request, 0, 1, data);
  thread->Wake();
  port.WaitUntilReading();
  std::thread closer([&] {
    std::this_thread::sleep_for(30ms);
    port.Release();  // what closing the serial port does to a read
  });
  thread->Terminate();
  closer.join();
  EXPECT_EQ(port.Writes(), 1) << "no further try after the stop";
  EXPECT_EQ(handler_calls, 0);
}

TEST(ThreadLifecycle, TerminateFromInsideTheHandlerDoesNotDeadlock) {
  MemoryPort port;
  ExchangeRequest request;
  QueueExecutor executor;
  std::unique_ptr<ExchangeThread> thread;
  int handler_calls = 0;
  thread = std::make_unique<ExchangeThread>(port, request, executor, [&] {
    ++handler_calls;
    request.RegisterCount = 1;  // leaves another request, then stops
    thread->Terminate();
  });
  uint8_t data[2];
  FillRead(request, 0, 1, data);
  thread->Wake();
  ASSERT_TRUE(executor.RunUntil([&] { return handler_calls == 1; }, 60000));
  thread.reset();  // joins the thread that has left after the handler
  EXPECT_EQ(handler_calls, 1);
  EXPECT_EQ(port.Writes(), 1);
}

TEST(ThreadLifecycle, DestroyingTheObjectEndsAWokenThread) {
  MemoryPort port;
  ExchangeRequest request;
  QueueExecutor executor;
  {
    ExchangeThread thread(port, request, executor, [] {});
    uint8_t data[2];
    FillRead(request, 0, 1, data);
    thread.Wake();
  }
  SUCCEED();
}

TEST(ThreadLifecycle, SeveralLinksRunAtOnce) {
  constexpr int kLinks = 4;
  MemoryPort ports[kLinks];
  ExchangeRequest requests[kLinks];
  QueueExecutor executor;
  std::vector<std::unique_ptr<ExchangeThread>> threads;
  std::vector<std::vector<uint8_t>> data(kLinks, std::vector<uint8_t>(200));
  int done = 0;
  for (int i = 0; i < kLinks; ++i) {
    threads.push_back(std::make_unique<ExchangeThread>(ports[i], requests[i], executor, [&, i] {
      threads[i]->Sleep();
      ++done;
    }));
    FillRead(requests[i], static_cast<uint16_t>(1000 * i), 100, data[i].data());
  }
  for (auto& t : threads) t->Wake();
  ASSERT_TRUE(executor.RunUntil([&] { return done == kLinks; }, 60000));
  for (int i = 0; i < kLinks; ++i) {
    EXPECT_EQ(data[i][0] | data[i][1] << 8, 1000 * i);
    EXPECT_EQ(data[i][198] | data[i][199] << 8, 1000 * i + 99);
  }
}

}  // namespace
}  // namespace flovir::test
