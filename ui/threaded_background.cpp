#include "ui/threaded_background.h"

#include <QThread>
#include <algorithm>

namespace flovir::ui {

ThreadedBackground::ThreadedBackground() = default;

ThreadedBackground::~ThreadedBackground() {
  for (QThread* thread : running_) {
    thread->disconnect(this);
    thread->wait();
    delete thread;
  }
}

void ThreadedBackground::Run(std::function<void()> work, std::function<void()> done) {
  QThread* thread = QThread::create(std::move(work));
  running_.push_back(thread);
  // finished comes from the thread; the connection queues it to ours.
  connect(thread, &QThread::finished, this, [this, thread, done = std::move(done)] {
    running_.erase(std::find(running_.begin(), running_.end(), thread));
    thread->wait();
    delete thread;
    done();
  });
  thread->start();
}

}  // namespace flovir::ui
