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
#include <vector>

#include "platform/testing/TestEnv.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

std::string ReadWhole(const std::string& path) {
  return {std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}};
}

Names ListDirectory(const std::string& path) {
  Names names;
  for (const auto& entry : fs::directory_iterator(path)) names.insert(entry.path().filename());
  return names;
}

// A configuration text of `size` bytes or more, told apart by `tag`.
std::string MakeConfig(const std::string& tag, size_t size = 0) {
  return "<GetAlertDetailForClientResp><tarnholdName>" + tag + std::string(size, tag[0]) +
         "</tarnholdName></GetAlertDetailForClientResp>";
}

// Writes at most 300 bytes at a time and fails the `faultCall`th call of
// `faultStep` with `faultErrno` (an empty client name or job results
// directory for those steps); everything else goes to the TestEnv.
class CacheEnv : public tarnalert::EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  std::string PhysicalMachineName(const std::string& focus) override {
    return Fails("client") ? "" : target()->PhysicalMachineName(focus);
  }
  std::string JobResultsDirectory(const std::string& client) override {
    return Fails("directory") ? "" : target()->JobResultsDirectory(client);
  }
  int OpenFile(const std::string& path, int flags, mode_t mode) override {
    return Fails("open " + path.substr(path.rfind('.'))) ? -1
                                                         : target()->OpenFile(path, flags, mode);
  }
  ssize_t WriteFile(int fd, const void* data, size_t size) override {
    return Fails("write") ? -1 : target()->WriteFile(fd, data, size < 300 ? size : 300);
  }
  int SyncFile(int fd) override { return Fails("sync") ? -1 : target()->SyncFile(fd); }
  int RenameFile(const std::string& from, const std::string& to) override {
    return Fails("rename") ? -1 : target()->RenameFile(from, to);
  }
  ssize_t ReadFile(int fd, void* buffer, size_t size) override {
    return Fails("read") ? -1 : target()->ReadFile(fd, buffer, size);
  }
  void Fail(const std::string& step = "", int call = 0, int error = 0) {
    faultStep = step, faultCall = call, faultErrno = error, calls = 0;
  }

 private:
  bool Fails(const std::string& step) {  // touches nothing unless a fault is set
    if (step != faultStep || ++calls != faultCall) return false;
    errno = faultErrno;
    return true;
  }
  std::string faultStep;
  int faultCall = 0, faultErrno = 0, calls = 0;
};

class AlertConfigCacheTest : public ::testing::Test {
 protected:
  void Install(const std::string& text) {
    CYqError error = NTAlertProcessClient::UpdateAlertConfig(text);
    ASSERT_FALSE(error.IsError()) << error.ToString();
  }
  // Three configurations of growing size, each written over and over for a
  // second and a half by its own thread or forked process while three threads
  // read: every read must be one of them whole, and no update may fail.
  void WriteAndReadAtOnce(bool processes) {
    test_env_.SetLogLevel(-1);  // keep the capture small
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

  tarnalert::testing::TestEnv test_env_;
  const std::string directory_ = test_env_.GetSetting("JOB_RESULTS_DIR");
  const std::string path_ = directory_ + "/alert_config.xml";
  CacheEnv env_{&test_env_};
  tarnalert::testing::ScopedEnv scoped_{&env_};
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
       [&] { env_.Fail("client", 1, 0); }},
      {"no job results directory",
       {noPath + "job results directory. So not updating SMTP configuration."},
       [&] { env_.Fail("directory", 1, 0); }},
      {"permission denied",
       {opening, cannot + "open " + path_ + ": Permission denied"},
       [&] { env_.Fail("open .xml", 1, EACCES); }},
      {"symbolic link is followed",
       {opening, loading},
       [&] { fs::rename(path_, other), fs::create_symlink(other, path_); }},
      {"read error in the middle",
       {opening, loading, cannot + "read " + path_ + ": Input/output error"},
       [&] { env_.Fail("read", 2, EIO); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    env_.Fail();
    Install(large);
    c.arrange();
    test_env_.ClearLog();
    NTAlertProcessClient::xmlDataForAlerts = "unchanged";
    const bool read = c.log.back() == loading;
    std::string out = "untouched";
    EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(out), read ? 0 : 1);
    EXPECT_EQ(out, read ? large : "untouched");
    EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, read ? large : "unchanged");
    EXPECT_EQ(test_env_.LogMessages(), c.log);
  }
}

TEST_F(AlertConfigCacheTest, FailedUpdateKeepsTheOldConfiguration) {
  const std::string oldText = MakeConfig("old"), newText = MakeConfig("new", 1000);
  const std::string tmp = path_ + ".tmp", otherClass = "<IdName><name>x</name></IdName>";
  const struct {
    std::string text;
    const char* step;
    int call, error, line;
    std::string message, cause;
  } cases[] = {
      {"<<not xml", "", 0, 0, 74, "Invalid xml [<<not xml] provided for writing", ""},
      {"", "", 0, 0, 74, "Invalid xml [] provided for writing", ""},
      {otherClass, "", 0, 0, 80, "Invalid xml [" + otherClass + "] provided for writing", ""},
      {newText, "client", 1, 0, 89, "Empty file path provided for writing", ""},
      {newText, "open .tmp", 1, EACCES, 96, "Failed to open " + tmp + " for writing",
       "Permission denied"},
      {newText, "open .lock", 1, EROFS, 96, "Failed to open " + tmp + " for writing",
       "Read-only file system"},
      {newText, "write", 3, ENOSPC, 104,
       "Failed to write " + std::to_string(newText.size() - 600) + " into " + tmp,
       "No space left on device"},
      {newText, "sync", 1, EIO, 109, "Failed to flush " + tmp + " buffers", "Input/output error"},
      {newText, "rename", 1, EXDEV, 113, "Failed to rename " + tmp + " to " + path_,
       "Invalid cross-device link"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    Install(oldText);
    env_.Fail(c.step, c.call, c.error);
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
    env_.Fail();
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

}  // namespace
