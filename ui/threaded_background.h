#pragma once
// The window's Background: each piece of work on a std::thread of its own,
// its `done` queued back to the GUI thread, which joins the thread before it
// runs `done` (so the hand-over is ordered by a join that ThreadSanitizer
// sees). Destroying it waits for work still running and drops what would
// have followed it.

#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <thread>

#include "operations/background.h"

namespace flovir::ui {

class ThreadedBackground : public QObject, public Background {
  Q_OBJECT
 public:
  ThreadedBackground();
  ~ThreadedBackground() override;

  void Run(std::function<void()> work, std::function<void()> done) override;

 private:
  std::map<uint64_t, std::thread> running_;  // GUI thread only
  uint64_t next_ = 0;
};

}  // namespace flovir::ui
