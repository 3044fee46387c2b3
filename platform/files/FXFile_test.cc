#include "platform/files/FXFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/testing/CrashEnv.h"
#include "platform/testing/FaultEnv.h"
#include "platform/testing/TestUtil.h"

namespace {

namespace fs = std::filesystem;
using tarnalert::test::CrashEnv;
using tarnalert::test::FaultEnv;
using tarnalert::test::ReadWhole;

class FXFileTest : public ::testing::Test {
 protected:
  CYqError Create(const std::string& path, unsigned long disposition) {
    return FXFile::KTCreateFile(handle_, path.c_str(), FXFile::kGenericRead | FXFile::kGenericWrite,
                                0, nullptr, disposition, 0, nullptr);
  }
  FaultEnv env_;
  tarnalert::ScopedEnv scoped_{&env_};
  const std::string dir_ = env_.scratch_directory();
  auto_handle handle_;
};

TEST_F(FXFileTest, NewFileIsPrivateWhateverTheUmask) {
  const mode_t oldMask = ::umask(0);  // only the mode given at creation keeps others out
  CYqError error = Create(dir_ + "/file", FXFile::kCreateNew);
  ::umask(oldMask);
  ASSERT_YQ_OK(error);
  EXPECT_EQ(fs::status(dir_ + "/file").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(FXFileTest, WriteWithoutProgressFails) {
  ASSERT_YQ_OK(Create(dir_ + "/file", FXFile::kCreateNew));
  env_.LimitWrites(0);  // a write without progress fails, so no writer loops forever
  unsigned long written = 7;
  EXPECT_EQ(FXFile::KTWriteFile(handle_, "abc", 3, &written, nullptr).Code(), -EIO);
  EXPECT_EQ(written, 0u);
}

// Written, flushed and moved over the target: the new text survives a power
// loss right after the move.
TEST(FXFileCrashTest, MovedFileSurvivesAPowerLoss) {
  CrashEnv env;
  tarnalert::ScopedEnv scoped(&env);
  const std::string from = env.scratch_directory() + "/file.tmp";
  const std::string to = env.scratch_directory() + "/file";
  std::ofstream(to) << "old";
  auto_handle handle;
  ASSERT_YQ_OK(FXFile::KTCreateFile(handle, from.c_str(), FXFile::kGenericWrite, 0, nullptr,
                                    FXFile::kCreateNew, 0, nullptr));
  unsigned long written = 0;
  ASSERT_YQ_OK(FXFile::KTWriteFile(handle, "new text", 8, &written, nullptr));
  ASSERT_EQ(written, 8u);
  ASSERT_YQ_OK(FXFile::KTFlushFileBuffers(handle));
  handle.reset();
  ASSERT_YQ_OK(FXFile::KTMoveFileEx(from.c_str(), to.c_str(), FXFile::kMoveReplaceExisting));
  env.Crash();
  EXPECT_EQ(ReadWhole(to), "new text");
  EXPECT_FALSE(fs::exists(from));
}

TEST_F(FXFileTest, NeverOpensThroughASymbolicLink) {
  const std::string target = dir_ + "/target", link = dir_ + "/link";
  std::ofstream(target) << "keep";
  fs::create_symlink(target, link);
  for (unsigned long each = FXFile::kCreateNew; each <= FXFile::kTruncateExisting; ++each)
    EXPECT_TRUE(Create(link, each).IsError()) << "disposition " << each;
  EXPECT_TRUE(FXFile::KTLockFile(handle_, link.c_str()).IsError());
  EXPECT_EQ(fs::file_size(target), 4u);  // still "keep"
}

TEST_F(FXFileTest, FailuresCarryTheNegatedErrnoAndTheSystemText) {
  const std::string existing = dir_ + "/existing", missing = dir_ + "/missing";
  std::ofstream(existing) << "kept";
  std::ofstream(dir_ + "/other") << "other";
  const std::tuple<CYqError, int, std::string> cases[] = {
      {Create(existing, FXFile::kCreateNew), -EEXIST, "Cannot open " + existing + ": File exists"},
      {Create(missing, 9), -EINVAL,
       "Cannot open " + missing + ": unknown creation disposition 9: Invalid argument"},
      {FXFile::KTMoveFileEx((dir_ + "/other").c_str(), existing.c_str(), 0), -EEXIST,
       "Cannot rename " + dir_ + "/other to " + existing + ": File exists"},
      {FXFile::RemoveFile(missing.c_str()), -ENOENT,
       "Cannot remove " + missing + ": No such file or directory"},
  };
  for (const auto& [error, code, message] : cases) {
    EXPECT_EQ(error.Code(), code) << message;
    EXPECT_EQ(error.LastMessage(), message) << message;
  }
  EXPECT_EQ(fs::file_size(existing), 4u);  // still "kept", not "other"
  EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
