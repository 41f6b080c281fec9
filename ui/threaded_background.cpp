#include "ui/threaded_background.h"

#include <QMetaObject>

namespace flovir::ui {

ThreadedBackground::ThreadedBackground() = default;

ThreadedBackground::~ThreadedBackground() {
  // The queued `done`s go with this object.
  for (auto& [id, thread] : running_) thread.join();
}

void ThreadedBackground::Run(std::function<void()> work, std::function<void()> done) {
  const uint64_t id = next_++;
  running_[id] = std::thread([this, id, work = std::move(work), done = std::move(done)] {
    work();
    QMetaObject::invokeMethod(
        this,
        [this, id, done] {
          auto finished = running_.extract(id);
          finished.mapped().join();
          done();
        },
        Qt::QueuedConnection);
  });
}

}  // namespace flovir::ui
