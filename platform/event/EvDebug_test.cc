#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/platform/event/EvEvent.h"

namespace {

using tarnalert::ScopedEnv;
using tarnalert::test::TestEnv;

// Lines read "<UTC time> <pid> <tid> <ERROR|DEBUG> <level> <tag>: <message>".
const std::string kTime = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z )";

// A TestEnv whose log goes, once `to_file` is set, to the real log file
// named by its LOG_FILE setting.
class FileLogEnv : public TestEnv {
 public:
  void WriteLogLine(const std::string& line) override {
    to_file ? target()->WriteLogLine(line) : TestEnv::WriteLogLine(line);
  }
  bool to_file = false;
};

class EvDebugTest : public ::testing::Test {
 protected:
  // The messages in the log file `path`, each without its prefix and tag "t".
  static std::vector<std::string> Messages(const std::string& path) {
    std::vector<std::string> messages;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
      messages.push_back(line.substr(line.find(" t: ") + 4));
    return messages;
  }

  FileLogEnv env;
  ScopedEnv scope{&env};
};

// Each line names the process and thread that wrote it, also after the
// writer's ids were seen once: in another thread and in a forked child.
TEST_F(EvDebugTest, LinesCarryTheIdsOfTheirWriter) {
  auto ids = [](long long pid, long long tid) {
    return " " + std::to_string(pid) + " " + std::to_string(tid) + " ERROR ";
  };
  const long long pid = ::getpid();
  EvEvent().Error("t", "first");
  long long threadId = 0;
  std::thread([&] {
    threadId = ::syscall(SYS_gettid);
    EvEvent().Error("t", "thread");
  }).join();
  EXPECT_TRUE(tarnalert::test::EndsWithin(10, [&] {
    env.ClearLog();
    EvEvent().Error("t", "child");
    const std::vector<std::string> lines = env.LogLines();
    // The forking thread is the child's only thread: its id is the child's.
    return lines.size() == 1 && lines[0].find(ids(::getpid(), ::getpid())) != std::string::npos;
  }));
  const std::vector<std::string> lines = env.LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(ids(pid, ::syscall(SYS_gettid))), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(ids(pid, threadId)), std::string::npos) << lines[1];
}

// The program runs in the "C" locale, where the C library cannot write
// non-ASCII wide text; the log writes it as UTF-8.
TEST_F(EvDebugTest, WritesOneLineInTheDocumentedLayout) {
  env.PinTime(1700000000012345);  // 2023-11-14 22:13:20.012345 UTC: the Env's clock
  EvEvent log;
  log.Error("EvAlertEx::sendAlert(int, int, int)", "failed: %s [%d]\r\n%s", "no\nserver", 7, "\n");
  log.Error("t", "[%ls] [%zu] [%s]", L"Gr\u00FC\u00DFe \u20AC", static_cast<size_t>(-1), "x");
  ASSERT_EQ(env.LogLines().size(), 2u);
  const std::string pid = std::to_string(::getpid());
  EXPECT_TRUE(std::regex_match(env.LogLines()[0], std::regex(R"(2023-11-14T22:13:20\.012345Z )" +
                                                             pid + R"( \d+ ERROR 0 .*)")))
      << env.LogLines()[0];
  // Line breaks in a message are escaped, so that it stays on one line.
  EXPECT_EQ(env.LogMessages(),
            (std::vector<std::string>{
                "ERROR 0 EvAlertEx::sendAlert(int, int, int): failed: no\\nserver [7]\\r\\n\\n",
                "ERROR 0 t: [Gr\xC3\xBC\xC3\x9F"
                "e \xE2\x82\xAC] [18446744073709551615] [x]"}));
}

TEST_F(EvDebugTest, LevelSettingFiltersDebugLines) {
  // Written in order of level, so that each setting lets a leading part through.
  const std::vector<std::string> all = {"ERROR 0 tag: error",    "DEBUG 0 tag: debug",
                                        "DEBUG 1 plain level 1", "DEBUG 5 tag: level 5",
                                        "DEBUG 8 tag: level 8",  "DEBUG 10 plain level 10"};
  // The level defaults to 1 when the setting is not a number, and is at least 0.
  const std::map<std::string, size_t> cases = {{"-4", 2}, {"", 3},  {"9x", 3},
                                               {"7", 4},  {"8", 5}, {"10", 6}};
  for (const auto& [setting, count] : cases) {
    env.SetSetting("LOG_LEVEL", setting);
    env.SetLogLevel(env.target()->LogLevel());  // the level the real Env reads from the setting
    env.ClearLog();
    EvEvent log;
    log.Error("tag", "error");
    log.Debug("tag", "debug");
    log.debugLvl(1, "plain level %d", 1);
    log.DebugLvl("tag", 5, "level %d", 5);
    log.DebugLvl("tag", 8, "level %d", 8);
    log.debugLvl(10, "plain level %d", 10);
    EXPECT_EQ(env.LogMessages(), std::vector<std::string>(all.begin(), all.begin() + count))
        << "LOG_LEVEL '" << setting << "'";
  }
}

