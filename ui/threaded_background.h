#pragma once
// The window's Background: each piece of work on a thread of its own, its
// `done` queued back to the GUI thread. Destroying it waits for work still
// running and drops what would have followed it.

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "operations/background.h"

class QThread;

namespace flovir::ui {

class ThreadedBackground : public QObject, public Background {
  Q_OBJECT
 public:
  ThreadedBackground();
  ~ThreadedBackground() override;

  void Run(std::function<void()> work, std::function<void()> done) override;

 private:
  std::vector<QThread*> running_;
};

}  // namespace flovir::ui
