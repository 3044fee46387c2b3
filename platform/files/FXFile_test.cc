#include "platform/files/FXFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/testing/TestEnv.h"

namespace {

namespace fs = std::filesystem;

// Records renames and directory syncs in order, and can make writes report
// that nothing was written.
class RecordingEnv : public tarnalert::test::TestEnv {
 public:
  int RenameFile(const std::string& from, const std::string& to) override {
    calls.push_back("rename " + from + " " + to);
    return TestEnv::RenameFile(from, to);
  }
  int SyncDirectory(const std::string& directory) override {
    calls.push_back("sync " + directory);
    return TestEnv::SyncDirectory(directory);
  }
  ssize_t WriteFile(int fd, const void* data, size_t size) override {
    return writeNothing ? 0 : TestEnv::WriteFile(fd, data, size);
  }
  std::vector<std::string> calls;
  bool writeNothing = false;
};

class FXFileTest : public ::testing::Test {
 protected:
  CYqError Create(const std::string& path, unsigned long disposition) {
    return FXFile::KTCreateFile(handle_, path.c_str(), FXFile::kGenericRead | FXFile::kGenericWrite,
                                0, nullptr, disposition, 0, nullptr);
  }
  RecordingEnv env_;
  tarnalert::ScopedEnv scoped_{&env_};
  const std::string dir_ = env_.scratch_directory();
  auto_handle handle_;
};

TEST_F(FXFileTest, WrittenFileReplacesTheTargetPrivatelyAndDurably) {
  const std::string from = dir_ + "/file.tmp", to = dir_ + "/file";
  std::ofstream(to) << "old";
  const mode_t oldMask = ::umask(0);  // only the mode given at creation keeps others out
  EXPECT_FALSE(Create(from, FXFile::kCreateNew).IsError());
  ::umask(oldMask);
  unsigned long written = 0;
  ASSERT_FALSE(FXFile::KTWriteFile(handle_, "new text", 8, &written, nullptr).IsError());
  EXPECT_EQ(written, 8u);
  env_.writeNothing = true;  // a write without progress fails, so no writer loops forever
  EXPECT_TRUE(FXFile::KTWriteFile(handle_, "abc", 3, &written, nullptr).IsError());
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(FXFile::KTFlushFileBuffers(handle_).IsError());
  EXPECT_FALSE(FXFile::KTMoveFileEx(from.c_str(), to.c_str(), 1).IsError());
  EXPECT_EQ(fs::file_size(to), 8u);  // "new text"
  EXPECT_EQ(fs::status(to).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  // The rename itself is flushed to disk through its directory.
  EXPECT_EQ(env_.calls, (std::vector<std::string>{"rename " + from + " " + to, "sync " + dir_}));
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
    EXPECT_EQ(error.LastMessage(), message);
  }
  EXPECT_EQ(fs::file_size(existing), 4u);  // still "kept", not "other"
  EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
