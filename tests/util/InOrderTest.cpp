// Work handed out to a pool and taken back in order: what the owner sees must be
// what one thread doing everything in turn shows, with memory bounded and a stop
// that does not wait for the work still queued.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/SystemInfo.h"
#include "util/InOrder.h"
#include "util/WorkerPool.h"

namespace util {
namespace {

using std::chrono::milliseconds;

// Items with uneven work and plain actions between them, taken back with and without a pool.
std::vector<std::string> RunMixed(TWorkerPool* pool) {
  std::vector<std::string> seen;
  TInOrder inOrder(pool, 3, 1 << 20);
  std::mt19937 random(7);
  for (int i = 0; i < 60; ++i) {
    const int pause = static_cast<int>(random() % 4);
    auto result = std::make_shared<int>(0);
    inOrder.Add([pause, result, i] {
      std::this_thread::sleep_for(milliseconds(pause));
      *result = i * i;
    },
                [&seen, result, i](bool ran) {
                  seen.push_back("file " + std::to_string(i) + "=" + std::to_string(*result) + (ran ? "" : " skipped"));
                },
                1000);
    if (i % 7 == 0) inOrder.Then([&seen, i] { seen.push_back("log " + std::to_string(i)); });
    if (i % 5 == 0) inOrder.Collect();
  }
  inOrder.Then([&seen] { seen.push_back("end"); });
  inOrder.Drain();
  return seen;
}

TEST(InOrderTest, HandsBackInTheOrderOneThreadGives) {
  const std::vector<std::string> single = RunMixed(nullptr);
  ASSERT_EQ(single.size(), 60u + 9u + 1u);
  for (const std::size_t threads : {1u, 2u, 5u}) {
    TWorkerPool pool(threads);
    EXPECT_EQ(RunMixed(&pool), single) << threads << " workers";
  }
}

TEST(InOrderTest, HoldsNoMoreThanItsBoundsAtOnce) {
  struct Case {
    std::size_t maxPending;
    std::int64_t maxBytes, bytesEach;
    int mostWaiting;
  };
  for (const Case c : {Case{4, 1 << 30, 10, 4}, Case{16, 3000, 1000, 3}, Case{16, 500, 1000, 1}}) {
    TWorkerPool pool(4);
    TInOrder inOrder(&pool, c.maxPending, c.maxBytes);
    int waiting = 0, most = 0;
    for (int i = 0; i < 40; ++i) {
      inOrder.Add([] { std::this_thread::sleep_for(milliseconds(1)); }, [&](bool) { --waiting; }, c.bytesEach);
      most = std::max(most, ++waiting);
    }
    inOrder.Drain();
    EXPECT_EQ(waiting, 0);
    EXPECT_LE(most, c.mostWaiting) << c.maxPending << " items, " << c.maxBytes << " bytes";
    EXPECT_GE(most, 1);
  }
}

TEST(InOrderTest, StopSkipsTheWorkNotBegunAndKeepsTheOrder) {
  TWorkerPool pool(2);
  TInOrder inOrder(&pool, 8, 1 << 20);
  bool stopped = false;
  inOrder.SetStopped([&] { return stopped; });
  std::atomic<int> begun = 0;
  std::vector<int> ran, skipped;
  for (int i = 0; i < 8; ++i) {
    inOrder.Add([&begun] {
      ++begun;
      std::this_thread::sleep_for(milliseconds(150));
    },
                [&, i](bool done) { (done ? ran : skipped).push_back(i); }, 1);
  }
  while (begun < 2) std::this_thread::sleep_for(milliseconds(1));
  stopped = true;
  inOrder.Add([] { ADD_FAILURE() << "work added after a stop ran"; }, [&](bool done) { (done ? ran : skipped).push_back(8); },
              1);
  const auto start = std::chrono::steady_clock::now();
  inOrder.Drain();
  // Only the two pictures already in hand are waited for.
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(150 + 350));
  EXPECT_EQ(ran, (std::vector<int>{0, 1}));
  EXPECT_EQ(skipped, (std::vector<int>{2, 3, 4, 5, 6, 7, 8}));
}

TEST(InOrderTest, ThrownWorkComesBackInItsTurn) {
  TWorkerPool pool(3);
  TInOrder inOrder(&pool, 4, 1 << 20);
  std::vector<int> done;
  const auto run = [&] {
    for (int i = 0; i < 6; ++i) {
      inOrder.Add([i] {
        if (i == 3) throw std::runtime_error("bad picture");
      },
                  [&done, i](bool) { done.push_back(i); }, 1);
    }
    inOrder.Drain();
  };
  EXPECT_THROW(run(), std::runtime_error);
  EXPECT_EQ(done, (std::vector<int>{0, 1, 2}));
}

TEST(InOrderTest, ActionsFromATakenBackItemRunAtOnce) {
  TWorkerPool pool(2);
  TInOrder inOrder(&pool, 4, 1 << 20);
  std::vector<std::string> seen;
  inOrder.Add([] { std::this_thread::sleep_for(milliseconds(5)); },
              [&](bool) {
                seen.emplace_back("file");
                inOrder.Then([&] { seen.emplace_back("its log line"); });
              },
              1);
  inOrder.Then([&] { seen.emplace_back("next step"); });
  inOrder.Drain();
  EXPECT_EQ(seen, (std::vector<std::string>{"file", "its log line", "next step"}));
}

TEST(ThreadSettingTest, TakesTheSettingOrTheProcessors) {
  struct Case {
    const char* text;
    std::size_t processors;
    bool window;
    std::size_t workers;
  };
  const Case cases[] = {
      {nullptr, 4, false, 4}, {nullptr, 4, true, 3},  {nullptr, 1, true, 1}, {nullptr, 0, false, 1},
      {"1", 8, false, 0},     {"3", 8, true, 3},      {"0", 2, false, 2},    {"many", 2, true, 1},
      {"2x", 2, false, 2},    {"", 2, false, 2},      {"-1", 2, false, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::ParseThreadSetting(c.text, c.processors, c.window), c.workers)
        << (c.text ? c.text : "(unset)") << " on " << c.processors;
  }
}

}  // namespace
}  // namespace util
