// The configuration cache where the file system gets in the way: a directory
// that cannot be made, and a rename whose directory cannot be flushed.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/testing/FaultEnv.h"
#include "platform/testing/TestUtil.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"

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

}  // namespace
