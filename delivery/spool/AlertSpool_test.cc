#include "platform/KTAlert.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "delivery/spool/AlertSpool.h"
#include "platform/testing/CrashEnv.h"
#include "platform/testing/FaultEnv.h"
#include "platform/testing/TestEnv.h"
#include "platform/testing/TestUtil.h"
#include "platform/testing/XmlCheck.h"
#include "tarnalert/alert/EvAlertEx.h"

namespace {

using tarnalert::ScopedEnv;
using tarnalert::test::CrashEnv;
using tarnalert::test::FaultEnv;
using tarnalert::test::FileOp;
using tarnalert::test::ListDirectory;
using tarnalert::test::ReadWhole;

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

// The alert read back from the spool file `path`; a failure names the file
// when it holds no whole spooled alert.
EvAlertEx ReadBack(const std::string& path) {
  EvAlertEx back;
  std::string error;
  EXPECT_TRUE(tarnalert::detail::ReadSpoolDocument(ReadWhole(path), &back, &error))
      << path << ": " << error;
  return back;
}

class SpoolTest : public ::testing::Test {
 protected:
  // Sends one sample alert; returns the adapter's error text, empty when it
  // was handed over.
  std::string Send() {
    EvAlertEx alert = SampleAlert();
    KTAlert adapter;
    const int result = adapter.SendAlert(alert);
    EXPECT_EQ(result != 0, !adapter.getErrorString().empty());
    return adapter.getErrorString();
  }

  FaultEnv env_;
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

  const EvAlertEx back = ReadBack(spool_ + "/" + files[0]);
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

// A spool setting that names a file, or a directory under one: the reason
// given for the file itself was a stale errno ("Success").
TEST_F(SpoolTest, UnwritableSpoolDirectoryIsReported) {
  const std::string file = env_.scratch_directory() + "/plainfile";
  std::ofstream(file) << "x";
  for (const std::string& spool : {file + "/spool", file}) {
    env_.SetSetting("SPOOL_DIR", spool);
    EXPECT_EQ(Send(), "cannot use spool directory " + spool + ": Cannot create directory " + file +
                          ": Not a directory");
  }
}

TEST_F(SpoolTest, FailedStepLeavesNothingBehind) {
  const struct {
    FileOp step;
    int error;
    const char* reason;
  } cases[] = {
      {FileOp::kOpen, EACCES, "Permission denied"},
      {FileOp::kWrite, ENOSPC, "No space left on device"},
      {FileOp::kSync, EIO, "Input/output error"},
      // The result of close was not looked at: a lost write went unnoticed.
      {FileOp::kClose, EIO, "Input/output error"},
      {FileOp::kRename, EXDEV, "Invalid cross-device link"},
      // A file in place but not durable was reported as handed over.
      {FileOp::kSyncDirectory, EIO, "Input/output error"},
  };
  ASSERT_EQ(Send(), "");  // makes the spool directory
  const std::vector<std::string> before = ListDirectory(spool_);
  for (const auto& c : cases) {
    env_.Fail(c.step, 1, c.error, false, c.step == FileOp::kSyncDirectory ? "spool" : ".tmp");
    const std::string error = Send();
    EXPECT_NE(error.find("cannot spool alert into " + spool_), std::string::npos)
        << c.reason << ": " << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.reason << ": " << error;
    EXPECT_EQ(ListDirectory(spool_), before) << c.reason;
  }
}

// Written seven bytes at a time, still one whole file; named and dated by
// the Env's clock.
TEST_F(SpoolTest, ShortWritesGiveACompleteFileNamedByTheEnvClock) {
  env_.LimitWrites(7);
  env_.PinTime(1700000000123456);  // 2023-11-14 22:13:20.123456 UTC
  ASSERT_EQ(Send(), "");
  std::vector<std::string> files = ListDirectory(spool_);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].substr(0, 26), "20231114T221320.123456000Z");
  EXPECT_NE(ReadWhole(spool_ + "/" + files[0]).find("spooledAt=\"2023-11-14T22:13:20Z\""),
            std::string::npos);
  ReadBack(spool_ + "/" + files[0]);
}

