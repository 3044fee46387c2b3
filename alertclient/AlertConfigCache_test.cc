// The cached alert configuration: its path, its replacement and its reading,
// with bad input, failing file steps, threads and processes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/testing/CrashEnv.h"
#include "platform/testing/FaultEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using tarnalert::test::CrashEnv;
using tarnalert::test::FaultEnv;
using tarnalert::test::FileOp;
using tarnalert::test::ListDirectory;
using tarnalert::test::ReadWhole;

// A configuration text of `size` bytes or more, told apart by `tag`.
std::string MakeConfig(const std::string& tag, size_t size = 0) {
  return "<GetAlertDetailForClientResp><tarnholdName>" + tag + std::string(size, tag[0]) +
         "</tarnholdName></GetAlertDetailForClientResp>";
}

// A FaultEnv that can also answer that there is no client name or no job
// results directory.
class CacheEnv : public FaultEnv {
 public:
  std::string PhysicalMachineName(const std::string& focus) override {
    return noClient ? "" : FaultEnv::PhysicalMachineName(focus);
  }
  std::string JobResultsDirectory(const std::string& client) override {
    return noDirectory ? "" : FaultEnv::JobResultsDirectory(client);
  }
  // Runs `beforeRead` (once) when a file is next read.
  ssize_t ReadFile(int fd, void* buffer, size_t size) override {
    if (beforeRead) std::exchange(beforeRead, nullptr)();
    return FaultEnv::ReadFile(fd, buffer, size);
  }
  bool noClient = false, noDirectory = false;
  std::function<void()> beforeRead;
};

class AlertConfigCacheTest : public ::testing::Test {
 protected:
  void Install(const std::string& text) {
    ASSERT_YQ_OK(NTAlertProcessClient::UpdateAlertConfig(text));
  }
  // Three configurations of growing size, each written over and over for a
  // second and a half by its own thread or forked process while three threads
  // read: every read must be one of them whole, and no update may fail.
  void WriteAndReadAtOnce(bool processes) {
    env_.SetLogLevel(-1);  // keep the capture small
    std::set<std::string> texts;
    for (int i = 0; i < 3; ++i) texts.insert(MakeConfig(std::string(1, 'a' + i), 20000 * i));
    Install(*texts.begin());
    std::atomic<int> reads{0}, torn{0}, writes{0}, failedWrites{0};
    auto write = [&](const std::string& text) {
      auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
      for (; std::chrono::steady_clock::now() < end; ++writes)
        failedWrites += NTAlertProcessClient::UpdateAlertConfig(text).IsError();
    };
    std::vector<pid_t> children;
    for (auto text = texts.begin(); processes && text != texts.end(); ++text) {
      pid_t pid = ::fork();  // before this process starts any thread
      ASSERT_GE(pid, 0);
      if (pid == 0) write(*text), ::_exit(failedWrites == 0 && writes > 3 ? 0 : 1);
      children.push_back(pid);
    }
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers, readers;
    for (const std::string& text : texts) {
      if (!processes) writers.emplace_back(write, std::cref(text));
      readers.emplace_back([&] {
        for (std::string out; !stop; ++reads)
          torn += NTAlertProcessClient::RetrieveDetailsFromXML(out) != 0 || !texts.count(out);
      });
    }
    for (std::thread& writer : writers) writer.join();
    int status = 0;
    for (pid_t pid : children) {
      EXPECT_TRUE(::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && !WEXITSTATUS(status));
    }
    stop = true;
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(failedWrites, 0);
    EXPECT_GT(reads, 0);
    EXPECT_TRUE(processes || writes > 3);
    EXPECT_EQ(texts.count(ReadWhole(path_)), 1u);
    EXPECT_EQ(ListDirectory(directory_), (Names{"alert_config.xml", "alert_config.xml.lock"}));
  }

  // Every write writes at most 300 bytes, so updates loop.
  void SetUp() override { env_.LimitWrites(300); }
  // No fault from now on.
  void Clear() {
    env_.Clear();
    env_.noClient = env_.noDirectory = false;
  }

  CacheEnv env_;
  const std::string directory_ = env_.GetSetting("JOB_RESULTS_DIR");
  const std::string path_ = directory_ + "/alert_config.xml";
  tarnalert::ScopedEnv scoped_{&env_};
};

