#include "ui/qt_executor.h"

#ifdef __linux__
#include <sys/eventfd.h>
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <cstdint>

namespace flovir::ui {

QtExecutor::QtExecutor(QObject* parent) : QObject(parent) {
#ifdef __linux__
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  notifier_ = new QSocketNotifier(wake_fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(wake_fd_, &count, sizeof count);
    RunQueued();
  });
#endif
}

QtExecutor::~QtExecutor() {
  delete notifier_;
#ifdef __linux__
  if (wake_fd_ >= 0) close(wake_fd_);
#endif
}

void QtExecutor::Wake() {
#ifdef __linux__
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t put = write(wake_fd_, &one, sizeof one);
#else
  // Elsewhere a queued call wakes the GUI thread (the exchange thread then
  // enters Qt's event queue, which ThreadSanitizer cannot follow).
  QMetaObject::invokeMethod(this, &QtExecutor::RunQueued, Qt::QueuedConnection);
#endif
}

void QtExecutor::RunAndWait(const std::function<void()>& task) {
  if (QThread::currentThread() == thread()) {
    task();
    return;
  }
  Pending pending{&task};
  std::unique_lock lock(mutex_);
  queue_.push_back(&pending);
  Wake();
  done_.wait(lock, [&] { return pending.done; });
}

void QtExecutor::RunQueued() {
  if (running_queue_) return;  // a hand-over's handler pumping events
  running_queue_ = true;
  std::unique_lock lock(mutex_);
  while (!queue_.empty()) {
    Pending* pending = queue_.front();
    queue_.pop_front();
    lock.unlock();
    (*pending->task)();
    lock.lock();
    pending->done = true;
    done_.notify_all();
  }
  running_queue_ = false;
}

void QtExecutor::ProcessPendingEvents() {
  RunQueued();
  if (processing_) return;
  processing_ = true;
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  processing_ = false;
}

}  // namespace flovir::ui
