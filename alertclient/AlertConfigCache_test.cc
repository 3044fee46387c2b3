// The cached alert configuration: its path, its replacement and its reading,
// with bad input, failing file steps, threads and processes.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "alertclient/EvAlertProcessClient.h"
#include "platform/Messages.h"
#include "platform/testing/TestEnv.h"

namespace {

using tarnalert::testing::ScopedEnv;
using tarnalert::testing::TestEnv;

const char kFunction[] = "static CYqError NTAlertProcessClient::UpdateAlertConfig(std::string)";

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteWhole(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::set<std::string> ListDirectory(const std::string& path) {
  std::set<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    closedir(dir);
  }
  return names;
}

// A configuration text of `size` bytes or more, told apart by `tag`.
std::string MakeConfig(const std::string& tag, size_t size = 0) {
  KTGui::GetAlertDetailForClientResp config;
  KTGui::AlertDetail rule;
  rule.child(KTGui::AlertDetail::alert)
      .child(KTGui::AlertInfo::alert)
      .set(KTGui::IdName::name, "rule " + tag);
  config.list(KTGui::GetAlertDetailForClientResp::alertDetails).push_back(rule);
  config.set(KTGui::GetAlertDetailForClientResp::tarnholdName,
             tag + std::string(size, tag.empty() ? 'x' : tag[0]));
  std::string text;
  EXPECT_EQ(config.serialize(text, false), 0);
  return text;
}

// Answers the platform questions as a test says and fails chosen file steps;
// everything else goes to the TestEnv.
class CacheEnv : public tarnalert::EnvWrapper {
 public:
  explicit CacheEnv(TestEnv* env) : EnvWrapper(env) {}

  std::string PhysicalMachineName(const std::string& focus) override {
    return clientName ? *clientName : target()->PhysicalMachineName(focus);
  }
  std::string JobResultsDirectory(const std::string& client) override {
    return jobResultsDirectory ? *jobResultsDirectory : target()->JobResultsDirectory(client);
  }
  int OpenFile(const std::string& path, int flags, mode_t mode) override {
    if (openErrno != 0 && path.size() >= openSuffix.size() &&
        path.compare(path.size() - openSuffix.size(), openSuffix.size(), openSuffix) == 0) {
      errno = openErrno;
      return -1;
    }
    return target()->OpenFile(path, flags, mode);
  }
  ssize_t WriteFile(int fd, const void* data, size_t size) override {
    if (++writes == failWrite) return Fail(ENOSPC);
    return target()->WriteFile(fd, data, writeCap != 0 && size > writeCap ? writeCap : size);
  }
  int SyncFile(int fd) override { return syncErrno ? Fail(syncErrno) : target()->SyncFile(fd); }
  int RenameFile(const std::string& from, const std::string& to) override {
    return renameErrno ? Fail(renameErrno) : target()->RenameFile(from, to);
  }
  ssize_t ReadFile(int fd, void* buffer, size_t size) override {
    if (++reads == failRead) return Fail(EIO);
    ssize_t count = target()->ReadFile(fd, buffer, size);
    readSizes.push_back(count);
    return count;
  }

  std::optional<std::string> clientName, jobResultsDirectory;
  std::string openSuffix;
  int openErrno = 0, syncErrno = 0, renameErrno = 0;
  int writes = 0, failWrite = 0, reads = 0, failRead = 0;
  size_t writeCap = 0;
  std::vector<ssize_t> readSizes;

  void ClearFaults() {
    openErrno = syncErrno = renameErrno = 0;
    writes = failWrite = reads = failRead = 0;
    writeCap = 0;
  }

 private:
  static int Fail(int error) {
    errno = error;
    return -1;
  }
};

class AlertConfigCacheTest : public ::testing::Test {
 protected:
  AlertConfigCacheTest()
      : directory_(test_env_.scratch_directory() + "/jobresults"),
        path_(directory_ + "/alert_config.xml"),
        env_(&test_env_),
        scoped_(&env_) {
    test_env_.SetSetting("JOB_RESULTS_DIR", directory_);
    ::mkdir(directory_.c_str(), 0700);
    NTAlertProcessClient::xmlDataForAlerts = "unchanged";
  }

