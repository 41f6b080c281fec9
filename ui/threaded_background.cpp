#include "ui/threaded_background.h"

#include <QMetaObject>

namespace flovir::ui {

ThreadedBackground::ThreadedBackground() = default;

ThreadedBackground::~ThreadedBackground() {
  // A queued Reap goes with this object.
  for (auto& [id, job] : running_) job.thread.join();
}

void ThreadedBackground::Run(std::function<void()> work, std::function<void()> done) {
  const uint64_t id = next_++;
  Job& job = running_[id];
  job.done = std::move(done);
  job.thread = std::thread([this, id, work = std::move(work)] {
    work();
    {
      std::lock_guard lock(mutex_);
      finished_.push_back(id);
    }
    QMetaObject::invokeMethod(this, "Reap", Qt::QueuedConnection);
  });
}

void ThreadedBackground::Reap() {
  std::vector<uint64_t> finished;
  {
    std::lock_guard lock(mutex_);
    finished.swap(finished_);
  }
  for (const uint64_t id : finished) {
    auto node = running_.extract(id);
    if (node.empty()) continue;
    node.mapped().thread.join();
    node.mapped().done();
  }
}

}  // namespace flovir::ui
