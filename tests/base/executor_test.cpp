#include "link/executor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace flovir {
namespace {

TEST(QueueExecutor, RunsWorkerTasksOnTheMainThreadAndWaits) {
  QueueExecutor executor;
  const auto main_id = std::this_thread::get_id();
  std::atomic<int> ran{0};
  std::thread::id seen;
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      executor.RunAndWait([&] {
        seen = std::this_thread::get_id();
        ++ran;
      });
    }
  });
  EXPECT_TRUE(executor.RunUntil([&] { return ran == 100; }, 10000));
  worker.join();
  EXPECT_EQ(seen, main_id);
}

TEST(QueueExecutor, RunUntilGivesUpAfterItsTimeout) {
  QueueExecutor executor;
  EXPECT_FALSE(executor.RunUntil([] { return false; }, 20));
}

}  // namespace
}  // namespace flovir
