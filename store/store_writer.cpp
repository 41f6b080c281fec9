#include "store/store_writer.h"

namespace flovir::history {

StoreWriter::StoreWriter() : thread_([this] { Run(); }) {}

StoreWriter::~StoreWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  posted_.notify_one();
  thread_.join();
}

void StoreWriter::Post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
  }
  posted_.notify_one();
}

void StoreWriter::Drain() {
  std::unique_lock lock(mutex_);
  drained_.wait(lock, [this] { return queue_.empty() && !running_work_; });
}

void StoreWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    posted_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, with nothing left to write
    std::function<void()> work = std::move(queue_.front());
    queue_.pop_front();
    running_work_ = true;
    lock.unlock();
    work();
    lock.lock();
    running_work_ = false;
    if (queue_.empty()) drained_.notify_all();
  }
}

}  // namespace flovir::history
