#include "platform/dispatcher.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

using kv::platform::ManualDispatcher;

TEST(ManualDispatcher, RunsTasksInOrderIncludingNestedOnesAndRefusesAfterClose) {
  ManualDispatcher d;
  std::vector<int> seen;
  d.Post([&] {
    seen.push_back(1);
    d.Post([&] { seen.push_back(3); });
  });
  d.Post([&] { seen.push_back(2); });
  EXPECT_EQ(d.Pending(), 2u);
  EXPECT_EQ(d.RunPending(), 3);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
  d.Close();
  EXPECT_FALSE(d.Post([&] { seen.push_back(4); }));
  EXPECT_EQ(d.RunPending(), 0);
}

TEST(ManualDispatcher, AcceptsPostsFromOtherThreads) {
  ManualDispatcher d;
  int count = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i)
        d.Post([&] { ++count; });
    });
  for (auto &t : threads)
    t.join();
  d.RunPending();
  EXPECT_EQ(count, 400);
}