  // The captured log without line prefixes: "<SEVERITY> <level> <tag>: <text>".
  std::vector<std::string> Log() const { return test_env_.LogMessages(); }

  void ExpectError(const CYqError& error, int line, const std::string& text) {
    ASSERT_TRUE(error.IsError());
    ASSERT_FALSE(error.Messages().empty());
    const CYqError::Message last = error.Messages().back();
    EXPECT_EQ(last.text, text);
    EXPECT_EQ(last.source, "EvAlertProcessClient");
    EXPECT_EQ(last.function, kFunction);
    EXPECT_EQ(last.line, line);
  }

  TestEnv test_env_;
  std::string directory_, path_;
  CacheEnv env_;
  ScopedEnv scoped_;
};

TEST_F(AlertConfigCacheTest, PathComesFromThePlatform) {
  const std::string clientMissing =
      "ERROR 0 NTAlertProcessClient::GetConfigFileName: Couldn't retrieve physical machine "
      "client name. So not updating alert configuration. ";
  const std::string directoryMissing =
      "ERROR 0 NTAlertProcessClient::GetConfigFileName: Couldn't retrieve physical machine job "
      "results directory. So not updating SMTP configuration.";
  const struct {
    const char* client;
    const char* directory;
    std::string path;
    std::vector<std::string> log;
  } cases[] = {
      {"client", "/data/jr", "/data/jr/alert_config.xml", {}},
      {"client", "/data/jr/", "/data/jr//alert_config.xml", {}},
      {"", "/data/jr", "", {clientMissing}},
      {"client", "", "", {directoryMissing}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.client) + "|" + c.directory);
    test_env_.ClearLog();
    env_.clientName = c.client;
    env_.jobResultsDirectory = c.directory;
    EXPECT_EQ(NTAlertProcessClient::GetConfigFileName(), c.path);
    EXPECT_EQ(Log(), c.log);
  }
  // Without overrides: the settings, and the state directory by default.
  env_.clientName.reset();
  env_.jobResultsDirectory.reset();
  EXPECT_EQ(NTAlertProcessClient::GetConfigFileName(), path_);
  test_env_.SetSetting("JOB_RESULTS_DIR", "");
  EXPECT_EQ(NTAlertProcessClient::GetConfigFileName(),
            test_env_.GetSetting("STATE_DIR") + "/jobresults/alert_config.xml");
}

TEST_F(AlertConfigCacheTest, RejectedTextTouchesNoFile) {
  WriteWhole(path_, "old");
  const struct {
    const char* name;
    std::string text;
    int line;
  } cases[] = {
      {"not XML", "<<not xml", 74},
      {"empty", "", 74},
      {"another message class",
       [] {
         std::string text;
         KTGui::IdName idName;
         idName.set(KTGui::IdName::name, "x");
         idName.serialize(text, false);
         return text;
       }(),
       80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectError(NTAlertProcessClient::UpdateAlertConfig(c.text), c.line,
                "Invalid xml [" + c.text + "] provided for writing");
    EXPECT_EQ(ListDirectory(directory_), std::set<std::string>{"alert_config.xml"});
    EXPECT_EQ(ReadWhole(path_), "old");
    EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, "unchanged");
  }
}

TEST_F(AlertConfigCacheTest, NoPathMeansNoUpdateAndNoRead) {
  env_.clientName = "";
  ExpectError(NTAlertProcessClient::UpdateAlertConfig(MakeConfig("a")), 89,
              "Empty file path provided for writing");
  std::string out = "untouched";
  EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(out), 1);
  EXPECT_EQ(out, "untouched");
  EXPECT_TRUE(ListDirectory(directory_).empty());
}