TEST_F(EvDebugTest, LogFileTakesWholeLinesFromThreadsAndProcesses) {
  env.to_file = true;
  const std::string path = env.scratch_directory() + "/new/dir/tarnalert.log";
  env.SetSetting("LOG_FILE", path);  // its directory does not exist yet
  constexpr int kWriters = 4, kLinesEach = 300;
  const std::string payload(600, 'p');
  auto write_lines = [&](const std::string& who) {
    EvEvent log;
    for (int i = 0; i < kLinesEach; ++i) log.Error(who.c_str(), "%d %s end", i, payload.c_str());
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kWriters; ++t) threads.emplace_back(write_lines, "t" + std::to_string(t));
  for (std::thread& thread : threads) thread.join();
  std::vector<pid_t> children;
  for (int p = 0; p < kWriters; ++p) {
    children.push_back(::fork());
    ASSERT_GE(children.back(), 0);
    if (children.back() == 0) {
      write_lines("p" + std::to_string(p));
      ::_exit(0);
    }
  }
  int status = -1;  // each child must exit with 0
  for (pid_t child : children) EXPECT_TRUE(::waitpid(child, &status, 0) == child && status == 0);

  const std::regex whole(kTime + R"(\d+ \d+ ERROR 0 (\w+): (\d+) p{600} end)");
  std::map<std::string, int> next_number;  // the lines of one writer stay in order
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, whole)) << line.substr(0, 80);
    EXPECT_EQ(std::stoi(match[2]), next_number[match[1]]++) << match[1];
  }
  EXPECT_EQ(next_number.size(), 2u * kWriters);
  for (const auto& [writer, next] : next_number) EXPECT_EQ(next, kLinesEach) << writer;
}

// A log that could not be opened once stayed off for the life of the
// process; now the open is tried again, at most once a second.
TEST_F(EvDebugTest, LogFileIsOpenedAgainAfterAFailure) {
  env.to_file = true;
  const std::string blocked = env.scratch_directory() + "/blocked";
  std::ofstream(blocked) << "a file where the log directory belongs";
  env.SetSetting("LOG_FILE", blocked + "/tarnalert.log");
  const uint64_t start = 1800000000ULL * 1000000;
  const std::pair<uint64_t, const char*> steps[] = {
      {0, "while blocked"},
      {1, "within the second"},  // the file is gone by now, see below
      {1000000, "a second later"},
  };
  for (const auto& [micros, line] : steps) {
    env.PinTime(start + micros);  // `micros` after start
    EvEvent().Error("t", "%s", line);
    if (micros == 0) std::filesystem::remove(blocked);
  }
  EXPECT_EQ(Messages(blocked + "/tarnalert.log"), std::vector<std::string>{"a second later"});
}

// logrotate moves the file away (then makes a new one, or not); the lines
// after it go to a file at the log's path, not to the moved one.
TEST_F(EvDebugTest, LogFileFollowsRotation) {
  env.to_file = true;
  const std::string path = env.scratch_directory() + "/log/tarnalert.log";
  env.SetSetting("LOG_FILE", path);
  EvEvent().Error("t", "before");
  std::filesystem::rename(path, path + ".1");
  std::ofstream(path).close();  // what `create` does
  EvEvent().Error("t", "after the rotation");
  std::filesystem::remove(path);
  EvEvent().Error("t", "after the removal");
  EXPECT_EQ(Messages(path + ".1"), std::vector<std::string>{"before"});
  EXPECT_EQ(Messages(path), std::vector<std::string>{"after the removal"});
  std::filesystem::rename(path, path + ".2");
  EvEvent().Error("t", "after a rotation without create");
  EXPECT_EQ(Messages(path), std::vector<std::string>{"after a rotation without create"});
}

TEST_F(EvDebugTest, DashSendsTheLogToStandardError) {
  env.to_file = true;
  env.SetSetting("LOG_FILE", "-");
  ::testing::internal::CaptureStderr();
  EvEvent().Error("t", "to standard error");
  const std::string captured = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(captured.find("ERROR 0 t: to standard error\n"), std::string::npos) << captured;
}

}  // namespace
