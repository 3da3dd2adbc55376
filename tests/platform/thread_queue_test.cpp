#include "platform/thread_queue.h"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "test_support.h"

using kv::platform::MessageObject;
using kv::platform::ThreadMessage;
using kv::platform::ThreadQueue;

namespace {

struct Tracked : MessageObject {
  explicit Tracked(int *alive) : alive(alive) { ++*alive; }
  ~Tracked() override { --*alive; }
  int *alive;
};

ThreadMessage Msg(uint32_t n, int64_t w = 0, std::unique_ptr<MessageObject> obj = nullptr) {
  return ThreadMessage{n, w, 0, std::move(obj)};
}

} // namespace

TEST(ThreadQueue, RefusesUntilOpenedAndAfterClosingFreeingWhatItRefusesOrHolds) {
  ThreadQueue q;
  int alive = 0;
  EXPECT_FALSE(q.Accepting());
  EXPECT_FALSE(q.Post(Msg(1, 0, std::make_unique<Tracked>(&alive))));
  EXPECT_EQ(alive, 0);
  q.Open();
  EXPECT_TRUE(q.Post(Msg(2, 0, std::make_unique<Tracked>(&alive))));
  EXPECT_TRUE(q.Post(Msg(3, 0, std::make_unique<Tracked>(&alive))));
  EXPECT_EQ(alive, 2);
  EXPECT_EQ(q.Size(), 2u);
  q.Close();
  EXPECT_EQ(alive, 0);
  EXPECT_FALSE(q.Post(Msg(4, 0, std::make_unique<Tracked>(&alive))));
  q.Open(); // a closed queue stays closed
  EXPECT_FALSE(q.Accepting());
  EXPECT_EQ(alive, 0);
}

TEST(ThreadQueue, HandsOverInOrderAndTheReceiverOwnsTheObject) {
  ThreadQueue q;
  q.Open();
  int alive = 0;
  for (int i = 0; i < 3; ++i)
    q.Post(Msg(100 + i, i, std::make_unique<Tracked>(&alive)));
  ThreadMessage m;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(q.Peek(m));
    EXPECT_EQ(m.Message, 100u + i);
    EXPECT_EQ(m.WParam, i);
  }
  EXPECT_EQ(alive, 1); // the last one taken is still held by `m`
  EXPECT_FALSE(q.Peek(m));
  m = ThreadMessage{};
  EXPECT_EQ(alive, 0);
}

TEST(ThreadQueue, WaitReturnsOnAPostFromAnotherThreadOrOnTimeOut) {
  ThreadQueue q;
  q.Open();
  ThreadMessage m;
  EXPECT_FALSE(q.Wait(m, std::chrono::milliseconds(5)));
  std::thread t([&] { q.Post(Msg(7)); });
  EXPECT_TRUE(q.Wait(m, std::chrono::seconds(10)));
  EXPECT_EQ(m.Message, 7u);
  t.join();
  std::thread closer([&] { q.Close(); });
  EXPECT_FALSE(q.Wait(m, std::chrono::seconds(10)));
  closer.join();
}

TEST(ThreadQueue, ManyPostersLoseNothingAndKeepEachPostersOrder) {
  ThreadQueue q;
  q.Open();
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i)
        q.Post(Msg(static_cast<uint32_t>(t), i));
    });
  std::vector<int64_t> last(4, -1);
  int received = 0;
  ThreadMessage m;
  while (received < 2000 && q.Wait(m, std::chrono::seconds(10))) {
    EXPECT_EQ(m.WParam, last[m.Message] + 1);
    last[m.Message] = m.WParam;
    ++received;
  }
  for (auto &t : posters)
    t.join();
  EXPECT_EQ(received, 2000);
}