TEST_F(AlertConfigCacheTest, UpdateThenReadGivesTheSameText) {
  WriteWhole(path_ + ".tmp", "left behind by a failed update");
  const std::string text = ReadWhole(TARNALERT_SOURCE_DIR "/examples/alert_config.xml");
  CYqError error = NTAlertProcessClient::UpdateAlertConfig(text);
  ASSERT_FALSE(error.IsError()) << error.ToString();
  EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, text);
  EXPECT_EQ(ReadWhole(path_), text);
  struct stat info = {};
  ASSERT_EQ(::stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ListDirectory(directory_),
            (std::set<std::string>{"alert_config.xml", "alert_config.xml.lock"}));

  NTAlertProcessClient::xmlDataForAlerts.clear();
  test_env_.ClearLog();
  std::string out;
  EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(out), 0);
  EXPECT_EQ(out, text);
  EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, text);
  EXPECT_EQ(Log(), (std::vector<std::string>{
                       "ERROR 0 RetrieveDetailsFromXML: Updating alert configuration from XML "
                       "into cache",
                       "DEBUG 0 RetrieveDetailsFromXML: Loading alert Config from " + path_}));
}

TEST_F(AlertConfigCacheTest, MissingDirectoryIsCreated) {
  const std::string fresh = test_env_.scratch_directory() + "/fresh/jobresults";
  env_.jobResultsDirectory = fresh;
  CYqError error = NTAlertProcessClient::UpdateAlertConfig(MakeConfig("a"));
  ASSERT_FALSE(error.IsError()) << error.ToString();
  EXPECT_EQ(ReadWhole(fresh + "/alert_config.xml"), MakeConfig("a"));
}

TEST_F(AlertConfigCacheTest, ExampleIsAConfiguration) {
  std::string text = ReadWhole(TARNALERT_SOURCE_DIR "/examples/alert_config.xml");
  std::unique_ptr<HqMessageBase> decoded(XMLDecoder().unSerialize(text, nullptr));
  ASSERT_NE(decoded, nullptr);
  ASSERT_EQ(decoded->getTagID(), KTGui::GetAlertDetailForClientResp::kTypeKey);
  KTGui::GetAlertDetailForClientResp config(*decoded);
  HqMessageList& rules = config.list(KTGui::GetAlertDetailForClientResp::alertDetails);
  ASSERT_EQ(rules.size(), 5u);
  std::set<int64_t> recipientTypes, formats;
  for (HqMessageBase& rule : rules) {
    EXPECT_FALSE(rule.get(KTGui::AlertDetail::senderAddress).empty());
    for (HqMessageBase& user : rule.list(KTGui::AlertDetail::nonNebrixUsers)) {
      recipientTypes.insert(user.get(KTGui::NTNonNebrixUser::recipientType));
    }
    for (HqMessageBase& notification : rule.list(KTGui::AlertDetail::notifMessages)) {
      formats.insert(notification.get(KTGui::AlertNotifMsg::messageFormat));
    }
  }
  EXPECT_EQ(recipientTypes, (std::set<int64_t>{0, 1, 2}));
  EXPECT_EQ(formats, (std::set<int64_t>{0, 1}));
  HqMessageBase& html = rules[0].list(KTGui::AlertDetail::notifMessages).back();
  EXPECT_EQ(html.get(KTGui::AlertNotifMsg::htmlTemplate).rfind("Subject: <Alert Name>", 0), 0u);
  HqMessageBase& catalog = config.child(KTGui::GetAlertDetailForClientResp::alertTypeCatalog);
  HqMessageBase& failover = catalog.list(KTGui::AlertTypeCatalog::alertTypes).front();
  EXPECT_EQ(failover.get(KTGui::AlertTypeListItem::nameMessageId), 0x4a000310);
  HqMessageBase& criteria = failover.list(KTGui::AlertTypeListItem::availCriteria).front();
  EXPECT_EQ(criteria.get(KTGui::AlertAvailCriteria::nameMessageId), 0x4a000301);
  EXPECT_EQ(criteria.list(KTGui::AlertAvailCriteria::tokens)
                .back()
                .get(KTGui::AlertNotifToken::tokenFlags),
            0x80);
}

