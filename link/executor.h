#pragma once
// How the exchange thread hands work to the main thread. The window runs a
// function on its event loop with a blocking queued call; the command-line
// tool and the tests use QueueExecutor below.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace flovir {

class MainThreadExecutor {
 public:
  virtual ~MainThreadExecutor() = default;
  // Runs task on the main thread and returns when it has run. Called from
  // the exchange thread; calling it on the main thread runs task directly.
  virtual void RunAndWait(const std::function<void()>& task) = 0;
  // Lets the main thread handle what is pending (repaints, clicks) in the
  // middle of a long step. Called on the main thread.
  virtual void ProcessPendingEvents() = 0;
};

// A plain task queue drained by the thread that created it (the "main"
// thread of a test or of flovir-cli).
class QueueExecutor : public MainThreadExecutor {
 public:
  QueueExecutor();
  void RunAndWait(const std::function<void()>& task) override;
  void ProcessPendingEvents() override;

  // Runs queued tasks until done() is true, checking it after every task and
  // whenever woken by Notify(). Returns false when timeout_ms passed first
  // (0 waits without a limit).
  bool RunUntil(const std::function<bool()>& done, int timeout_ms = 0);
  // Wakes RunUntil so it checks its condition again.
  void Notify();
  // Posts a task without waiting for it.
  void Post(std::function<void()> task);

 private:
  bool OnMainThread() const;
  void RunPending(std::unique_lock<std::mutex>& lock);

  std::thread::id main_thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace flovir
