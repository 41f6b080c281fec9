#pragma once
// The window's Background: each piece of work on a std::thread of its own.
// A finished thread names itself under a std::mutex and asks the GUI thread
// to reap it; the GUI thread joins it before it runs its `done`, so the
// hand-over is ordered by primitives ThreadSanitizer sees (Qt, not built
// for it, only carries the wake-up). Destroying it waits for work still
// running and drops what would have followed it.

#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "operations/background.h"

namespace flovir::ui {

class ThreadedBackground : public QObject, public Background {
  Q_OBJECT
 public:
  ThreadedBackground();
  ~ThreadedBackground() override;

  void Run(std::function<void()> work, std::function<void()> done) override;

 private:
  // GUI thread: joins the finished threads and runs their `done`s.
  Q_INVOKABLE void Reap();

  struct Job {
    std::thread thread;
    std::function<void()> done;
  };
  std::map<uint64_t, Job> running_;  // GUI thread only
  uint64_t next_ = 0;
  std::mutex mutex_;
  std::vector<uint64_t> finished_;  // under mutex_
};

}  // namespace flovir::ui
