#pragma once
// One thread that runs the history's writes in the order they were posted,
// so that a window never waits for the file: another program (a nightly
// collection) may hold SQLite's write lock for seconds, and the window must
// go on drawing meanwhile.
//
//   StoreWriter writer;
//   writer.Post([&] { store.PutEntry(id, entry); });
//   writer.Drain();  // everything posted so far has run
//
// The destructor runs what is still posted, then ends the thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace flovir::history {

class StoreWriter {
 public:
  StoreWriter();
  ~StoreWriter();
  StoreWriter(const StoreWriter&) = delete;
  StoreWriter& operator=(const StoreWriter&) = delete;

  void Post(std::function<void()> work);
  // Waits until everything posted before has run.
  void Drain();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable posted_, drained_;
  std::deque<std::function<void()>> queue_;
  bool running_work_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once the rest is ready
};

}  // namespace flovir::history
