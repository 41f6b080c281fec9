#include "link/executor.h"

#include <chrono>

namespace flovir {

QueueExecutor::QueueExecutor() : main_thread_(std::this_thread::get_id()) {}

bool QueueExecutor::OnMainThread() const {
  return std::this_thread::get_id() == main_thread_;
}

void QueueExecutor::RunAndWait(const std::function<void()>& task) {
  if (OnMainThread()) {
    task();
    return;
  }
  std::mutex done_mutex;
  std::condition_variable done_cv;
  bool done = false;
  Post([&] {
    task();
    std::lock_guard lock(done_mutex);
    done = true;
    done_cv.notify_one();
  });
  std::unique_lock lock(done_mutex);
  done_cv.wait(lock, [&] { return done; });
}

void QueueExecutor::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void QueueExecutor::Notify() {
  { std::lock_guard lock(mutex_); }
  wake_.notify_all();
}

void QueueExecutor::RunPending(std::unique_lock<std::mutex>& lock) {
  while (!tasks_.empty()) {
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    lock.lock();
  }
}

void QueueExecutor::ProcessPendingEvents() {
  std::unique_lock lock(mutex_);
  RunPending(lock);
}

bool QueueExecutor::RunUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::unique_lock lock(mutex_);
  for (;;) {
    RunPending(lock);
    lock.unlock();
    const bool finished = done();
    lock.lock();
    if (finished) return true;
    if (!tasks_.empty()) continue;
    if (timeout_ms <= 0) {
      wake_.wait(lock);
    } else if (wake_.wait_until(lock, deadline) == std::cv_status::timeout && tasks_.empty()) {
      lock.unlock();
      const bool finished_late = done();
      lock.lock();
      return finished_late;
    }
  }
}

}  // namespace flovir
