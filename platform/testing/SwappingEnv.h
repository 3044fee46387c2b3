// SwappingEnv: a TestEnv that plays another user who swaps a directory for a
// link while the library works in it. The first time a file whose name ends
// in the chosen suffix is opened, the directory is moved aside (to
// "<directory>.moved") and a link to the victim's directory put in its
// place, so a later step that went by path would land in the victim's.
// Safe to call from several threads.
#ifndef TARNALERT_PLATFORM_TESTING_SWAPPINGENV_H_
#define TARNALERT_PLATFORM_TESTING_SWAPPINGENV_H_

#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/testing/TestEnv.h"

namespace tarnalert {
namespace test {

class SwappingEnv : public TestEnv {
 public:
  void SwapWhenOpening(const std::string& suffix, const std::string& directory,
                       const std::string& victim) {
    std::lock_guard<std::mutex> lock(mutex_);
    suffix_ = suffix, directory_ = directory, victim_ = victim, swapped_ = false;
  }
  bool swapped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return swapped_;
  }

  int OpenFileAt(int directory, const std::string& name, int flags, mode_t mode) override {
    const int fd = TestEnv::OpenFileAt(directory, name, flags, mode);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!swapped_ && !suffix_.empty() && name.size() >= suffix_.size() &&
        name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) == 0) {
      swapped_ = std::rename(directory_.c_str(), (directory_ + ".moved").c_str()) == 0 &&
                 ::symlink(victim_.c_str(), directory_.c_str()) == 0;
    }
    return fd;
  }

 private:
  mutable std::mutex mutex_;
  std::string suffix_, directory_, victim_;
  bool swapped_ = false;
};

}  // namespace test
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_TESTING_SWAPPINGENV_H_