// Writers killed mid-write leave hidden temporary files; the next writer
// removes those of them older than an hour, and nothing else.
TEST_F(SpoolTest, NextWriterRemovesStaleTemporaryFiles) {
  ASSERT_EQ(::mkdir(spool_.c_str(), 0700), 0);
  // A day ahead, past the once-a-minute sweep of any earlier test in this process.
  const time_t now = ::time(nullptr) + 86400;
  const struct {
    const char* name;
    time_t age;  // seconds before the writer's clock
    bool kept;
  } files[] = {
      {".20261206T100000.000000000Z-1-1-0.alert.tmp", 7200, false},
      {".20261206T100000.000000000Z-1-1-1.alert.tmp", 3700, false},
      {".20261206T110000.000000000Z-1-1-2.alert.tmp", 600, true},  // a writer may be at work
      {"20261206T100000.000000000Z-1-1-3.alert", 7200, true},      // an alert
      {"notes.tmp", 7200, true},                                   // not a name of ours
  };
  for (const auto& file : files) {
    const std::string path = spool_ + "/" + file.name;
    std::ofstream(path) << "x";
    const struct timeval times[2] = {{now - file.age, 0}, {now - file.age, 0}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0) << file.name;
  }
  ASSERT_EQ(::symlink("/nonexistent", (spool_ + "/.link.alert.tmp").c_str()), 0);
  env_.PinTime(static_cast<uint64_t>(now) * 1000000);
  ASSERT_EQ(Send(), "");
  const std::vector<std::string> left = ListDirectory(spool_);
  for (const auto& file : files) {
    EXPECT_EQ(std::count(left.begin(), left.end(), file.name), file.kept ? 1 : 0) << file.name;
  }
  EXPECT_EQ(std::count(left.begin(), left.end(), ".link.alert.tmp"), 1) << "a link is not ours";
  EXPECT_EQ(left.size(), 5u);  // the three kept, the link and the new alert
}

// Every alert reported as handed over is still there, whole, after a power
// loss at any later point; no half alert ever shows.
TEST(SpoolCrashTest, EveryAlertReportedHandedOverSurvivesAPowerLoss) {
  constexpr int kAlerts = 3;
  bool reached_the_end = false;
  for (int step = 0; !reached_the_end; ++step) {
    CrashEnv env;
    ScopedEnv scoped(&env);
    const std::string spool = env.scratch_directory() + "/spool";
    env.CrashAfter(step);
    std::set<int> reported;
    for (int i = 0; i < kAlerts; ++i) {
      EvAlertEx alert = SampleAlert();
      alert.alertType = i;
      if (KTAlert().SendAlert(alert) == 0) reported.insert(i);
    }
    reached_the_end = !env.stopped();
    env.Crash();
    std::set<int> found;
    SCOPED_TRACE("crash after " + std::to_string(step));
    for (const std::string& name : ListDirectory(spool)) {
      if (name.size() < 6 || name.substr(name.size() - 6) != ".alert") continue;
      found.insert(ReadBack(spool + "/" + name).alertType);
    }
    for (int i : reported) {
      EXPECT_EQ(found.count(i), 1u) << "alert " << i;
    }
  }
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
    const EvAlertEx back = ReadBack(spool_ + "/" + file);
    seen.insert({back.alertType, back.criteria});
  }
  EXPECT_EQ(seen.size(), files.size());
}

// A host whose name XML cannot carry as it is.
class OddHostEnv : public tarnalert::test::TestEnv {
 public:
  std::string PhysicalMachineName(const std::string&) override { return "web\x01\xff"; }
};

TEST(SpoolDocumentTest, AnyTextComesBackFromConformingXml) {
  OddHostEnv env;
  ScopedEnv scoped(&env);
  std::vector<tarnalert::test::LabelledText> documents;
  for (const tarnalert::test::LabelledText& row : tarnalert::test::HostileTexts()) {
    EvAlertEx alert = SampleAlert();
    alert.auxText14 = row.text;
    alert.auxText16 = row.text + "!";
    alert.msgString = row.text;
    alert.getEventMsgList()[0].text = row.text;
    const std::string text = tarnalert::detail::SpoolDocument(alert);
    EvAlertEx back;
    std::string error;
    ASSERT_TRUE(tarnalert::detail::ReadSpoolDocument(text, &back, &error)) << row.label << error;
    EXPECT_EQ(back.auxText14, alert.auxText14) << row.label;
    EXPECT_EQ(back.auxText15, alert.auxText15) << row.label;
    EXPECT_EQ(back.auxText16, alert.auxText16) << row.label;
    EXPECT_EQ(back.msgString, alert.msgString) << row.label;
    ASSERT_EQ(back.getEventMsgList().size(), alert.getEventMsgList().size()) << row.label;
    for (size_t i = 0; i < back.getEventMsgList().size(); ++i) {
      EXPECT_EQ(back.getEventMsgList()[i].text, alert.getEventMsgList()[i].text) << row.label;
    }
    documents.push_back({row.label, text});
  }
  EXPECT_NE(documents[0].text.find("client=\"d2ViAf8=\" clientEncoding=\"base64\""),
            std::string::npos);
  EXPECT_TRUE(tarnalert::test::XmlLintAccepts(documents));
}

TEST(SpoolDocumentTest, RejectsWhatIsNotASpooledAlert) {
  EvAlertEx alert;
  alert.alertType = 9;
  std::string error;
  for (const char* text :
       {"", "<other/>", "<spooledAlert><alertType>x</alertType></spooledAlert>",
        "<spooledAlert><arguments><argument argType=\"-1\"/></arguments>"
        "</spooledAlert>",
        "<spooledAlert><msgString encoding=\"hex\">41</msgString></spooledAlert>",
        "<spooledAlert><auxText14 encoding=\"base64\">QQ</auxText14>"
        "</spooledAlert>"}) {
    EXPECT_FALSE(tarnalert::detail::ReadSpoolDocument(text, &alert, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(alert.alertType, 9) << text;
  }
}

}  // namespace
