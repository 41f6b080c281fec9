#pragma once
// The main-thread executor of the window. The exchange thread's hand-over to
// ExchangeCompleted is queued to the GUI thread and blocks the exchange
// thread until the handler has returned.
//
// The exchange thread never calls into Qt: it queues the task under a
// std::mutex and rings an eventfd that a QSocketNotifier watches on the GUI
// thread. The hand-over is thus ordered by primitives that ThreadSanitizer
// sees, and Qt (not built for it) stays on one thread. (Other systems fall
// back to a queued call for the wake-up.)

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "link/executor.h"

class QSocketNotifier;

namespace flovir::ui {

class QtExecutor : public QObject, public MainThreadExecutor {
  Q_OBJECT
 public:
  explicit QtExecutor(QObject* parent = nullptr);
  ~QtExecutor() override;

  void RunAndWait(const std::function<void()>& task) override;
  // Repaints and timers, but no user input: a click cannot start a second
  // operation or re-enter a handler in the middle of a step. Input that
  // arrives meanwhile is handled once the step has returned. Nested calls
  // do nothing more than run queued hand-overs.
  void ProcessPendingEvents() override;

 private:
  struct Pending {
    const std::function<void()>* task;
    bool done = false;
  };
  // Tells the GUI thread that a hand-over waits (any thread).
  void Wake();
  void RunQueued();

  int wake_fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  std::mutex mutex_;
  std::condition_variable done_;
  std::deque<Pending*> queue_;
  bool running_queue_ = false;
  bool processing_ = false;
};

}  // namespace flovir::ui
