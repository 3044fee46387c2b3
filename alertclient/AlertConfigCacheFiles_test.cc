// The configuration cache where the file system gets in the way: a directory
// that cannot be made, a rename whose directory cannot be flushed, and files
// in the configuration's place that the trust rule refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/testing/FaultEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/alertclient/InstalledConfig.h"

namespace {

const char kConfig[] =
    "<GetAlertDetailForClientResp><tarnholdName>new</tarnholdName></GetAlertDetailForClientResp>";

using tarnalert::test::FaultEnv;
using tarnalert::test::FileOp;
using tarnalert::test::ReadWhole;

TEST(AlertConfigCacheFilesTest, RenameWhoseDirectoryCannotBeFlushedCountsAsInstalled) {
  FaultEnv env;
  tarnalert::ScopedEnv scoped(&env);
  ASSERT_FALSE(NTAlertProcessClient::UpdateAlertConfig(kConfig).IsError());  // makes the directory
  env.Fail(FileOp::kSyncDirectory, 1, EIO, true);
  NTAlertProcessClient::xmlDataForAlerts = "old";
  const CYqError result = NTAlertProcessClient::UpdateAlertConfig(kConfig);
  EXPECT_FALSE(result.IsError()) << result.ToString();
  EXPECT_EQ(ReadWhole(NTAlertProcessClient::GetConfigFileName()), kConfig);
  EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, kConfig);
  EXPECT_EQ(env.CountLogLines("NTAlertProcessClient::UpdateAlertConfig: Renamed "), 1u);
  EXPECT_EQ(env.CountLogLines("cannot flush directory"), 1u);
}

TEST(AlertConfigCacheFilesTest, DirectoryThatCannotBeMadeIsNamedWithTheSystemText) {
  tarnalert::test::TestEnv env;
  tarnalert::ScopedEnv scoped(&env);
  const std::string file = env.scratch_directory() + "/file";
  std::ofstream(file) << "in the way";
  env.SetSetting("JOB_RESULTS_DIR", file + "/jobresults");
  const CYqError result = NTAlertProcessClient::UpdateAlertConfig(kConfig);
  ASSERT_TRUE(result.IsError());
  ASSERT_FALSE(result.Messages().empty());
  // The file in the way is named.
  EXPECT_EQ(result.Messages().front().text,
            "Cannot create directory " + file + ": Not a directory");
}

// The local road and ReadInstalledConfig (for the tool's render and config
// show) read the file by one rule: a link of the user's to a file of theirs
// is followed; a FIFO fails at once; a file others may write is refused,
// with the reason in the road's log.
TEST(AlertConfigCacheFilesTest, TheInstalledConfigurationIsReadByTheTrustRule) {
  namespace fs = std::filesystem;
  tarnalert::test::TestEnv env;
  tarnalert::ScopedEnv scoped(&env);
  ASSERT_FALSE(NTAlertProcessClient::UpdateAlertConfig(kConfig).IsError());
  const std::string path = NTAlertProcessClient::GetConfigFileName();
  const std::string elsewhere = env.scratch_directory() + "/elsewhere.xml";
  const struct {
    const char* label;
    std::function<void()> make;
    std::string refusal;  // empty: kConfig is read
  } cases[] = {
      {"the installed file", [] {}, ""},
      {"a link of ours to a file of ours",
       [&] {
         fs::rename(path, elsewhere);
         fs::create_symlink(elsewhere, path);
       },
       ""},
      {"a FIFO",
       [&] {
         fs::remove(path);
         ::mkfifo(path.c_str(), 0600);
       },
       "Refusing the configuration " + path + ": not a regular file"},
      {"a file others may write",
       [&] {
         fs::remove(path);
         std::ofstream(path) << kConfig;
         fs::permissions(path, fs::perms(0666));
       },
       "Refusing the configuration " + path + ": writable by group or others (mode 0666)"},
  };
  for (const auto& c : cases) {
    c.make();
    env.ClearLog();
    std::string read, shown, shownPath;
    const int road = NTAlertProcessClient::RetrieveDetailsFromXML(read);
    const CYqError error = tarnalert::ReadInstalledConfig(&shownPath, &shown);
    EXPECT_EQ(shownPath, path) << c.label;
    if (c.refusal.empty()) {
      EXPECT_EQ(road, 0) << c.label;
      EXPECT_EQ(read, kConfig) << c.label;
      EXPECT_EQ(shown, kConfig) << c.label;
      EXPECT_FALSE(error.IsError()) << c.label << ": " << error.ToString();
    } else {
      EXPECT_EQ(road, 1) << c.label;
      EXPECT_EQ(env.CountLogLines(c.refusal), 1u) << c.label;
      EXPECT_EQ(error.LastMessage(), c.refusal) << c.label;
      EXPECT_EQ(shown, "") << c.label;
    }
  }
  ::unlink(path.c_str());
  std::string shown, shownPath;
  const CYqError missing = tarnalert::ReadInstalledConfig(&shownPath, &shown);
  EXPECT_EQ(missing.Code(), -ENOENT);
  EXPECT_EQ(missing.LastMessage(), "no configuration is installed at " + path);
}

}  // namespace
