#include "platform/files/File.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/testing/CrashEnv.h"
#include "platform/testing/FaultEnv.h"
#include "platform/testing/TestUtil.h"

namespace {

namespace fs = std::filesystem;
using tarnalert::test::CrashEnv;
using tarnalert::test::FaultEnv;
using tarnalert::test::FileOp;
using tarnalert::test::ListDirectory;
using tarnalert::test::ReadWhole;

class FileTest : public ::testing::Test {
 protected:
  FaultEnv env_;
  tarnalert::ScopedEnv scoped_{&env_};
  const std::string dir_ = env_.scratch_directory();

  // The scratch directory, opened for WriteFileDurably.
  tarnalert::Directory OpenDir() {
    tarnalert::Directory dir;
    EXPECT_YQ_OK(tarnalert::Directory::Open(&env_, dir_, false, &dir));
    return dir;
  }
};

TEST_F(FileTest, AppendLoopsOverShortWrites) {
  env_.LimitWrites(3);
  tarnalert::WritableFile file;
  ASSERT_YQ_OK(file.Open(&env_, dir_ + "/f", O_WRONLY | O_CREAT | O_EXCL, 0600));
  EXPECT_YQ_OK(file.Append("a text longer than three bytes"));
  EXPECT_YQ_OK(file.Close());
  EXPECT_EQ(ReadWhole(dir_ + "/f"), "a text longer than three bytes");
}

TEST_F(FileTest, AppendWithoutProgressFails) {
  env_.LimitWrites(0);
  tarnalert::WritableFile file;
  ASSERT_YQ_OK(file.Open(&env_, dir_ + "/f", O_WRONLY | O_CREAT | O_EXCL, 0600));
  CYqError error = file.Append("abc");
  EXPECT_EQ(error.Code(), -EIO);
  EXPECT_EQ(error.LastMessage(), "Cannot write to " + dir_ + "/f: Input/output error");
}

TEST_F(FileTest, CloseReportsTheErrorOfClose) {
  tarnalert::WritableFile file;
  ASSERT_YQ_OK(file.Open(&env_, dir_ + "/f", O_WRONLY | O_CREAT | O_EXCL, 0600));
  env_.Fail(FileOp::kClose, 1, EIO);
  CYqError error = file.Close();
  EXPECT_EQ(error.LastMessage(), "Cannot close " + dir_ + "/f: Input/output error");
  EXPECT_FALSE(file.is_open());  // closed all the same
}

TEST_F(FileTest, ReadFileToStringRefusesWhatItCannotHoldWhole) {
  std::ofstream(dir_ + "/small") << "12345";
  fs::create_directory(dir_ + "/sub");
  // A FIFO with no writer blocked the reader forever.
  ASSERT_EQ(::mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
  fs::create_symlink(dir_ + "/small", dir_ + "/link");
  const tarnalert::Directory dir = OpenDir();
  const struct {
    std::string name;
    size_t max;
    int code;
    std::string message;
  } cases[] = {
      {"small", 5, 0, ""},
      {"small", 4, -EFBIG, "Cannot read " + dir_ + "/small: larger than 4 bytes"},
      {"sub", 100, -EINVAL, "Cannot read " + dir_ + "/sub: not a regular file"},
      {"fifo", 100, -EINVAL, "Cannot read " + dir_ + "/fifo: not a regular file"},
      {"link", 100, -ELOOP, "Cannot open " + dir_ + "/link: Too many levels of symbolic links"},
      {"missing", 100, -ENOENT, "Cannot open " + dir_ + "/missing: No such file or directory"},
  };
  for (const auto& c : cases) {
    std::string out = "old";
    CYqError error = tarnalert::ReadFileToString(dir, c.name, c.max, &out);
    EXPECT_EQ(error.Code(), c.code) << c.name << " at most " << c.max;
    EXPECT_EQ(error.LastMessage(), c.message) << c.name << " at most " << c.max;
    EXPECT_EQ(out, c.code == 0 ? "12345" : "") << c.name << " at most " << c.max;
  }
}

TEST_F(FileTest, WriteFileDurablyLeavesTheTargetAloneWhenAStepFails) {
  std::ofstream(dir_ + "/target") << "old";
  const tarnalert::Directory dir = OpenDir();
  for (FileOp step :
       {FileOp::kOpen, FileOp::kWrite, FileOp::kSync, FileOp::kClose, FileOp::kRename}) {
    env_.Fail(step, 1, ENOSPC);
    CYqError error = tarnalert::WriteFileDurably(dir, "target", "new");
    EXPECT_EQ(error.Code(), -ENOSPC) << "step " << static_cast<int>(step);
    EXPECT_EQ(ReadWhole(dir_ + "/target"), "old") << "step " << static_cast<int>(step);
    EXPECT_EQ(ListDirectory(dir_), std::vector<std::string>{"target"})
        << "step " << static_cast<int>(step);
  }
}

TEST_F(FileTest, WriteFileDurablySaysWhenOnlyTheDirectorySyncFailed) {
  const tarnalert::Directory dir = OpenDir();
  env_.Fail(FileOp::kSyncDirectory, 1, EIO);
  CYqError error = tarnalert::WriteFileDurably(dir, "target", "new");
  EXPECT_EQ(error.LastMessage(), "Wrote " + dir_ + "/target but cannot flush directory " + dir_ +
                                     ": Input/output error");
  EXPECT_EQ(ReadWhole(dir_ + "/target"), "new");
}

// A power loss at any step of a durable write leaves the old or the new
// content whole, and the new one once success was reported.
TEST(FileCrashTest, WriteFileDurablyKeepsOldOrNewWholeThroughAPowerLoss) {
  CrashEnv env;
  tarnalert::ScopedEnv scoped(&env);
  const std::string dir = env.scratch_directory() + "/d";
  tarnalert::Directory opened;
  ASSERT_YQ_OK(tarnalert::Directory::Open(&env, dir, true, &opened));
  ASSERT_YQ_OK(tarnalert::WriteFileDurably(opened, "target", "old"));
  bool reached_the_end = false;
  for (int step = 0; !reached_the_end; ++step) {
    env.CrashAfter(step);
    const bool reported = !tarnalert::WriteFileDurably(opened, "target", "new text").IsError();
    reached_the_end = !env.stopped();
    env.Crash();
    const std::string after = ReadWhole(dir + "/target");
    EXPECT_TRUE(after == "old" || after == "new text") << "crash after " << step << ": " << after;
    EXPECT_TRUE(!reported || after == "new text") << "crash after " << step;
    EXPECT_EQ(ListDirectory(dir), std::vector<std::string>{"target"}) << "crash after " << step;
    ASSERT_YQ_OK(tarnalert::WriteFileDurably(opened, "target", "old"));
  }
}

// A directory made for a file must itself survive a power loss, or the file
// goes with it.
TEST(FileCrashTest, MadeDirectoriesSurviveAPowerLoss) {
  CrashEnv env;
  tarnalert::ScopedEnv scoped(&env);
  const std::string dir = env.scratch_directory() + "/a/b";
  tarnalert::Directory opened;
  ASSERT_YQ_OK(tarnalert::Directory::Open(&env, dir, true, &opened));
  ASSERT_YQ_OK(tarnalert::WriteFileDurably(opened, "f", "x"));
  env.Crash();
  EXPECT_EQ(ReadWhole(dir + "/f"), "x");
}

}  // namespace
