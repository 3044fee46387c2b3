// The configuration cache where the file system gets in the way: a directory
// that cannot be made, and a rename whose directory cannot be flushed.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/testing/TestEnv.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

namespace {

const char kConfig[] =
    "<GetAlertDetailForClientResp><tarnholdName>new</tarnholdName></GetAlertDetailForClientResp>";

std::string ReadWhole(const std::string& path) {
  return {std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}};
}

// Every directory flush fails with EIO.
class UnflushableEnv : public tarnalert::testing::TestEnv {
 public:
  int SyncDirectory(const std::string&) override {
    errno = EIO;
    return -1;
  }
};

TEST(AlertConfigCacheFilesTest, RenameWhoseDirectoryCannotBeFlushedCountsAsInstalled) {
  UnflushableEnv env;
  tarnalert::testing::ScopedEnv scoped(&env);
  NTAlertProcessClient::xmlDataForAlerts = "old";
  const CYqError result = NTAlertProcessClient::UpdateAlertConfig(kConfig);
  EXPECT_FALSE(result.IsError()) << result.ToString();
  EXPECT_EQ(ReadWhole(NTAlertProcessClient::GetConfigFileName()), kConfig);
  EXPECT_EQ(NTAlertProcessClient::xmlDataForAlerts, kConfig);
  EXPECT_EQ(env.CountLogLines("NTAlertProcessClient::UpdateAlertConfig: Renamed "), 1u);
  EXPECT_EQ(env.CountLogLines("cannot flush directory"), 1u);
}

TEST(AlertConfigCacheFilesTest, DirectoryThatCannotBeMadeIsNamedWithTheSystemText) {
  tarnalert::testing::TestEnv env;
  tarnalert::testing::ScopedEnv scoped(&env);
  const std::string file = env.scratch_directory() + "/file";
  std::ofstream(file) << "in the way";
  env.SetSetting("JOB_RESULTS_DIR", file + "/jobresults");
  const CYqError result = NTAlertProcessClient::UpdateAlertConfig(kConfig);
  ASSERT_TRUE(result.IsError());
  ASSERT_FALSE(result.Messages().empty());
  EXPECT_EQ(result.Messages().front().text,
            "Cannot create directory " + file + "/jobresults: Not a directory");
}

}  // namespace