TEST_F(AlertConfigCacheTest, UpdateNeverWritesThroughALeftoverLink) {
  Install(MakeConfig("old"));  // the directory does not exist yet: the update makes it
  // A temporary file left behind, here a link to a file it must not clobber.
  std::ofstream(directory_ + "/victim") << "victim";
  fs::create_symlink(directory_ + "/victim", path_ + ".tmp");
  const std::string text = MakeConfig("new", 5000);
  Install(text);
  EXPECT_EQ(ReadWhole(path_), text);
  EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, text);
  EXPECT_EQ(ReadWhole(directory_ + "/victim"), "victim");
  EXPECT_EQ(ListDirectory(directory_),
            (Names{"alert_config.xml", "alert_config.xml.lock", "victim"}));
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(AlertConfigCacheTest, ReadGivesTheWholeFileOrNothing) {
  const std::string opening =
      "ERROR 0 RetrieveDetailsFromXML: Updating alert configuration from XML into cache";
  const std::string loading = "DEBUG 0 RetrieveDetailsFromXML: Loading alert Config from " + path_;
  const std::string cannot = "ERROR 0 RetrieveDetailsFromXML: Couldn't ";
  const std::string noPath =
      "ERROR 0 NTAlertProcessClient::GetConfigFileName: Couldn't retrieve physical machine ";
  const std::string large = MakeConfig("large", 10000), other = directory_ + "/elsewhere";
  const struct {
    const char* name;
    std::vector<std::string> log;  // only a read that succeeds logs `loading` last
    std::function<void()> arrange;
  } cases[] = {
      {"10 000 bytes read whole", {opening, loading}, [] {}},
      {"missing file is silent", {opening}, [&] { fs::remove(path_); }},
      {"no client name",
       {noPath + "client name. So not updating alert configuration. "},
       [&] { env_.noClient = true; }},
      {"no job results directory",
       {noPath + "job results directory. So not updating SMTP configuration."},
       [&] { env_.noDirectory = true; }},
      {"permission denied",
       {opening, cannot + "open " + path_ + ": Permission denied"},
       [&] { env_.Fail(FileOp::kOpen, 1, EACCES, false, ".xml"); }},
      {"symbolic link is followed",
       {opening, loading},
       [&] { fs::rename(path_, other), fs::create_symlink(other, path_); }},
      {"read error in the middle",
       {opening, loading, cannot + "read " + path_ + ": Input/output error"},
       [&] { env_.Fail(FileOp::kRead, 2, EIO); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    Install(large);
    c.arrange();
    env_.ClearLog();
    NTAlertProcessClient::xmlDataForAlerts = "unchanged";
    const bool read = c.log.back() == loading;
    std::string out = "untouched";
    EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(out), read ? 0 : 1);
    EXPECT_EQ(out, read ? large : "untouched");
    EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, read ? large : "unchanged");
    EXPECT_EQ(env_.LogMessages(), c.log);
  }
}

// An alert reads the file without the lock; a replacement installed while it
// reads must win over what it read.
TEST_F(AlertConfigCacheTest, AReplacementDuringAnAlertsReadIsNotUndone) {
  Install(MakeConfig("old"));
  env_.beforeRead = [this] { Install(MakeConfig("new")); };
  EvAlertEx alert;
  NTAlertProcessClient client(74, 1, 0, alert);
  client.MatchAndSendAlert();
  EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, MakeConfig("new"));
  EXPECT_EQ(client.alertConfig.get(KTGui::GetAlertDetailForClientResp::tarnholdName), "new");
}

// Both readers hold alertDetailsCS for the whole read, so a component that
// edits the file under the lock is never read half-way.
TEST_F(AlertConfigCacheTest, ReadersHoldTheLockWhileTheyRead) {
  Install(MakeConfig("held"));
  const std::pair<const char*, std::function<void()>> readers[] = {
      {"RetrieveDetailsFromXML",
       [] {
         std::string out;
         NTAlertProcessClient::RetrieveDetailsFromXML(out);
       }},
      {"MatchAndSendAlert",
       [] {
         EvAlertEx alert;
         NTAlertProcessClient(74, 1, 0, alert).MatchAndSendAlert();
       }},
  };
  for (const auto& [name, read] : readers) {
    bool freeDuringRead = true;
    env_.beforeRead = [&] {
      std::thread([&] {
        freeDuringRead = alertDetailsCS.enter(false);
        if (freeDuringRead) alertDetailsCS.leave();
      }).join();
    };
    read();
    EXPECT_FALSE(freeDuringRead) << name;
  }
}

// Whatever a caller wrote into xmlDataForAlerts, the next read replaces it,
// also when the file is the one the last alert read.
TEST_F(AlertConfigCacheTest, EveryReadSetsTheTextCache) {
  Install(MakeConfig("same"));
  for (int alerts = 1; alerts <= 3; ++alerts) {
    NTAlertProcessClient::xmlDataForAlerts = "written by a caller";
    EvAlertEx alert;
    NTAlertProcessClient(74, 1, 0, alert).MatchAndSendAlert();
    EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, MakeConfig("same")) << alerts;
  }
}

