#include "platform/testing/TestUtil.h"

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tarnalert {
namespace test {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(path, error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Repeat(const std::string& piece, size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  const char* saved = ::getenv("TZ");
  had_ = saved != nullptr;
  if (had_) saved_ = saved;
  ::setenv("TZ", zone, 1);
  ::tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  had_ ? ::setenv("TZ", saved_.c_str(), 1) : ::unsetenv("TZ");
  ::tzset();
}

::testing::AssertionResult IsYqOk(const char* expression, const CYqError& error) {
  if (!error.IsError()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << expression << " failed with code " << error.Code() << ":\n"
         << error.ToString();
}

bool EndsWithin(int seconds, const std::function<bool()>& work) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(work() ? 0 : 1);
  for (int waited = 0; waited < seconds * 10; ++waited) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) == child) {
      return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    ::usleep(100000);
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return false;
}

bool AsOtherUser(const std::function<bool()>& make) {
  if (::geteuid() != 0) return false;
  const pid_t child = ::fork();
  if (child == 0) {
    const bool switched =
        ::setgroups(0, nullptr) == 0 && ::setgid(kOtherUser) == 0 && ::setuid(kOtherUser) == 0;
    ::_exit(switched && make() ? 0 : 1);
  }
  int status = -1;
  const bool made = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                    WEXITSTATUS(status) == 0;
  EXPECT_TRUE(made) << "the files of user " << kOtherUser << " could not be made";
  return made;
}

bool EndsInChild(const std::function<int()>& run, int seconds, int* exitCode) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(run());
  int status = -1;
  pid_t ended = 0;
  for (int tenth = 0; child > 0 && tenth < seconds * 10; ++tenth) {
    ended = ::waitpid(child, &status, WNOHANG);
    if (ended != 0) break;
    ::usleep(100000);
  }
  if (child > 0 && ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ADD_FAILURE() << "the child did not end within " << seconds << " s";
    return false;
  }
  if (ended != child || !WIFEXITED(status)) {
    ADD_FAILURE() << "the child did not exit normally";
    return false;
  }
  *exitCode = WEXITSTATUS(status);
  return true;
}

}  // namespace test
}  // namespace tarnalert
