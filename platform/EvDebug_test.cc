#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdint>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/EvEvent.h"
#include "platform/testing/TestEnv.h"

namespace {

using tarnalert::testing::ScopedEnv;
using tarnalert::testing::TestEnv;

// "<UTC time> <pid> <tid> <ERROR|DEBUG> <level> <tag>: <message>"
const std::regex kLine(
    R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z \d+ \d+ (ERROR|DEBUG) -?\d+ (.*))");

TEST(EvDebugTest, WritesOneLineInTheDocumentedLayout) {
  TestEnv env;
  ScopedEnv scope(&env);
  EvEvent().Error("EvAlertEx::sendAlert(int, int, int)", "failed: %s [%d]", "no server", 7);
  ASSERT_EQ(env.LogLines().size(), 1u);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(env.LogLines()[0], match, kLine)) << env.LogLines()[0];
  EXPECT_EQ(env.LogMessages()[0],
            "ERROR 0 EvAlertEx::sendAlert(int, int, int): failed: no server [7]");
  EXPECT_NE(env.LogLines()[0].find(" " + std::to_string(::getpid()) + " "), std::string::npos);
}

TEST(EvDebugTest, FiltersDebugLinesByLevel) {
  struct Case {
    int setting;
    std::vector<std::string> expected;
  } cases[] = {
      {-1, {"ERROR 0 tag: error"}},
      {0, {"DEBUG 0 tag: debug", "ERROR 0 tag: error"}},
      {1,
       {"DEBUG 0 tag: debug", "ERROR 0 tag: error", "DEBUG 1 tag: level 1",
        "DEBUG 1 plain level 1"}},
      {8,
       {"DEBUG 0 tag: debug", "ERROR 0 tag: error", "DEBUG 1 tag: level 1", "DEBUG 1 plain level 1",
        "DEBUG 5 tag: level 5", "DEBUG 8 tag: level 8"}},
      {10,
       {"DEBUG 0 tag: debug", "ERROR 0 tag: error", "DEBUG 1 tag: level 1", "DEBUG 1 plain level 1",
        "DEBUG 5 tag: level 5", "DEBUG 8 tag: level 8", "DEBUG 10 plain level 10"}},
  };
  for (const Case& c : cases) {
    TestEnv env;
    ScopedEnv scope(&env);
    env.SetLogLevel(c.setting);
    EvEvent log;
    log.Debug("tag", "debug");
    log.Error("tag", "error");
    log.DebugLvl("tag", 1, "level %d", 1);
    log.debugLvl(1, "plain level %d", 1);
    log.DebugLvl("tag", 5, "level %d", 5);
    log.DebugLvl("tag", 8, "level %d", 8);
    log.debugLvl(10, "plain level %d", 10);
    EXPECT_EQ(env.LogMessages(), c.expected) << "setting " << c.setting;
  }
}

TEST(EvDebugTest, LevelSettingDefaultsToOne) {
  TestEnv env;
  ScopedEnv scope(&env);
  std::map<std::string, int> cases = {{"", 1}, {"7", 7}, {"x", 1}, {"3x", 1}, {"-4", 0}};
  for (const auto& [value, level] : cases) {
    env.SetSetting("LOG_LEVEL", value);
    EXPECT_EQ(env.target()->LogLevel(), level) << "'" << value << "'";
  }
}

TEST(EvDebugTest, FormatsWideTextAsUtf8InTheCLocale) {
  std::setlocale(LC_ALL, "C");
  TestEnv env;
  ScopedEnv scope(&env);
  EvEvent log;
  log.Error("t", "[%ls] [%zu] [%s]", L"Gr\u00FC\u00DFe \u20AC", SIZE_MAX, "x");
  log.debugLvl(1, "EvAlertProcessClient(983): -Debug-: Notification[%ls(%d)]", L"\u0391", 5);
  std::vector<std::string> expected = {
      "ERROR 0 t: [Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC] [18446744073709551615] [x]",
      "DEBUG 1 EvAlertProcessClient(983): -Debug-: Notification[\xCE\x91(5)]"};
  EXPECT_EQ(env.LogMessages(), expected);
}

TEST(EvDebugTest, KeepsEachMessageOnOneLine) {
  TestEnv env;
  ScopedEnv scope(&env);
  EvEvent().Error("t", "a\nb\r\nc%s", "\n");
  ASSERT_EQ(env.LogMessages().size(), 1u);
  EXPECT_EQ(env.LogMessages()[0], "ERROR 0 t: a\\nb\\r\\nc\\n");
}

// A TestEnv whose log goes to the real log file named by its LOG_FILE setting.
class FileLogEnv : public TestEnv {
 public:
  void WriteLogLine(const std::string& line) override { target()->WriteLogLine(line); }
};

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

TEST(EvDebugTest, FileLogKeepsLinesOfThreadsAndProcessesWhole) {
  FileLogEnv env;
  ScopedEnv scope(&env);
  const std::string path = env.scratch_directory() + "/new/dir/tarnalert.log";
  env.SetSetting("LOG_FILE", path);  // its directory does not exist yet
  constexpr int kWriters = 4;
  constexpr int kLinesEach = 300;
  const std::string payload(600, 'p');
  auto write_lines = [&](const std::string& who) {
    EvEvent log;
    for (int i = 0; i < kLinesEach; ++i) log.Error(who.c_str(), "%d %s end", i, payload.c_str());
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kWriters; ++t)
    threads.emplace_back(write_lines, "thread" + std::to_string(t));
  for (std::thread& thread : threads) thread.join();
  std::vector<pid_t> children;
  for (int p = 0; p < kWriters; ++p) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      write_lines("process" + std::to_string(p));
      ::_exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  std::vector<std::string> lines = ReadLines(path);
  EXPECT_EQ(lines.size(), 2u * kWriters * kLinesEach);
  const std::regex message("ERROR 0 (thread|process)\\d: (\\d+) p{600} end");
  std::map<std::string, int> next_number;  // lines of one writer stay in order
  for (const std::string& line : lines) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, kLine)) << line.substr(0, 80);
    std::string rest = match[0].str().substr(match.position(1));
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(rest, parts, message)) << rest.substr(0, 80);
    std::string writer = rest.substr(8, rest.find(':') - 8);
    EXPECT_EQ(std::stoi(parts[2]), next_number[writer]++) << writer;
  }
  EXPECT_EQ(next_number.size(), 2u * kWriters);
}

TEST(EvDebugTest, DashWritesToStandardError) {
  FileLogEnv env;
  ScopedEnv scope(&env);
  env.SetSetting("LOG_FILE", "-");
  ::testing::internal::CaptureStderr();
  EvEvent().Error("t", "to standard error");
  std::string captured = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(captured.find("ERROR 0 t: to standard error\n"), std::string::npos) << captured;
}

}  // namespace
