// platform/testing: test doubles and helpers for the tests; never part of
// the library. May include every other platform folder; nothing includes it
// but tests.
//
// Helpers shared by the tests: whole-file reading, directory listing, text
// repetition, and assertions on CYqError that print the whole chain of
// messages when they fail.
#ifndef TARNALERT_PLATFORM_TESTING_TESTUTIL_H_
#define TARNALERT_PLATFORM_TESTING_TESTUTIL_H_

#include <gtest/gtest.h>

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {
namespace test {

// The bytes of the file `path`; empty when it cannot be read.
std::string ReadWhole(const std::string& path);
// The names in the directory `path` but "." and "..", sorted; empty when it
// cannot be read.
std::vector<std::string> ListDirectory(const std::string& path);
// `piece` written `times` times.
std::string Repeat(const std::string& piece, size_t times);

// The unprivileged second user (nobody) that hostile files are made as.
constexpr uid_t kOtherUser = 65534;
// Runs `make` in a child process as user and group kOtherUser, so that what
// it creates belongs to another user; `make` returns false when it failed.
// False when this process is not root (it cannot switch users: the caller
// skips) or when `make` failed (a test failure is added).
bool AsOtherUser(const std::function<bool()>& make);

// Runs `run` in a child process and waits at most `seconds` for it to end:
// a guard for calls that must not wait forever. True with the value `run`
// returned (its exit code, 0 to 255) in *exitCode; false when the child had
// to be killed or died otherwise (a test failure is added).
bool EndsInChild(const std::function<int()>& run, int seconds, int* exitCode);

// Runs `work` in a child process; true when it ended by itself, returning
// true, within `seconds` (a bound on a wait that must end, not a speed
// target). The child is killed otherwise.
bool EndsWithin(int seconds, const std::function<bool()>& work);

// Sets TZ to `zone` for its life and puts the earlier value back after.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  bool had_ = false;
  std::string saved_;
};

// For EXPECT_PRED_FORMAT1: success, or a failure showing the error's chain.
::testing::AssertionResult IsYqOk(const char* expression, const CYqError& error);

}  // namespace test
}  // namespace tarnalert

#define EXPECT_YQ_OK(expression) EXPECT_PRED_FORMAT1(::tarnalert::test::IsYqOk, expression)
#define ASSERT_YQ_OK(expression) ASSERT_PRED_FORMAT1(::tarnalert::test::IsYqOk, expression)

#endif  // TARNALERT_PLATFORM_TESTING_TESTUTIL_H_