TEST_F(AlertConfigCacheTest, FailedUpdateKeepsTheOldConfiguration) {
  const std::string oldText = MakeConfig("old"), newText = MakeConfig("new", 1000);
  const std::string tmp = path_ + ".tmp", otherClass = "<IdName><name>x</name></IdName>";
  const FileOp kNone = FileOp::kAny;  // with call 0: no file step fails
  const struct {
    std::string text;
    FileOp step;
    const char* suffix;
    int call, error, line;
    std::string message, cause;
  } cases[] = {
      {"<<not xml", kNone, "", 0, 0, 74, "Invalid xml [<<not xml] provided for writing", ""},
      {"", kNone, "", 0, 0, 74, "Invalid xml [] provided for writing", ""},
      {otherClass, kNone, "", 0, 0, 80, "Invalid xml [" + otherClass + "] provided for writing",
       ""},
      {newText, kNone, "", 0, 0, 89, "Empty file path provided for writing", ""},
      {newText, FileOp::kOpen, ".tmp", 1, EACCES, 96, "Failed to open " + tmp + " for writing",
       "Permission denied"},
      {newText, FileOp::kOpen, ".lock", 1, EROFS, 96, "Failed to open " + tmp + " for writing",
       "Read-only file system"},
      {newText, FileOp::kWrite, ".tmp", 3, ENOSPC, 104,
       "Failed to write " + std::to_string(newText.size() - 600) + " into " + tmp,
       "No space left on device"},
      {newText, FileOp::kSync, ".tmp", 1, EIO, 109, "Failed to flush " + tmp + " buffers",
       "Input/output error"},
      {newText, FileOp::kRename, "", 1, EXDEV, 113, "Failed to rename " + tmp + " to " + path_,
       "Invalid cross-device link"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Install(oldText);
    env_.Fail(c.step, c.call, c.error, false, c.suffix);
    env_.noClient = c.line == 89;
    CYqError result = NTAlertProcessClient::UpdateAlertConfig(c.text);
    EXPECT_TRUE(result.IsError());
    const std::string error = result.ToString();
    // The last message pushed comes first: "<source>(<line>): <function>: <text>".
    EXPECT_EQ(error.substr(0, error.find('\n')),
              "EvAlertProcessClient(" + std::to_string(c.line) +
                  "): static CYqError NTAlertProcessClient::UpdateAlertConfig(std::string): " +
                  c.message);
    EXPECT_NE(error.find(c.cause), std::string::npos) << error;
    EXPECT_FALSE(c.line < 96 && fs::exists(tmp));  // rejected before touching any file
    EXPECT_EQ(ReadWhole(path_), oldText);
    EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, oldText);
    Clear();
    std::string out;
    EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(out), 0);
    EXPECT_EQ(out, oldText);
    Install(newText);  // whatever the failed update left behind
    EXPECT_EQ(ReadWhole(path_), newText);
  }
}

TEST_F(AlertConfigCacheTest, ThreadsUpdatingWhileOthersReadNeverTearTheFile) {
  WriteAndReadAtOnce(false);
}

TEST_F(AlertConfigCacheTest, ProcessesUpdatingAtOnceNeverTearTheFile) { WriteAndReadAtOnce(true); }

// A power loss at any file operation of an update leaves the old
// configuration or the new one, whole, and the new one once the update has
// run to its end and reported success. (A result computed after the crash
// point is never seen by anyone: the process is gone.)
TEST(AlertConfigCrashTest, ConfigurationReadsOldOrNewWholeAfterAPowerLoss) {
  CrashEnv env;
  tarnalert::ScopedEnv scoped(&env);
  env.SetLogLevel(-1);
  const std::string oldText = MakeConfig("old", 3000), newText = MakeConfig("new", 5000);
  ASSERT_YQ_OK(NTAlertProcessClient::UpdateAlertConfig(oldText));
  bool reached_the_end = false;
  for (int step = 0; !reached_the_end; ++step) {
    env.CrashAfter(step);
    const bool reported = !NTAlertProcessClient::UpdateAlertConfig(newText).IsError();
    reached_the_end = !env.stopped();
    env.Crash();
    std::string out;
    EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(out), 0) << "crash after " << step;
    EXPECT_TRUE(out == oldText || out == newText)
        << "crash after " << step << ": " << out.size() << " bytes";
    EXPECT_TRUE(!(reported && reached_the_end) || out == newText) << "crash after " << step;
    ASSERT_YQ_OK(NTAlertProcessClient::UpdateAlertConfig(oldText)) << "crash after " << step;
  }
}

}  // namespace
