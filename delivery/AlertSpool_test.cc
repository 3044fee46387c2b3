#include "platform/KTAlert.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "delivery/AlertSpool.h"
#include "platform/testing/TestEnv.h"
#include "tarnalert/alert/EvAlertEx.h"

namespace {

using tarnalert::ScopedEnv;
using tarnalert::test::TestEnv;

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  return names;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

EvAlertEx SampleAlert() {
  EvAlertEx alert;
  alert.alertType = 5;
  alert.criteria = 2;
  alert.status = 3;
  alert.auxNumber6 = -6;
  alert.auxNumber13 = INT64_MIN;
  alert.auxText14 = "text & <markup> \"quoted\"";
  alert.auxText15 = "line one\r\nline two\ttab \xe6\x97\xa5\xe6\x9c\xac";
  alert.curEventCode = 0x4a00003f;
  alert.curMessageId = UINT64_MAX;
  alert << "first argument" << -42;
  alert.fmtNewMsgString("message %d", 7);
  alert.setJMFailureReasons("4 5");
  return alert;
}

class SpoolTest : public ::testing::Test {
 protected:
  TestEnv env_;
  ScopedEnv scoped_{&env_};
  std::string spool_ = env_.scratch_directory() + "/spool";
};

TEST_F(SpoolTest, AlertBecomesOneCompleteFile) {
  EvAlertEx alert = SampleAlert();
  KTAlert adapter;
  ASSERT_EQ(adapter.SendAlert(alert), 0);
  EXPECT_EQ(adapter.getErrorString(), "");
  std::vector<std::string> files = ListDirectory(spool_);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].substr(files[0].size() - 6), ".alert");
  struct stat info;
  ASSERT_EQ(stat((spool_ + "/" + files[0]).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0077, 0u);

  EvAlertEx back;
  std::string error;
  ASSERT_TRUE(
      tarnalert::detail::ReadSpoolDocument(ReadWhole(spool_ + "/" + files[0]), &back, &error))
      << error;
  EXPECT_EQ(back.alertType, 5);
  EXPECT_EQ(back.status, 3);
  EXPECT_EQ(back.auxNumber6, -6);
  EXPECT_EQ(back.auxNumber13, INT64_MIN);
  EXPECT_EQ(back.auxText14, alert.auxText14);
  EXPECT_EQ(back.auxText15, alert.auxText15);
  EXPECT_EQ(back.curMessageId, UINT64_MAX);
  EXPECT_EQ(back.msgString, "message 7");
  EXPECT_EQ(back.jmFailureReasons, (std::vector<int32_t>{4, 5}));
  ASSERT_EQ(back.eventMsgList.size(), 2u);
  EXPECT_EQ(back.eventMsgList[0].text, "first argument");
  EXPECT_EQ(back.eventMsgList[0].eventCode, 0x4a00003fu);
  EXPECT_EQ(back.eventMsgList[1].text, "-42");
  EXPECT_EQ(back.eventMsgList[1].argType, 5u);
}

TEST_F(SpoolTest, UnwritableSpoolDirectoryIsReported) {
  std::ofstream(env_.scratch_directory() + "/plainfile") << "x";
  env_.SetSetting("SPOOL_DIR", env_.scratch_directory() + "/plainfile/spool");
  EvAlertEx alert = SampleAlert();
  KTAlert adapter;
  EXPECT_NE(adapter.SendAlert(alert), 0);
  EXPECT_NE(adapter.getErrorString().find("cannot create spool directory"), std::string::npos)
      << adapter.getErrorString();
}

// Fails every write, as a full disk would.
class FullDiskEnv : public TestEnv {
 public:
  ssize_t WriteFile(int, const void*, size_t) override {
    errno = ENOSPC;
    return -1;
  }
};

TEST(SpoolFailureTest, FailedWriteLeavesNothingBehind) {
  FullDiskEnv env;
  ScopedEnv scoped(&env);
  EvAlertEx alert = SampleAlert();
  KTAlert adapter;
  EXPECT_NE(adapter.SendAlert(alert), 0);
  EXPECT_NE(adapter.getErrorString().find("No space left on device"), std::string::npos)
      << adapter.getErrorString();
  EXPECT_TRUE(ListDirectory(env.scratch_directory() + "/spool").empty());
}

TEST_F(SpoolTest, NamesNeverCollideAcrossThreads) {
  constexpr int kThreads = 4;
  constexpr int kAlertsEach = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kAlertsEach; ++i) {
        EvAlertEx alert;
        alert.alertType = t;
        alert.criteria = i;
        KTAlert adapter;
        EXPECT_EQ(adapter.SendAlert(alert), 0);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<std::string> files = ListDirectory(spool_);
  ASSERT_EQ(files.size(), static_cast<size_t>(kThreads * kAlertsEach));
  std::set<std::pair<int, int>> seen;
  for (const std::string& file : files) {
    EvAlertEx back;
    std::string error;
    ASSERT_TRUE(tarnalert::detail::ReadSpoolDocument(ReadWhole(spool_ + "/" + file), &back, &error))
        << file << ": " << error;
    seen.insert({back.alertType, back.criteria});
  }
  EXPECT_EQ(seen.size(), files.size());
}

TEST(SpoolDocumentTest, RejectsWhatIsNotASpooledAlert) {
  EvAlertEx alert;
  alert.alertType = 9;
  std::string error;
  for (const char* text : {"", "<other/>", "<spooledAlert><alertType>x</alertType></spooledAlert>",
                           "<spooledAlert><arguments><argument argType=\"-1\"/></arguments>"
                           "</spooledAlert>"}) {
    EXPECT_FALSE(tarnalert::detail::ReadSpoolDocument(text, &alert, &error)) << text;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(alert.alertType, 9);
  }
}

}  // namespace
