#include "util/KtCriticalSection.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/testing/TestEnv.h"
#include "util/auto_handle.h"

namespace {

using tarnalert::testing::ScopedEnv;

// Takes `section` from another thread without waiting; true when it was free.
bool FreeElsewhere(KtCriticalSection& section) {
  bool taken = false;
  std::thread([&] {
    taken = section.enter(false);
    if (taken) section.leave();
  }).join();
  return taken;
}

TEST(KtCriticalSectionTest, GuardHoldsItsSectionForItsScopeOnly) {
  KtCriticalSection section;
  ASSERT_TRUE(FreeElsewhere(section));
  {
    KtCriticalSectionLock guard(&section);
    EXPECT_FALSE(FreeElsewhere(section));
  }
  EXPECT_TRUE(FreeElsewhere(section));
}

TEST(KtCriticalSectionTest, GuardOnNullSectionDoesNothing) {
  KtCriticalSection untouched;
  { KtCriticalSectionLock guard(nullptr); }
  EXPECT_TRUE(FreeElsewhere(untouched));
}

TEST(KtCriticalSectionTest, ExcludesThreads) {
  KtCriticalSection section;
  long counter = 0;  // not atomic: only the lock keeps the sum exact
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        KtCriticalSectionLock guard(&section);
        ++counter;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counter, 4 * 20000);
}

// Records the descriptors closed instead of closing them.
class CloseRecorder : public tarnalert::EnvWrapper {
 public:
  CloseRecorder() : EnvWrapper(tarnalert::Env::Default()) {}
  int CloseFile(int fd) override {
    closed.push_back(fd);
    return 0;
  }
  std::vector<int> closed;
};

TEST(AutoHandleTest, ClosesOnlyValidDescriptors) {
  struct Case {
    const char* name;
    int held;
    int next;
    std::vector<int> closedByReset;
    std::vector<int> closedByDestructor;
  };
  const Case cases[] = {
      {"nothing held, then 5", -1, 5, {}, {5}},
      {"0 is a valid descriptor", 0, -1, {0}, {}},
      {"one descriptor replaces another", 7, 8, {7}, {8}},
      {"other negative values are not descriptors", -3, 4, {}, {4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CloseRecorder recorder;
    ScopedEnv scoped(&recorder);
    {
      auto_handle handle;
      EXPECT_EQ(handle.get(), -1);
      handle.reset(c.held);
      recorder.closed.clear();
      handle.reset(c.next);
      EXPECT_EQ(recorder.closed, c.closedByReset);
      EXPECT_EQ(handle.get(), c.next);
      recorder.closed.clear();
    }
    EXPECT_EQ(recorder.closed, c.closedByDestructor);
  }
}

TEST(AutoHandleTest, ResetWithoutArgumentClosesAndEmpties) {
  CloseRecorder recorder;
  ScopedEnv scoped(&recorder);
  auto_handle handle;
  handle.reset(9);
  EXPECT_EQ(handle.reset().get(), -1);
  EXPECT_EQ(recorder.closed, std::vector<int>{9});
}

}  // namespace
