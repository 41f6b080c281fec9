#pragma once
// Work an operation hands off the main thread at its end: saving the archive
// workbook, reading it back and building its table. The window runs it on a
// thread of its own, so that it never waits; without one (flovir-cli, the
// tests) it runs at once, in the same order.

#include <functional>

namespace flovir {

class Background {
 public:
  virtual ~Background() = default;
  // Runs `work` on another thread, then `done` on the main thread. `work`
  // must not call View, which lives on the main thread.
  virtual void Run(std::function<void()> work, std::function<void()> done) = 0;
};

}  // namespace flovir