TEST_F(AlertConfigCacheTest, ReadFailuresReturnNothing) {
  const std::string opening =
      "ERROR 0 RetrieveDetailsFromXML: Updating alert configuration "
      "from XML into cache";
  const std::string loading = "DEBUG 0 RetrieveDetailsFromXML: Loading alert Config from " + path_;
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"missing file is silent", [] {}, {opening}},
      {"permission denied",
       [&] {
         WriteWhole(path_, "secret");
         env_.openSuffix = "alert_config.xml";
         env_.openErrno = EACCES;
       },
       {opening, "ERROR 0 RetrieveDetailsFromXML: Couldn't open " + path_ + ": Permission denied"}},
      {"symbolic link",
       [&] { ::symlink((directory_ + "/elsewhere").c_str(), path_.c_str()); },
       {opening, "ERROR 0 RetrieveDetailsFromXML: Couldn't open " + path_ +
                     ": Too many levels of symbolic links"}},
      {"directory in place of the file",
       [&] { ::mkdir(path_.c_str(), 0700); },
       {opening, loading,
        "ERROR 0 RetrieveDetailsFromXML: Couldn't read " + path_ + ": Is a directory"}},
      {"read error in the middle",
       [&] {
         WriteWhole(path_, std::string(10000, 'x'));
         env_.failRead = 2;
       },
       {opening, loading,
        "ERROR 0 RetrieveDetailsFromXML: Couldn't read " + path_ + ": Input/output error"}},
  };
  WriteWhole(directory_ + "/elsewhere", "not the configuration");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(path_.c_str());
    ::rmdir(path_.c_str());
    env_.ClearFaults();
    c.arrange();
    test_env_.ClearLog();
    std::string out = "untouched";
    EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(out), 1);
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, "unchanged");
    EXPECT_EQ(Log(), c.log);
  }
}

TEST_F(AlertConfigCacheTest, LargeFileIsReadWholeInChunks) {
  std::string text(10000, ' ');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  WriteWhole(path_, text);
  std::string out;
  EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(out), 0);
  EXPECT_EQ(out, text);
  EXPECT_EQ(env_.readSizes, (std::vector<ssize_t>{4096, 4096, 1808, 0}));
}

TEST_F(AlertConfigCacheTest, FailedStepKeepsTheOldConfiguration) {
  const std::string oldText = MakeConfig("old");
  const std::string newText = MakeConfig("new", 1000);
  const std::string tmp = path_ + ".tmp";
  struct Case {
    const char* step;
    std::function<void()> arrange;
    int line;
    std::string message;
    std::string cause;
  };
  const Case cases[] = {
      {"create",
       [&] {
         env_.openSuffix = ".tmp";
         env_.openErrno = EACCES;
       },
       96, "Failed to open " + tmp + " for writing", "Permission denied"},
      {"lock",
       [&] {
         env_.openSuffix = ".lock";
         env_.openErrno = EROFS;
       },
       96, "Failed to open " + tmp + " for writing", "Read-only file system"},
      {"write",
       [&] {
         env_.writeCap = 300;
         env_.failWrite = 3;
       },
       104, "Failed to write " + std::to_string(newText.size() - 600) + " into " + tmp,
       "No space left on device"},
      {"flush", [&] { env_.syncErrno = EIO; }, 109, "Failed to flush " + tmp + " buffers",
       "Input/output error"},
      {"rename", [&] { env_.renameErrno = EXDEV; }, 113, "Failed to rename " + tmp + " to " + path_,
       "Invalid cross-device link"},
  };
  ASSERT_FALSE(NTAlertProcessClient::UpdateAlertConfig(oldText).IsError());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    NTAlertProcessClient::xmlDataForAlerts = "unchanged";
    env_.ClearFaults();
    c.arrange();
    CYqError error = NTAlertProcessClient::UpdateAlertConfig(newText);
    ExpectError(error, c.line, c.message);
    EXPECT_NE(error.ToString().find(c.cause), std::string::npos) << error.ToString();
    EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, "unchanged");
    env_.ClearFaults();
    std::string out;
    EXPECT_EQ(NTAlertProcessClient::RetrieveDetailsFromXML(out), 0);
    EXPECT_EQ(out, oldText);
    // The next update goes through, whatever the failed one left behind.
    ASSERT_FALSE(NTAlertProcessClient::UpdateAlertConfig(newText).IsError());
    EXPECT_EQ(ReadWhole(path_), newText);
    ASSERT_FALSE(NTAlertProcessClient::UpdateAlertConfig(oldText).IsError());
  }
}

