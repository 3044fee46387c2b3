#include "tarnalert/util/KtCriticalSection.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/testing/TestEnv.h"
#include "util/auto_handle.h"

namespace {

// Takes `section` from another thread without waiting; true when it was free.
bool FreeElsewhere(KtCriticalSection& section) {
  bool taken = false;
  std::thread([&] {
    taken = section.enter(false);
    if (taken) section.leave();
  }).join();
  return taken;
}

TEST(KtCriticalSectionTest, GuardExcludesOtherThreadsForItsScopeOnly) {
  KtCriticalSection section;
  {
    KtCriticalSectionLock guard(&section);
    KtCriticalSectionLock none(nullptr);  // guards nothing, and must not fail
    EXPECT_FALSE(FreeElsewhere(section));
  }
  EXPECT_TRUE(FreeElsewhere(section));
  long counter = 0;  // not atomic: only the lock keeps the sum exact
  auto add = [&] {
    for (int i = 0; i < 50000; ++i) {
      KtCriticalSectionLock guard(&section);
      ++counter;
    }
  };
  std::thread first(add), second(add);
  add();
  first.join(), second.join();
  EXPECT_EQ(counter, 3 * 50000);
}

TEST(KtCriticalSectionTest, HolderMayEnterAgainAndLeavesAsOften) {
  KtCriticalSection section;
  section.enter(true);
  EXPECT_TRUE(section.enter(false));  // the holder enters again at once
  section.leave();
  EXPECT_FALSE(FreeElsewhere(section));  // still held once
  section.leave();
  EXPECT_TRUE(FreeElsewhere(section));
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

TEST(AutoHandleTest, ClosesEachValidDescriptorOnceWhenReplacedOrDestroyed) {
  CloseRecorder recorder;
  tarnalert::ScopedEnv scoped(&recorder);
  {
    auto_handle handle;
    handle.reset(0);                      // held no descriptor: closes nothing
    handle.reset(-3);                     // closes 0, a valid descriptor
    handle.reset(7);                      // -3 is not a descriptor: closes nothing
    handle.reset(8);                      // closes 7
    EXPECT_EQ(handle.reset().get(), -1);  // closes 8 and holds nothing
    handle.reset(5);
    EXPECT_EQ(recorder.closed, (std::vector<int>{0, 7, 8}));
  }
  EXPECT_EQ(recorder.closed, (std::vector<int>{0, 7, 8, 5}));  // the destructor closes 5
}

}  // namespace