// Reads until `stop`, checking that every read is one of `texts` whole.
void ReadWhileWriting(const std::set<std::string>& texts, const std::atomic<bool>& stop,
                      std::atomic<int>* reads, std::atomic<int>* torn) {
  while (!stop) {
    std::string out;
    if (NTAlertProcessClient::RetrieveDetailsFromXML(out) != 0 || texts.count(out) == 0) ++*torn;
    ++*reads;
  }
}

TEST_F(AlertConfigCacheTest, ThreadsReadWholeTextsWhileOthersWrite) {
  test_env_.SetLogLevel(-1);  // keep the capture small
  std::vector<std::string> texts;
  for (int i = 0; i < 3; ++i) texts.push_back(MakeConfig(std::string(1, 'a' + i), 20000 * i));
  const std::set<std::string> textSet(texts.begin(), texts.end());
  ASSERT_FALSE(NTAlertProcessClient::UpdateAlertConfig(texts[0]).IsError());

  std::atomic<bool> stop{false};
  std::atomic<int> reads{0}, torn{0}, failedWrites{0}, writesDone{0};
  std::vector<std::thread> threads;
  for (const std::string& text : texts) {
    threads.emplace_back([&, text] {
      while (!stop) {
        failedWrites += NTAlertProcessClient::UpdateAlertConfig(text).IsError();
        ++writesDone;
      }
    });
  }
  for (int i = 0; i < 3; ++i)
    threads.emplace_back(ReadWhileWriting, textSet, std::cref(stop), &reads, &torn);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  stop = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(failedWrites, 0);
  EXPECT_GT(reads, 0);
  EXPECT_GT(writesDone, 3);
  EXPECT_EQ(textSet.count(NTAlertProcessClient::xmlDataForAlerts), 1u);
}

TEST_F(AlertConfigCacheTest, ProcessesUpdatingAtOnceNeverTearTheFile) {
  test_env_.SetLogLevel(-1);
  std::vector<std::string> texts;
  for (int i = 0; i < 3; ++i) texts.push_back(MakeConfig(std::string(1, 'p' + i), 30000 * i));
  const std::set<std::string> textSet(texts.begin(), texts.end());
  ASSERT_FALSE(NTAlertProcessClient::UpdateAlertConfig(texts[0]).IsError());

  std::vector<pid_t> children;
  for (int i = 1; i < 3; ++i) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {  // a writer of its own text for a second; reports by exit status
      int failures = 0;
      auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
      while (std::chrono::steady_clock::now() < end) {
        failures += NTAlertProcessClient::UpdateAlertConfig(texts[i]).IsError();
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0}, torn{0};
  std::thread reader(ReadWhileWriting, textSet, std::cref(stop), &reads, &torn);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  stop = true;
  reader.join();
  EXPECT_EQ(torn, 0);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(textSet.count(ReadWhole(path_)), 1u);
  EXPECT_EQ(ListDirectory(directory_).count("alert_config.xml.tmp"), 0u);
}

}  // namespace
